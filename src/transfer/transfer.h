// The two transfers of the menu: the PC receives (choice 1) or sends (choice 2).
#pragma once

#include "transfer/state.h"

Outcome TestReception(WorkState& state);
Outcome TestEmission(WorkState& state);
