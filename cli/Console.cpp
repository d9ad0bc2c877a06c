#include "cli/Console.h"

#include <iostream>

namespace {

std::ostream* console = &std::cout;

}  // namespace

void printLine(const std::string& text) {
    *console << text << std::endl;
}

bool consoleIsOpen() {
    return static_cast<bool>(*console);
}

void printToStandardError() {
    console = &std::cerr;
}
