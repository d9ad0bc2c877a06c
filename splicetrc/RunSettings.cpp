#include "splicetrc/RunSettings.h"

#include <cstdlib>

#include "cli/OptionParser.h"

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
    // Built before any option is read, so it always names the default output file. The usage
    // text ends with its own line end, which printing supplies.
    const std::string usage = kUsageHead + settings.outputFileName + kUsageTail;
    cli::OptionParser parser(usage.substr(0, usage.size() - 1));
    auto text = [](std::string& into) {
        return [&into](const std::string& value) {
            into = value;
            return std::string();
        };
    };
    auto number = [](uint32_t& into) {
        return [&into](const std::string& value) {
            into = toUnsigned(value.c_str());
            return std::string();
        };
    };
    parser.option(
        "-in",
        [&settings](const std::string& value) {
            settings.inputFileNames.push_back(value);
            return std::string();
        },
        "Missing filename for '-in' parameter.");
    parser.option("-out", text(settings.outputFileName), "Missing filename for '-out' parameter.");
    parser.option("-start", number(settings.startRecord));
    parser.option("-num", number(settings.recordLimit));

    std::string error;
    parser.read(argc, argv, error);
    // Said whatever else was wrong: without two inputs there is nothing to merge.
    if (settings.inputFileNames.size() < 2) {
        error = "Missing at least one of the two required input filenames.";
    }
    if (error.empty()) {
        return true;
    }
    parser.refuse(error);
    return false;
}
