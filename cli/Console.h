// The programs' only way to the console: everything they print goes through here.
#pragma once

#include <string>

// Writes the text and a line end to standard output and flushes, so that every message
// is visible at once even when the output is piped. The text may hold line ends of its own.
// Once the console has gone (a pipe whose reader closed), lines are dropped.
void printLine(const std::string& text);

// False once a line could not be written: nobody reads the console any more.
bool consoleIsOpen();

// From now on every line goes to standard error: standard output carries the program's data.
void printToStandardError();
