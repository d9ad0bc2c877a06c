#include "app/Banner.h"

#include <string>

#include "cli/Console.h"

void printBanner(const RunSettings& settings) {
    const std::string border = "+---------------------------------------------------------------+";
    // The tails are fixed: the right border lines up only for a three-character version and
    // the fixed-width build date and time.
    const std::string version = "|  Version : " + settings.versionText + std::string(48, ' ') + "|";
    const std::string compiled =
        std::string("|  Compiled: ") + __DATE__ + ", " + __TIME__ + std::string(30, ' ') + "|";

    std::string text = border + "\n";
    text += "| K4Z Streams and Transfers Capture File Append Utility         |\n";
    text += "|                                                               |\n";
    text += version + "\n";
    text += compiled + "\n";
    text += border + "\n";
    // The line end printLine adds makes the empty line after the banner.
    printLine(text);
}
