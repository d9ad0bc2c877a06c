// The program's only way to the console: everything it prints goes through here.
#pragma once

#include <string>

// Writes the text and a line end to standard output and flushes, so that every message
// is visible at once even when the output is piped. The text may hold line ends of its own.
void printLine(const std::string& text);
