#include "cli/Console.h"

#include <iostream>

namespace {

std::ostream* console = &std::cout;
// Per thread: a front end may run several jobs at once, each on a thread of its own.
thread_local std::function<void(const std::string&)>* lineSink = nullptr;

}  // namespace

void printLine(const std::string& text) {
    if (lineSink != nullptr) {
        (*lineSink)(text);
        return;
    }
    *console << text << std::endl;
}

bool consoleIsOpen() {
    return lineSink != nullptr || static_cast<bool>(*console);
}

void printToStandardError() {
    console = &std::cerr;
}

namespace cli {

LinesTaken::LinesTaken(std::function<void(const std::string&)> take)
    : take(std::move(take)), before(lineSink) {
    lineSink = &this->take;
}

LinesTaken::~LinesTaken() {
    lineSink = before;
}

}  // namespace cli
