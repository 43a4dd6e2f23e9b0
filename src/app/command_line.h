// The pieces every command's line is read with.
#pragma once

#include <string>

#include "console/console.h"

// Says the usage on standard error: status 2.
int Usage(const char* usage);
// A whole number in [low, high], as a command-line value.
bool Count(const std::string& text, int low, int high, int* value);
bool Seconds(const std::string& text, int* seconds);
// The one word of a command line that is no option: its folder. False for an
// unknown option or a second folder.
bool TakeFolder(const std::string& word, std::string* folder, bool* named);
// A folder named on the command line that is none is a wrong command line.
bool IsFolder(const std::string& folder);
// Opens the port, or ends the console line after the port's own message.
bool OpenPort(Console& con, int port);
