// An include the layering refuses: the drawing core never knows the engine.
#include "engine/report_run.h"
