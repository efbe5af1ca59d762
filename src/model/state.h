#pragma once
#include <cstdint>

namespace orv {

class TfrView;
class TfrPage;
class TfrPages;
class ViewRunHooks;
class TfrBandView;
class Canvas;

enum class DocumentMode : uint8_t { Designing = 0, Running = 1 };

// The document model's process-wide state: one instance, touched only on the
// user-interface thread. Loading, drawing and running set it as they go, which
// is why those never interleave.
struct ModelState {
  uint8_t StreamVersion = 25;
  DocumentMode Mode = DocumentMode::Designing;
  bool DrawingSuppressed = false;
  TfrView* CurrentView = nullptr;
  TfrPage* CurrentPage = nullptr;
  TfrBandView* CurrentBand = nullptr;
  // The page list names must be unique in (the template being loaded); when
  // unset, names are only made unique within CurrentPage.
  TfrPages* CurrentPages = nullptr;
  void* CurrentReport = nullptr;  // the engine's report; opaque to the model
  // The report run's services views call while emitting (view.h); none outside a run.
  ViewRunHooks* RunHooks = nullptr;
};

ModelState& modelState();

}  // namespace orv
