#include "trc2pcap/ExportSettings.h"

#include <filesystem>

#include "cli/NumberText.h"
#include "cli/OptionParser.h"

namespace {

const char kUsage[] =
    "Usage: trc2pcap -in FILE [-in FILE ...] [-out FILE] [-start N] [-num N]\n"
    "                [-format pcap|pcapng] [-usec] [-linktype N]\n"
    "\n"
    "Converts B3 and B4 capture files into one pcapng or pcap file, for Wireshark, tshark,\n"
    "tcpdump and every other tool that reads those.\n"
    "\n"
    "  -in FILE       an input capture file, B3 or B4; records are taken input after input,\n"
    "                 in the order given\n"
    "  -out FILE      the output file (default: the first input's name with the extension\n"
    "                 .pcapng, or .pcap with -format pcap); - for standard output, to pipe\n"
    "                 the export into tshark -r -, wireshark -k -i - or tcpdump -r -\n"
    "  -start N       the first record to export, counting from 1 through all inputs\n"
    "                 (default 1)\n"
    "  -num N         how many records to export (default 0: all)\n"
    "  -format F      pcapng or pcap (default: pcap for an output name ending in .pcap,\n"
    "                 pcapng otherwise)\n"
    "  -usec          pcap only: microsecond timestamps instead of nanoseconds\n"
    "  -linktype N    link type N for every record, instead of the one its layer-2 type\n"
    "                 gives (0 POS PPP: 50, 1 POS Cisco HDLC: 104, 2 GbE: 1)\n"
    "  -h             this text\n";

bool endsWith(const std::string& text, const std::string& tail) {
    return text.size() >= tail.size() &&
           text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

}  // namespace

cli::ParseOutcome parseExportArguments(int argc, char* argv[], ExportSettings& settings) {
    cli::OptionParser parser(kUsage);
    parser.help({"-h", "-?", "--help"});
    bool formatGiven = false;
    parser.flag("-usec", [&settings] { settings.microseconds = true; });
    cli::inputAndOutputOptions(parser, settings.inputFileNames, settings.outputFileName);
    parser.option("-format", [&settings, &formatGiven](const std::string& value) {
        if (value != "pcap" && value != "pcapng") {
            return "The value of '-format' must be pcap or pcapng, not '" + value + "'.";
        }
        settings.format = value == "pcap" ? ExportFormat::kPcap : ExportFormat::kPcapng;
        formatGiven = true;
        return std::string();
    });
    parser.option("-start", cli::countInto(settings.startRecord, "-start", true));
    parser.option("-num", cli::countInto(settings.recordLimit, "-num"));
    parser.option("-linktype", [&settings](const std::string& value) {
        uint64_t number = 0;
        std::string reason;
        // pcapng holds a link type in 16 bits, and pcap readers take the low 16 bits of theirs.
        if (!cli::parseCount(value, 0, 0xFFFF, number, reason)) {
            return cli::invalidValue("-linktype", reason);
        }
        settings.linkType = static_cast<uint32_t>(number);
        settings.linkTypeGiven = true;
        return std::string();
    });
    const cli::ParseOutcome outcome = parser.readWithInputs(argc, argv, settings.inputFileNames);
    if (outcome != cli::ParseOutcome::kRun) {
        return outcome;
    }
    if (!formatGiven && endsWith(settings.outputFileName, ".pcap")) {
        settings.format = ExportFormat::kPcap;
    }
    if (settings.outputFileName.empty()) {
        settings.outputFileName =
            std::filesystem::path(settings.inputFileNames.front())
                .replace_extension(settings.format == ExportFormat::kPcap ? ".pcap" : ".pcapng")
                .string();
    }
    if (settings.microseconds && settings.format != ExportFormat::kPcap) {
        return parser.refuse("'-usec' is for pcap files only; pcapng files keep nanoseconds.");
    }
    return cli::ParseOutcome::kRun;
}
