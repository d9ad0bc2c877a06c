// The real executable's console output for command lines that are refused.
#include <gtest/gtest.h>

#include <ostream>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "support/TestSupport.h"

namespace {

const char kBorder[] = "+---------------------------------------------------------------+";

const char kUsage[] =
    "Usage: splicetrc -h | -? | -in inFilename -in inFilename [options]\n"
    "\n"
    "  where:  -h and -?          give this usage message\n"
    "          -in   inFilename   the name of an input Streams and Transfers capture file\n"
    "  options:\n"
    "          -out  outFilename   the name of the output file to generate\n"
    "                              (default = default.merged.cap)\n"
    "          -start  startPkt    the first packet in the merged sequence to dump,\n"
    "                              counting from 1 (default = 1)\n"
    "          -num    numPackets  the total number of packet records to convert\n"
    "                              (default = 0 which means all packets)\n"
    "\n"
    "Note: Input files must be valid Streams and Transfers capture files\n"
    "\n";

const char kMissingInputs[] = "Missing at least one of the two required input filenames.";

struct RefusedCase {
    const char* name;
    std::vector<std::string> args;
    std::string message;
};
void PrintTo(const RefusedCase& c, std::ostream* os) {
    *os << c.name;
}

class RefusedCommandLine : public ::testing::TestWithParam<RefusedCase> {};

TEST_P(RefusedCommandLine, PrintsBannerMessageAndUsage) {
    std::vector<std::string> args{testsupport::splicetrcPath()};
    args.insert(args.end(), GetParam().args.begin(), GetParam().args.end());
    const testsupport::ProcessResult result = testsupport::runProgram(args);

    EXPECT_EQ(result.exitStatus, 255);
    // Six banner lines and an empty line come first; the build date and time vary, so the
    // fifth line is checked by its form.
    std::istringstream output(result.output);
    std::vector<std::string> banner(7);
    for (std::string& line : banner) {
        ASSERT_TRUE(std::getline(output, line)) << result.output;
    }
    EXPECT_EQ(banner[0], kBorder);
    EXPECT_EQ(banner[1], "| K4Z Streams and Transfers Capture File Append Utility         |");
    EXPECT_EQ(banner[2], "|                                                               |");
    std::string version = "|  Version : " SPLICETRC_VERSION;
    version.resize(sizeof kBorder - 2, ' ');
    EXPECT_EQ(banner[3], version + "|");
    EXPECT_TRUE(std::regex_match(
        banner[4], std::regex("\\|  Compiled: (Jan|Feb|Mar|Apr|May|Jun|Jul|Aug|Sep|Oct|Nov|Dec) "
                              "[ 0-9][0-9] [0-9]{4}, [0-9]{2}:[0-9]{2}:[0-9]{2} {30}\\|")))
        << banner[4];
    EXPECT_EQ(banner[5], kBorder);
    EXPECT_EQ(banner[6], "");
    const std::string rest = result.output.substr(static_cast<size_t>(output.tellg()));
    EXPECT_EQ(rest, GetParam().message + "\n\n" + kUsage);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RefusedCommandLine,
    ::testing::Values(
        RefusedCase{"NoArguments", {}, kMissingInputs},
        RefusedCase{"DashH", {"-h"}, kMissingInputs},
        RefusedCase{"DashQuestion", {"-?"}, kMissingInputs},
        RefusedCase{"HelpAfterInputs", {"-in", "a", "-in", "b", "-h"}, "Unrecognised flag: -h"},
        RefusedCase{"OptionsAreCaseSensitive",
                    {"-in", "a", "-in", "b", "-IN", "c"},
                    "Unrecognised flag: -IN"},
        RefusedCase{"OutWithoutName",
                    {"-in", "a", "-in", "b", "-out"},
                    "Missing filename for '-out' parameter."},
        RefusedCase{"SecondInWithoutName", {"-in", "a", "-in"}, kMissingInputs},
        RefusedCase{"StartWithoutValue",
                    {"-in", "a", "-in", "b", "-start"},
                    "Missing value for '-start' parameter."},
        RefusedCase{"NumWithoutValue",
                    {"-in", "a", "-in", "b", "-num"},
                    "Missing value for '-num' parameter."},
        // The usage is built before -out is read, so it keeps naming the default file.
        RefusedCase{"UsageKeepsDefaultOutput",
                    {"-out", "x", "-in", "a", "-out", "y", "-in", "b", "-bad"},
                    "Unrecognised flag: -bad"},
        RefusedCase{
            "UnknownFlagBeforeSecondInput", {"-in", "a", "-x", "-in", "b"}, kMissingInputs}),
    ::testing::PrintToStringParamName());

}  // namespace
