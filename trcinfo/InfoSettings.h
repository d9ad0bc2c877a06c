// What one trcinfo run is asked to show, as read from the command line.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "cli/OptionParser.h"

struct InfoSettings {
    std::vector<std::string> fileNames;  // in command-line order
    bool showTables = false;             // the record type and source name tables too
    bool showStatistics = false;         // a pass over every record and its figures
    bool json = false;                   // one JSON document instead of the text
    bool listRecords = false;
    uint32_t startRecord = 1;  // first record listed, counting from 1
    uint32_t recordCount = 0;  // records listed; 0 means up to the last one
    uint32_t hexBytes = 0;     // leading frame bytes shown per record
    std::string htmlOutput;    // -html: the page to write instead of the report
};

// Fills the settings from the command line, printing the usage text when help is asked for
// and the message and the usage text when the command line is wrong.
cli::ParseOutcome parseInfoArguments(int argc, char* argv[], InfoSettings& settings);
