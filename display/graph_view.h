// The view arithmetic lives with the window-free graphs.
#pragma once

#include "plot/graph_view.h"
