// The section UPDATER: the run's name and its main procedure list.
#pragma once

#include "run/runtime.h"

bool ReadUpdaterSection(Runtime& rt);
bool RunUpdater(Runtime& rt);
