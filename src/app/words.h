// Items in the user's words, for both programs.
#pragma once

#include <string>

#include "link/item.h"

// Names come from the calculator: control bytes would reach the terminal.
std::string Shown(const std::string& bytes);
// "programme ABC (4 octets)", "liste 1 (42 octets)", "inconnu TXT (8 octets)".
std::string Describe(const Item& item);
