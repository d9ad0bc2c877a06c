// Option values refused by the real programs: one fault, one wording, whichever program sees
// it; and the values every program reads alike (-start 0, an empty -out).
#include <gtest/gtest.h>

#include <filesystem>
#include <ostream>
#include <string>
#include <vector>

#include "support/SampleCaptures.h"
#include "support/TestSupport.h"

using namespace testsupport;

namespace {

struct Refusal {
    const char* name;
    std::vector<std::string (*)()> programs;  // each says it in the same words
    std::vector<std::string> args;
    std::string message;
};

void PrintTo(const Refusal& r, std::ostream* os) {
    *os << r.name;
}

class RefusedValue : public ::testing::TestWithParam<Refusal> {};

TEST_P(RefusedValue, SaysWhatIsWrongBeforeTheUsage) {
    TempDir dir;
    writeSample(dir.file("a.cap"), SampleOptions());
    RunOptions options;
    options.workingDir = dir.path();
    for (auto program : GetParam().programs) {
        std::vector<std::string> args = {program(), "-in", "a.cap", "-out", "o.cap"};
        if (program == trcinfoPath) {
            args = {program(), "a.cap"};
        }
        args.insert(args.end(), GetParam().args.begin(), GetParam().args.end());
        const ProcessResult result = runProgram(args, options);
        EXPECT_EQ(result.exitStatus, 255);
        EXPECT_EQ(result.output.substr(0, result.output.find("\nUsage: ")),
                  GetParam().message + "\n")
            << args[0];
        EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1);
    }
}

const std::string kTooLarge = "' is too large; the largest is 4294967295.";
const std::string kOutside =
    "' is outside the times a capture file can hold: 1970-01-01T00:00:00Z to "
    "2106-02-07T06:28:15.999999999Z (0 to 4294967295.999999999).";
const std::vector<std::string (*)()> kAll = {trceditPath, trc2pcapPath, trcinfoPath};
const std::vector<std::string (*)()> kEdit = {trceditPath};

