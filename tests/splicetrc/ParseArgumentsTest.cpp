#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "splicetrc/RunSettings.h"
#include "support/TestSupport.h"

namespace {

// Parses the given arguments (program name added) with standard output captured.
struct Parsed {
    bool ok = false;
    RunSettings settings;
    std::string output;
};

Parsed parse(std::vector<std::string> args) {
    args.insert(args.begin(), "splicetrc");
    std::vector<char*> argv;
    for (std::string& arg : args) {
        argv.push_back(arg.data());
    }
    argv.push_back(nullptr);

    Parsed parsed;
    testsupport::ConsoleCapture console;
    parsed.ok = parseArguments(static_cast<int>(args.size()), argv.data(), parsed.settings);
    parsed.output = console.text();
    return parsed;
}

struct NumberCase {
    const char* name;
    const char* value;
    uint32_t expected;
};
void PrintTo(const NumberCase& c, std::ostream* os) {
    *os << c.name;
}

class NumericValue : public ::testing::TestWithParam<NumberCase> {};

TEST_P(NumericValue, ConvertsLikeAtoiIntoUnsigned) {
    const Parsed parsed =
        parse({"-in", "a", "-in", "b", "-start", GetParam().value, "-num", GetParam().value});
    ASSERT_TRUE(parsed.ok);
    EXPECT_EQ(parsed.settings.startRecord, GetParam().expected);
    EXPECT_EQ(parsed.settings.recordLimit, GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Cases, NumericValue,
                         ::testing::Values(NumberCase{"NoDigits", "abc", 0},
                                           NumberCase{"Empty", "", 0},
                                           NumberCase{"MinusOneWraps", "-1", 4294967295u},
                                           NumberCase{"MinusFiveWraps", "-5", 4294967291u},
                                           NumberCase{"BlanksThenTrailingText", " 42xyz", 42},
                                           NumberCase{"PlusSign", "+7", 7}),
                         ::testing::PrintToStringParamName());

TEST(ParseArguments, RepeatedOptionsLastWins) {
    const Parsed parsed = parse({"-out", "x", "-start", "3", "-num", "9", "-in", "a", "-in", "b",
                                 "-out", "y", "-start", "4", "-num", "10"});
    ASSERT_TRUE(parsed.ok);
    EXPECT_EQ(parsed.settings.outputFileName, "y");
    EXPECT_EQ(parsed.settings.startRecord, 4u);
    EXPECT_EQ(parsed.settings.recordLimit, 10u);
}

TEST(ParseArguments, EveryInputKeptInOrderSilently) {
    const Parsed parsed = parse({"-in", "c", "-in", "a", "-in", "b"});
    ASSERT_TRUE(parsed.ok);
    EXPECT_EQ(parsed.output, "");
    EXPECT_EQ(parsed.settings.inputFileNames, (std::vector<std::string>{"c", "a", "b"}));
}

TEST(ParseArguments, ValueIsTakenWhateverItLooksLike) {
    const Parsed parsed = parse({"-in", "-out", "-in", "-in", "-out", "-num"});
    ASSERT_TRUE(parsed.ok);
    EXPECT_EQ(parsed.settings.inputFileNames, (std::vector<std::string>{"-out", "-in"}));
    EXPECT_EQ(parsed.settings.outputFileName, "-num");
}

TEST(ParseArguments, WalkStopsAtFirstError) {
    const Parsed parsed = parse({"-in", "a", "-in", "b", "-x", "-out", "y", "-in", "c"});
    EXPECT_FALSE(parsed.ok);
    EXPECT_EQ(parsed.settings.outputFileName, "default.merged.cap");
    EXPECT_EQ(parsed.settings.inputFileNames.size(), 2u);
    EXPECT_EQ(parsed.output.rfind("Unrecognised flag: -x\n\nUsage: splicetrc ", 0), 0u)
        << parsed.output;
}

}  // namespace
