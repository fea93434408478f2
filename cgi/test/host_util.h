// Small host helpers shared by the tests that run built programs.
#pragma once

#include <string>

// Seconds on the monotonic clock.
double monotonic_seconds();
// The whole file, or "" when it cannot be opened.
std::string read_file(const std::string &path);
