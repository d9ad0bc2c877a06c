// What one run is asked to do, as read from the command line.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// The project's version, as the build states it.
const char* projectVersion();

struct RunSettings {
    std::vector<std::string> inputFileNames;  // every -in, in command-line order
    std::string outputFileName = "default.merged.cap";
    uint32_t startRecord = 1;  // 1-based position in the merged record sequence
    uint32_t recordLimit = 0;  // 0 means no limit
    std::string versionText = projectVersion();
};

// Fills the settings from the command line. Returns true when the command line is complete;
// otherwise the error and the usage text have already been printed.
bool parseArguments(int argc, char* argv[], RunSettings& settings);
