// The command line of trc2pcap.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "cli/OptionParser.h"

enum class ExportFormat { kPcap, kPcapng };

struct ExportSettings {
    std::vector<std::string> inputFileNames;
    std::string outputFileName;  // as given; empty until resolved by parseExportArguments
    uint32_t startRecord = 1;    // through all inputs, from 1
    uint32_t recordLimit = 0;    // 0: all
    ExportFormat format = ExportFormat::kPcapng;
    bool microseconds = false;
    bool linkTypeGiven = false;
    uint32_t linkType = 0;

    // The name that sends the export to standard output.
    static constexpr const char* kStandardOutput = "-";
    bool toStandardOutput() const { return outputFileName == kStandardOutput; }
};

// Fills the settings from the command line, the output name and format included (defaults
// derived from the first input and the output's extension). Prints the message and the usage
// text on an error, the usage text alone for -h.
cli::ParseOutcome parseExportArguments(int argc, char* argv[], ExportSettings& settings);
