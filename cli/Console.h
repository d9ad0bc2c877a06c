// The programs' only way to the console: everything they print goes through here.
#pragma once

#include <functional>
#include <string>

// Writes the text and a line end to standard output and flushes, so that every message
// is visible at once even when the output is piped. The text may hold line ends of its own.
// Once the console has gone (a pipe whose reader closed), lines are dropped.
void printLine(const std::string& text);

// False once a line could not be written: nobody reads the console any more.
bool consoleIsOpen();

// From now on every line goes to standard error: standard output carries the program's data.
void printToStandardError();

namespace cli {

// While it lives, the lines this thread prints go to take instead of the console: for a front
// end that shows the programs' messages its own way (as exceptions and warnings in Python).
class LinesTaken {
  public:
    explicit LinesTaken(std::function<void(const std::string&)> take);
    ~LinesTaken();
    LinesTaken(const LinesTaken&) = delete;
    LinesTaken& operator=(const LinesTaken&) = delete;

  private:
    std::function<void(const std::string&)> take;
    std::function<void(const std::string&)>* before;
};

}  // namespace cli
