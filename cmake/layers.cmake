# The folders of src/ and the folders each may include directly. A folder may
# also include whatever those include in turn. A lower folder never includes
# a higher one: the views do not know the engine, the engine knows no widget.
set(ORV_LAYERS platform model prepared printing charts addins engine preview app cli)
set(ORV_LAYER_platform)
set(ORV_LAYER_model platform)
set(ORV_LAYER_prepared model platform)
set(ORV_LAYER_printing model platform)
set(ORV_LAYER_charts platform)
set(ORV_LAYER_addins model platform charts)
set(ORV_LAYER_engine model prepared printing)
set(ORV_LAYER_preview engine addins prepared printing)
set(ORV_LAYER_app preview engine addins prepared printing model platform)
set(ORV_LAYER_cli engine addins prepared printing model platform)
