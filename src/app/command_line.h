// The pieces every command's line is read with.
#pragma once

#include <string>
#include <vector>

#include "console/console.h"

// Says the usage on standard error: status 2.
int Usage(const char* usage);
// The value of the option args[*i] (*i then stands on it): a whole number in
// [low, high]. What is wrong with it is said on standard error.
bool NumberAfter(const std::vector<std::string>& args, size_t* i, int low, int high, int* value);
// --vitesse's value: one of the speeds a calculator takes, said otherwise.
bool SpeedAfter(const std::vector<std::string>& args, size_t* i, unsigned long* baud);
// The option's value, whatever it is; its absence said.
bool WordAfter(const std::vector<std::string>& args, size_t* i, std::string* word);
constexpr int kMostSeconds = 1000000;
// The one word of a command line that is no option: its folder. False for an
// unknown option or a second folder.
bool TakeFolder(const std::string& word, std::string* folder, bool* named);
// A folder named on the command line that is none is a wrong command line.
bool IsFolder(const std::string& folder);
// "COM1", or "le cable USB" when the calculator is on its USB cable.
std::string PortWords(int port);
// Opens the port, or ends the console line after the port's own message.
bool OpenPort(Console& con, int port);
// Of two statuses, the one to end with: -1 (a lost line or disk) first,
// then the first other failure.
int Worst(int status, int other);