INSTANTIATE_TEST_SUITE_P(
    Programs, RefusedValue,
    ::testing::Values(
        Refusal{"Num",
                kAll,
                {"-num", "4294967296"},
                "Invalid value for '-num': '4294967296" + kTooLarge},
        Refusal{"StartWithASign",
                kAll,
                {"-start", "+1"},
                "Invalid value for '-start': '+1' is not a decimal number."},
        Refusal{"EmptyOut",
                {trceditPath, trc2pcapPath},
                {"-out", ""},
                "Invalid value for '-out': the name is empty."},
        Refusal{"LinkTypeBeyond16Bits",
                {trc2pcapPath},
                {"-linktype", "65537"},
                "Invalid value for '-linktype': '65537' is too large; the largest is 65535."},
        Refusal{"SplitRecords",
                kEdit,
                {"-split-records", "4294967296"},
                "Invalid value for '-split-records': '4294967296" + kTooLarge},
        Refusal{"SplitRecordsZero",
                kEdit,
                {"-split-records", "0"},
                "Invalid value for '-split-records': '0' is too small; the smallest is 1."},
        Refusal{"SplitSecondsDecimals",
                kEdit,
                {"-split-seconds", "1.1234567891"},
                "Invalid value for '-split-seconds': '1.1234567891' has more than nine "
                "decimals."},
        Refusal{"SplitBytes",
                kEdit,
                {"-split-bytes", "17179869184G"},
                "Invalid value for '-split-bytes': '17179869184G' is too large; the largest is "
                "17179869183G."},
        Refusal{"EpochBeyond32Bits",
                kEdit,
                {"-from", "99999999999"},
                "Invalid value for '-from': '99999999999" + kOutside},
        Refusal{"IsoBeyond32Bits",
                kEdit,
                {"-to", "5138-11-16T09:46:39Z"},
                "Invalid value for '-to': '5138-11-16T09:46:39Z" + kOutside},
        Refusal{"IsoBefore1970",
                kEdit,
                {"-to", "1969-12-31T23:59:59.5Z"},
                "Invalid value for '-to': '1969-12-31T23:59:59.5Z" + kOutside},
        Refusal{"February30",
                kEdit,
                {"-from", "2006-02-30T00:00:00Z"},
                "Invalid value for '-from': '2006-02-30T00:00:00Z' has no such day: February "
                "2006 has 28 days."},
        Refusal{"February29InACommonYear",
                kEdit,
                {"-from", "2100-02-29T00:00:00Z"},
                "Invalid value for '-from': '2100-02-29T00:00:00Z' has no such day: February "
                "2100 has 28 days."},
        Refusal{"April31",
                kEdit,
                {"-to", "2006-04-31T12:00:00Z"},
                "Invalid value for '-to': '2006-04-31T12:00:00Z' has no such day: April 2006 "
                "has 30 days."},
        Refusal{"NoSuchMonth",
                kEdit,
                {"-from", "2006-13-01T00:00:00Z"},
                "Invalid value for '-from': '2006-13-01T00:00:00Z' has no such month: months "
                "run from 01 to 12."},
        Refusal{"NoSuchMinute",
                kEdit,
                {"-from", "2006-03-23T18:60:00Z"},
                "Invalid value for '-from': '2006-03-23T18:60:00Z' has no such time of day: "
                "hours run from 00 to 23, minutes and seconds from 00 to 59."},
        Refusal{"NotAUtcTime",
                kEdit,
                {"-to", "2006-03-23T18:00Z"},
                "Invalid value for '-to': '2006-03-23T18:00Z' is not a UTC time of the form "
                "2006-03-23T18:03:20.25Z."},
        Refusal{"EpochBeyondTheRange",
                kEdit,
                {"-from", "4294967296"},
                "Invalid value for '-from': '4294967296" + kOutside},
        Refusal{"SplitMegabytesTooLarge",
                kEdit,
                {"-split-bytes", "17592186044416M"},
                "Invalid value for '-split-bytes': '17592186044416M' is too large; the largest "
                "is 17592186044415M."},
        Refusal{"SplitSecondsNotANumber",
                kEdit,
                {"-split-seconds", "1m"},
                "Invalid value for '-split-seconds': '1m' is not a number of seconds."},
        Refusal{"SplitSecondsTooLarge",
                kEdit,
                {"-split-seconds", "4294967296"},
                "Invalid value for '-split-seconds': '4294967296' is too large; the largest is "
                "4294967295.999999999."},
        Refusal{"IsoDecimals",
                kEdit,
                {"-to", "2006-03-23T18:03:20.1234567891Z"},
                "Invalid value for '-to': '2006-03-23T18:03:20.1234567891Z' has more than nine "
                "decimals."}),
    ::testing::PrintToStringParamName());

// splicetrc takes -start 0 as its first record; so do the others.
TEST(OptionValues, StartZeroIsTheFirstRecordEverywhere) {
    TempDir dir;
    writeSample(dir.file("a.cap"), SampleOptions());
    RunOptions options;
    options.workingDir = dir.path();
    const std::string start[] = {"-start", "0"};
    EXPECT_EQ(
        runProgram({trceditPath(), "-in", "a.cap", "-out", "e.cap", start[0], start[1]}, options)
            .output,
        "Wrote 3 records into 1 file.\n");
    EXPECT_EQ(runProgram({trc2pcapPath(), "-in", "a.cap", start[0], start[1]}, options).output,
              "Exported 3 records into 'a.pcapng' (pcapng).\n");
    EXPECT_NE(runProgram({trcinfoPath(), "a.cap", start[0], start[1]}, options)
                  .output.find("Records 1 to 3 of 3:\n"),
              std::string::npos);
}

// An empty output name is refused before any record is read, in the words of an output that
// cannot be opened, and nothing is created.
TEST(OptionValues, SplicetrcRefusesAnEmptyOutputNameAtOpen) {
    TempDir dir;
    writeSample(dir.file("a.cap"), SampleOptions());
    RunOptions options;
    options.workingDir = dir.path();
    const ProcessResult result =
        runProgram({splicetrcPath(), "-in", "a.cap", "-in", "a.cap", "-out", ""}, options);
    EXPECT_EQ(result.exitStatus, 255);
    const std::string expected =
        "\nERROR (openOutputFile) - Failed to open file: ''\nbecause: the name is empty\n";
    EXPECT_EQ(result.output.substr(result.output.size() - expected.size()), expected);
    EXPECT_EQ(result.output.find("Start from record"), std::string::npos);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1);
}

}  // namespace
