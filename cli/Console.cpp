#include "cli/Console.h"

#include <iostream>

void printLine(const std::string& text) {
    std::cout << text << std::endl;
}

bool consoleIsOpen() {
    return static_cast<bool>(std::cout);
}
