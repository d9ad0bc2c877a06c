#include "trc2pcap/ExportSettings.h"

#include <filesystem>

#include "cli/Console.h"
#include "cli/NumberText.h"
#include "cli/SafeOutput.h"

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
    "                 .pcapng, or .pcap with -format pcap)\n"
    "  -start N       the first record to export, counting from 1 through all inputs\n"
    "                 (default 1)\n"
    "  -num N         how many records to export (default 0: all)\n"
    "  -format F      pcapng or pcap (default: pcap for an output name ending in .pcap,\n"
    "                 pcapng otherwise)\n"
    "  -usec          pcap only: microsecond timestamps instead of nanoseconds\n"
    "  -linktype N    link type N for every record, instead of the one its layer-2 type\n"
    "                 gives (0 POS PPP: 50, 1 POS Cisco HDLC: 104, 2 GbE: 1)\n"
    "  -h             this text\n";

ExportParse fail(const std::string& message) {
    printLine(message);
    printLine("");
    printLine(kUsage);
    return ExportParse::kError;
}

bool endsWith(const std::string& text, const std::string& tail) {
    return text.size() >= tail.size() &&
           text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

}  // namespace

ExportParse parseExportArguments(int argc, char* argv[], ExportSettings& settings) {
    bool formatGiven = false;
    for (int i = 1; i < argc; ++i) {
        const std::string flag = argv[i];
        if (flag == "-h" || flag == "-?" || flag == "--help") {
            printLine(kUsage);
            return ExportParse::kUsage;
        }
        if (flag == "-usec") {
            settings.microseconds = true;
            continue;
        }
        const bool known = flag == "-in" || flag == "-out" || flag == "-start" || flag == "-num" ||
                           flag == "-format" || flag == "-linktype";
        if (!known) {
            return fail("Unrecognised flag: " + flag);
        }
        if (i + 1 >= argc) {
            return fail("Missing value for '" + flag + "' parameter.");
        }
        const std::string value = argv[++i];
        if (flag == "-in") {
            settings.inputFileNames.push_back(value);
        } else if (flag == "-out") {
            std::string reason;
            if (!cli::SafeOutput::namesAFile(value, reason)) {
                return fail(cli::invalidValue(flag, reason));
            }
            settings.outputFileName = value;
        } else if (flag == "-format") {
            if (value != "pcap" && value != "pcapng") {
                return fail("The value of '-format' must be pcap or pcapng, not '" + value + "'.");
            }
            settings.format = value == "pcap" ? ExportFormat::kPcap : ExportFormat::kPcapng;
            formatGiven = true;
        } else {
            uint32_t number = 0;
            std::string reason;
            if (!cli::parseCount(value, number, reason)) {
                return fail(cli::invalidValue(flag, reason));
            }
            if (flag == "-start") {
                settings.startRecord = number == 0 ? 1 : number;
            } else if (flag == "-num") {
                settings.recordLimit = number;
            } else {
                // pcapng holds a link type in 16 bits, and pcap readers take the low 16 bits
                // of theirs.
                if (number > 0xFFFF) {
                    return fail(cli::invalidValue(flag, cli::tooLarge(value, "65535")));
                }
                settings.linkType = number;
                settings.linkTypeGiven = true;
            }
        }
    }
    if (settings.inputFileNames.empty()) {
        return fail("Missing input filename: give at least one '-in'.");
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
        return fail("'-usec' is for pcap files only; pcapng files keep nanoseconds.");
    }
    return ExportParse::kRun;
}
