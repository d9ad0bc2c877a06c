#include "trcinfo/InfoSettings.h"

#include "cli/Console.h"
#include "cli/NumberText.h"

namespace {

constexpr char kUsage[] =
    "Usage: trcinfo -h | -? | [options] capFilename [capFilename ...]\n"
    "\n"
    "  where:  -h and -?           give this usage message\n"
    "          capFilename         the name of a capture file to inspect\n"
    "                              (B3, B4 or tcpdump)\n"
    "  options:\n"
    "          -tables             also show the record type and source name\n"
    "                              tables of B3 and B4 files\n"
    "          -stats              also show statistics over all records: counts,\n"
    "                              bytes, times, rates, frame lengths, ports,\n"
    "                              damaged frames and time order\n"
    "          -json               print everything as one JSON document\n"
    "                              (an array with one object per file)\n"
    "          -records            list the records of each file\n"
    "          -start  startPkt    the first record to list, counting from 1\n"
    "                              (default = 1)\n"
    "          -num    numPackets  the number of records to list\n"
    "                              (default = 0 which means up to the last record)\n"
    "          -hex    numBytes    show the first numBytes bytes of each frame\n"
    "                              in hex (default = 0)\n"
    "\n"
    "Note: -start, -num and -hex imply -records\n";

// Unlike splicetrc, a value that is not a plain decimal number is refused rather than read
// as 0: an inspector that silently listed the wrong range would mislead.
// Reads the value after a numeric option; returns the error text, empty on success.
std::string numericOption(const std::string& option, const char* text, uint32_t& value) {
    if (text == nullptr) {
        return "Missing value for '" + option + "' parameter.";
    }
    std::string reason;
    if (!cli::parseCount(text, value, reason)) {
        return cli::invalidValue(option, reason);
    }
    return std::string();
}

}  // namespace

ParseOutcome parseInfoArguments(int argc, char* argv[], InfoSettings& settings) {
    std::string error;
    for (int i = 1; i < argc && error.empty(); ++i) {
        const std::string argument = argv[i];
        const char* value = i + 1 < argc ? argv[i + 1] : nullptr;
        if (argument == "-h" || argument == "-?") {
            printLine(kUsage);
            return ParseOutcome::kUsage;
        }
        if (argument == "-tables") {
            settings.showTables = true;
        } else if (argument == "-stats") {
            settings.showStatistics = true;
        } else if (argument == "-json") {
            settings.json = true;
        } else if (argument == "-records") {
            settings.listRecords = true;
        } else if (argument == "-start") {
            error = numericOption(argument, value, settings.startRecord);
            if (settings.startRecord == 0) {
                // As splicetrc, trc2pcap and trcedit take it: the first record.
                settings.startRecord = 1;
            }
            settings.listRecords = true;
            ++i;
        } else if (argument == "-num") {
            error = numericOption(argument, value, settings.recordCount);
            settings.listRecords = true;
            ++i;
        } else if (argument == "-hex") {
            error = numericOption(argument, value, settings.hexBytes);
            settings.listRecords = true;
            ++i;
        } else if (!argument.empty() && argument[0] == '-') {
            error = "Unrecognised flag: " + argument;
        } else {
            settings.fileNames.push_back(argument);
        }
    }
    if (error.empty() && settings.fileNames.empty()) {
        error = "Missing the name of at least one capture file.";
    }
    if (error.empty()) {
        return ParseOutcome::kRun;
    }
    printLine(error);
    printLine("");
    printLine(kUsage);
    return ParseOutcome::kError;
}
