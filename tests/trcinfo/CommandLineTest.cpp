// trcinfo's command line: help, the messages of wrong command lines, and option values.
#include <ostream>
#include <string>
#include <vector>

#include "trcinfo/TrcinfoFixture.h"

using namespace trcinfotest;

namespace {

const std::string kUsageHead = "Usage: trcinfo -h | -? | [options] capFilename [capFilename ...]\n";
const std::string kUsageTail = "Note: -start, -num and -hex imply -records\n\n";

struct CommandLine {
    const char* label;
    std::vector<std::string> args;
    std::string message;  // empty: the usage text alone, and success
};

void PrintTo(const CommandLine& line, std::ostream* os) {
    *os << line.label;
}

class CommandLineTest : public TrcinfoTest, public ::testing::WithParamInterface<CommandLine> {};

TEST_P(CommandLineTest, PrintsTheMessageAndTheUsageText) {
    const CommandLine& line = GetParam();
    auto result = run(line.args);
    const std::string& out = result.output;
    const std::string expectedHead = line.message.empty() ? "" : line.message + "\n\n";
    EXPECT_EQ(result.exitStatus, line.message.empty() ? 0 : kFailure);
    EXPECT_EQ(out.substr(0, expectedHead.size() + kUsageHead.size()), expectedHead + kUsageHead);
    ASSERT_GE(out.size(), kUsageTail.size());
    EXPECT_EQ(out.substr(out.size() - kUsageTail.size()), kUsageTail);
    // Nothing was inspected: no report and no error about a file.
    EXPECT_EQ(out.find("Filename           :"), std::string::npos);
    EXPECT_EQ(out.find("ERROR"), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(
    Trcinfo, CommandLineTest,
    ::testing::Values(
        CommandLine{"DashH", {"-h"}, ""}, CommandLine{"DashQuestion", {"a.cap", "-?"}, ""},
        CommandLine{"NoArguments", {}, "Missing the name of at least one capture file."},
        CommandLine{"OptionsOnly", {"-records"}, "Missing the name of at least one capture file."},
        CommandLine{"UnknownFlag", {"a.cap", "-in"}, "Unrecognised flag: -in"},
        CommandLine{"MissingStart", {"a.cap", "-start"}, "Missing value for '-start' parameter."},
        CommandLine{"MissingHex", {"a.cap", "-hex"}, "Missing value for '-hex' parameter."},
        CommandLine{"TextNum",
                    {"-num", "ten", "a.cap"},
                    "Invalid value for '-num': 'ten' is not a decimal number."},
        CommandLine{"NegativeStart",
                    {"-start", "-1", "a.cap"},
                    "Invalid value for '-start': '-1' is not a decimal number."},
        CommandLine{"HugeHex",
                    {"-hex", "4294967296", "a.cap"},
                    "Invalid value for '-hex': '4294967296' is too large; the largest is "
                    "4294967295."},
        // Taken as 1, as splicetrc takes it: what is missing is the file.
        CommandLine{
            "ZeroStart", {"-start", "0"}, "Missing the name of at least one capture file."}),
    ::testing::PrintToStringParamName());

TEST_F(TrcinfoTest, LargestValuesAreAcceptedWithoutWrapping) {
    CaptureFileBuilder b;
    b.records.push_back(CaptureFileBuilder::b3Record(1, 2, 0, kZeroWords, Bytes(60)));
    b.writeTo(dir.file("a.cap"));
    // start + count - 1 lies beyond 32 bits; the listing still ends at the last record.
    auto result = run({"a.cap", "-start", "1", "-num", "4294967295", "-hex", "4294967295"});
    EXPECT_EQ(result.exitStatus, 0);
    EXPECT_NE(result.output.find("Records 1 to 1 of 1:\n"), std::string::npos) << result.output;
}

}  // namespace
