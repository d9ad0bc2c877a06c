// How every program walks its command line: the first error wins, help ends the walk, values
// go where their options say, and file names are told from flags only where a program takes
// them.
#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "cli/OptionParser.h"
#include "support/TestSupport.h"

namespace {

struct Walk {
    const char* name;
    std::vector<std::string> args;
    bool takesFiles;
    cli::ParseOutcome outcome;
    std::string error;
    std::string seen;  // what the handlers saw, in order
};

void PrintTo(const Walk& w, std::ostream* os) {
    *os << w.name;
}

const Walk kWalks[] = {
    {"ValuesInOrder", {"-a", "1", "-f", "-a", "2"}, false, cli::ParseOutcome::kRun, "", "a1 f a2 "},
    {"UnknownFlag",
     {"-f", "-x", "-a"},
     false,
     cli::ParseOutcome::kError,
     "Unrecognised flag: -x",
     "f "},
    {"NameWithoutFiles",
     {"in.cap"},
     false,
     cli::ParseOutcome::kError,
     "Unrecognised flag: in.cap",
     ""},
    {"NamesAndAnEmptyOne", {"in.cap", "-f", ""}, true, cli::ParseOutcome::kRun, "", "=in.cap f = "},
    {"DashIsNeverAName",
     {"in.cap", "-x"},
     true,
     cli::ParseOutcome::kError,
     "Unrecognised flag: -x",
     "=in.cap "},
    {"MissingValue",
     {"-f", "-a"},
     false,
     cli::ParseOutcome::kError,
     "Missing value for '-a' parameter.",
     "f "},
    {"MissingValueInItsOwnWords", {"-b"}, false, cli::ParseOutcome::kError, "No b given.", ""},
    // A flag after an option is its value, as the programs have always read it.
    {"FlagTakenAsAValue", {"-a", "-f"}, false, cli::ParseOutcome::kRun, "", "a-f "},
    {"RefusedValueStops",
     {"-a", "bad", "-x"},
     false,
     cli::ParseOutcome::kError,
     "bad value",
     "abad "},
    {"HelpEndsTheWalk", {"-f", "-h", "-x"}, false, cli::ParseOutcome::kUsage, "", "f "},
    {"ErrorBeforeHelp",
     {"-x", "-h"},
     false,
     cli::ParseOutcome::kError,
     "Unrecognised flag: -x",
     ""},
};

class OptionWalk : public testing::TestWithParam<Walk> {};

TEST_P(OptionWalk, StopsAtTheFirstErrorOrAtHelp) {
    const Walk& w = GetParam();
    std::string seen;
    cli::OptionParser parser("usage text");
    parser.help({"-h"});
    parser.flag("-f", [&seen] { seen += "f "; });
    parser.option("-a", [&seen](const std::string& value) {
        seen += "a" + value + " ";
        return value == "bad" ? std::string("bad value") : std::string();
    });
    parser.option(
        "-b", [](const std::string&) { return std::string(); }, "No b given.");
    if (w.takesFiles) {
        parser.operands([&seen](const std::string& name) { seen += "=" + name + " "; });
    }
    std::vector<std::string> args = {"program"};
    args.insert(args.end(), w.args.begin(), w.args.end());
    std::vector<char*> argv;
    for (std::string& arg : args) {
        argv.push_back(arg.data());
    }
    std::string error = "stale";
    testsupport::ConsoleCapture console;
    EXPECT_EQ(parser.read(static_cast<int>(argv.size()), argv.data(), error), w.outcome);
    EXPECT_EQ(error, w.error);
    EXPECT_EQ(seen, w.seen);
    EXPECT_EQ(console.text(), w.outcome == cli::ParseOutcome::kUsage ? "usage text\n" : "");
}

INSTANTIATE_TEST_SUITE_P(Walks, OptionWalk, testing::ValuesIn(kWalks),
                         testing::PrintToStringParamName());

}  // namespace
