// Start-up, the menu loop and the end of the program.
#pragma once

#include "transfer/state.h"

// Opens port COM<port>, runs the menu until the user quits; returns the exit status.
int RunLiaison(WorkState& state, int port = 1);
