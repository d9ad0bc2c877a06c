#include "splicetrc/Banner.h"

#include <algorithm>
#include <string>

#include "cli/Console.h"

void printBanner(const RunSettings& settings) {
    const std::string border = "+---------------------------------------------------------------+";
    // The version is padded to the border, as it comes from the build and may grow; the
    // build date and time have a fixed width.
    std::string version = "|  Version : " + settings.versionText;
    version.resize(std::max(version.size(), border.size() - 1), ' ');
    version += "|";
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
