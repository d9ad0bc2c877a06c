#include "trcinfo/InfoSettings.h"

#include "cli/NumberText.h"
#include "cli/OptionParser.h"
#include "cli/SafeOutput.h"

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
    "          -html   page.html   write one HTML page instead: for each file its\n"
    "                              header, statistics, I/O graph per port and\n"
    "                              frame length histogram\n"
    "          -records            list the records of each file\n"
    "          -start  startPkt    the first record to list, counting from 1\n"
    "                              (default = 1)\n"
    "          -num    numPackets  the number of records to list\n"
    "                              (default = 0 which means up to the last record)\n"
    "          -hex    numBytes    show the first numBytes bytes of each frame\n"
    "                              in hex (default = 0)\n"
    "\n"
    "Note: -start, -num and -hex imply -records\n";

}  // namespace

cli::ParseOutcome parseInfoArguments(int argc, char* argv[], InfoSettings& settings) {
    cli::OptionParser parser(kUsage);
    parser.help({"-h", "-?"});
    parser.flag("-tables", [&settings] { settings.showTables = true; });
    parser.flag("-stats", [&settings] { settings.showStatistics = true; });
    parser.flag("-json", [&settings] { settings.json = true; });
    parser.flag("-records", [&settings] { settings.listRecords = true; });
    parser.option("-html", [&settings](const std::string& value) {
        std::string reason;
        if (!cli::SafeOutput::namesAFile(value, reason)) {
            return cli::invalidValue("-html", reason);
        }
        settings.htmlOutput = value;
        return std::string();
    });
    // Unlike splicetrc, a value that is not a plain decimal number is refused rather than read
    // as 0: an inspector that silently listed the wrong range would mislead.
    auto listing = [&settings](const std::string& option, uint32_t& into, bool zeroIsOne) {
        return
            [&settings, take = cli::countInto(into, option, zeroIsOne)](const std::string& value) {
                settings.listRecords = true;
                return take(value);
            };
    };
    parser.option("-start", listing("-start", settings.startRecord, true));
    parser.option("-num", listing("-num", settings.recordCount, false));
    parser.option("-hex", listing("-hex", settings.hexBytes, false));
    parser.operands([&settings](const std::string& name) { settings.fileNames.push_back(name); });
    std::string error;
    const cli::ParseOutcome outcome = parser.read(argc, argv, error);
    if (outcome == cli::ParseOutcome::kUsage) {
        return outcome;
    }
    if (error.empty() && settings.fileNames.empty()) {
        error = "Missing the name of at least one capture file.";
    }
    return error.empty() ? cli::ParseOutcome::kRun : parser.refuse(error);
}
