// The commands around the menu: whole transmissions in and out.
#pragma once

#include <string>
#include <vector>

#include "console/console.h"

// `args` follow the command's name. Each returns the exit status: 0 when
// every item went through, 1 when one did not or the wait ran out, 2 for a
// wrong command line, -1 (255) when the port cannot be opened or the line
// is lost.
int Recevoir(Console& con, int port, const std::vector<std::string>& args);
int Envoyer(Console& con, int port, const std::vector<std::string>& args);
// Screen captures: each saved as a picture and drawn on the console.
int Ecran(Console& con, int port, const std::vector<std::string>& args);
