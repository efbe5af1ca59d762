# The folders of src/ and the folders each may include directly. A folder may
# also include whatever those include in turn. A lower folder never includes
# a higher one: the views do not know the engine, the engine knows no widget.
set(ORV_LAYERS platform model prepared printing charts addins engine export preview app cli)
set(ORV_LAYER_platform)
set(ORV_LAYER_model platform)
set(ORV_LAYER_prepared model platform)
set(ORV_LAYER_printing model platform)
set(ORV_LAYER_charts platform)
set(ORV_LAYER_addins model platform charts)
set(ORV_LAYER_engine model prepared printing)
# Exports read pages as the screen draws them: the page store, the views and
# the canvas, nothing of the engine or of the windows.
set(ORV_LAYER_export prepared model platform)
set(ORV_LAYER_preview engine addins export prepared printing)
set(ORV_LAYER_app preview engine addins export prepared printing model platform)
set(ORV_LAYER_cli engine addins export prepared printing model platform)
