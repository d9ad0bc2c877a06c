#include "splicetrc/RunSettings.h"

#include <cstdlib>

#include "cli/Console.h"

namespace {

// The usage text is split around the output file name it shows.
constexpr char kUsageHead[] =
    "Usage: splicetrc -h | -? | -in inFilename -in inFilename [options]\n\n"
    "  where:  -h and -?          give this usage message\n"
    "          -in   inFilename   the name of an input Streams and Transfers capture file\n"
    "  options:\n"
    "          -out  outFilename   the name of the output file to generate\n"
    "                              (default = ";
constexpr char kUsageTail[] =
    ")\n"
    "          -start  startPkt    the first packet in the merged sequence to dump,\n"
    "                              counting from 1 (default = 1)\n"
    "          -num    numPackets  the total number of packet records to convert\n"
    "                              (default = 0 which means all packets)\n\n"
    "Note: Input files must be valid Streams and Transfers capture files\n\n";

// atoi behaviour without its undefined overflow: strtol saturates, and the conversion to
// 32 unsigned bits wraps, so "-5" becomes 4294967291 just as an int stored unsigned would.
uint32_t toUnsigned(const char* text) {
    return static_cast<uint32_t>(std::strtol(text, nullptr, 10));
}

}  // namespace

// CMake passes the version of project() in CMakeLists.txt, so that it is set in one place.
const char* projectVersion() {
    return SPLICETRC_VERSION;
}

bool parseArguments(int argc, char* argv[], RunSettings& settings) {
    // Built before any option is read, so it always names the default output file.
    const std::string usage = kUsageHead + settings.outputFileName + kUsageTail;

    std::string error;
    for (int i = 1; i < argc && error.empty(); ++i) {
        const std::string option = argv[i];
        const bool hasValue = i + 1 < argc;
        if (option == "-in") {
            if (hasValue) {
                settings.inputFileNames.push_back(argv[++i]);
            } else {
                error = "Missing filename for '-in' parameter.";
            }
        } else if (option == "-out") {
            if (hasValue) {
                settings.outputFileName = argv[++i];
            } else {
                error = "Missing filename for '-out' parameter.";
            }
        } else if (option == "-start") {
            if (hasValue) {
                settings.startRecord = toUnsigned(argv[++i]);
            } else {
                error = "Missing value for '-start' parameter.";
            }
        } else if (option == "-num") {
            if (hasValue) {
                settings.recordLimit = toUnsigned(argv[++i]);
            } else {
                error = "Missing value for '-num' parameter.";
            }
        } else {
            error = "Unrecognised flag: " + option;
        }
    }

    if (settings.inputFileNames.size() < 2) {
        error = "Missing at least one of the two required input filenames.";
    }
    if (error.empty()) {
        return true;
    }

    printLine(error);
    printLine("");
    // The usage text ends with its own line end, which printLine supplies.
    printLine(usage.substr(0, usage.size() - 1));
    return false;
}
