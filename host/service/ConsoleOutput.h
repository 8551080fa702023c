// The service host's transcript: one line per step on the standard output,
// flushed at once so that a reader on a pipe sees each step as it happens.
#pragma once

#include <string>
#include <string_view>

void PrintLine(std::string_view line);
