// Runs the real splicetrc on files in a temporary folder and checks its console output,
// exit status and the output file as the readers see it.
#include <gtest/gtest.h>
#include <unistd.h>

#include <map>
#include <string>
#include <vector>

#include "support/CaptureFileBuilder.h"
#include "support/SampleCaptures.h"
#include "support/TestSupport.h"

using namespace testsupport;

namespace {

constexpr int kFailure = 255;  // main returns -1

std::string afterBanner(const std::string& output) {
    size_t pos = 0;
    for (int line = 0; line < 7 && pos != std::string::npos; ++line) {
        pos = output.find('\n', pos);
        if (pos != std::string::npos) {
            ++pos;
        }
    }
    return pos == std::string::npos ? std::string("<no banner>") : output.substr(pos);
}

std::vector<RecordCopy> concat(std::vector<RecordCopy> a, const std::vector<RecordCopy>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

std::vector<RecordCopy> allAsB4(std::vector<RecordCopy> records) {
    for (auto& r : records) {
        r = asOutputRecord(r, Format::B3, Format::B4);
    }
    return records;
}

class MergeTest : public ::testing::Test {
  protected:
    ProcessResult run(std::vector<std::string> args, uint64_t fileSizeLimit = 0) {
        args.insert(args.begin(), splicetrcPath());
        RunOptions options;
        options.workingDir = dir.path();
        options.fileSizeLimit = fileSizeLimit;
        return runProgram(args, options);
    }
    std::vector<RecordCopy> sample(const std::string& name, Format format, uint32_t records,
                                   uint32_t tag) {
        SampleOptions options;
        options.format = format;
        options.records = records;
        options.tag = tag;
        return writeSample(dir.file(name), options);
    }
    static std::string totals(uint32_t start, uint32_t count) {
        return "Start from record:\t" + std::to_string(start) + "\nTotal appended packets:\t" +
               std::to_string(count) + "\n";
    }

    TempDir dir;
};

TEST_F(MergeTest, TwoB3InputsAreAppendedInOrder) {
    auto a = sample("a.cap", Format::B3, 3, 1);
    auto b = sample("b.cap", Format::B3, 4, 2);
    ProcessResult result = run({"-in", "a.cap", "-in", "b.cap"});
    EXPECT_EQ(result.exitStatus, 0);
    EXPECT_EQ(afterBanner(result.output), totals(1, 7));

    ReadBack out = readBack(dir.file("default.merged.cap"));
    ASSERT_TRUE(out.opened);
    EXPECT_EQ(out.formatCode, "B3");
    EXPECT_EQ(out.numberOfRecords, 7u);
    EXPECT_EQ(out.triggerPacketNumber, 6u);
    EXPECT_EQ(out.sourceName0, "POS,1A,Rx");
    EXPECT_EQ(out.description, "#Description: Merged records\n");
    EXPECT_EQ(out.records, concat(a, b));
    EXPECT_FALSE(fileExists(dir.file("default.merged.cap.idx")));
}

TEST_F(MergeTest, StartAndCountSelectAWindowOfTheMergedSequence) {
    auto a = sample("a.cap", Format::B3, 3, 1);
    auto b = sample("b.cap", Format::B3, 4, 2);
    ProcessResult result =
        run({"-in", "a.cap", "-in", "b.cap", "-start", "3", "-num", "2", "-out", "o.cap"});
    EXPECT_EQ(result.exitStatus, 0);
    EXPECT_EQ(afterBanner(result.output), totals(3, 2));
    EXPECT_EQ(readBack(dir.file("o.cap")).records, (std::vector<RecordCopy>{a[2], b[0]}));
}

TEST_F(MergeTest, StartAtTheFirstInputsLastRecordIsAccepted) {
    auto a = sample("a.cap", Format::B3, 3, 1);
    auto b = sample("b.cap", Format::B3, 4, 2);
    ProcessResult result = run({"-in", "a.cap", "-in", "b.cap", "-start", "3", "-out", "o.cap"});
    EXPECT_EQ(result.exitStatus, 0);
    EXPECT_EQ(afterBanner(result.output), totals(3, 5));
    EXPECT_EQ(readBack(dir.file("o.cap")).records.front(), a[2]);
}

TEST_F(MergeTest, StartZeroWritesFromTheFirstRecord) {
    auto a = sample("a.cap", Format::B3, 3, 1);
    auto b = sample("b.cap", Format::B3, 4, 2);
    ProcessResult result = run({"-in", "a.cap", "-in", "b.cap", "-start", "0", "-out", "o.cap"});
    EXPECT_EQ(result.exitStatus, 0);
    EXPECT_EQ(afterBanner(result.output), totals(0, 7));
    EXPECT_EQ(readBack(dir.file("o.cap")).records, concat(a, b));
}

TEST_F(MergeTest, StartBeyondTheFirstInputIsRefusedAndLeavesNoOutput) {
    sample("a.cap", Format::B3, 3, 1);
    sample("b.cap", Format::B3, 4, 2);
    ProcessResult result = run({"-in", "a.cap", "-in", "b.cap", "-start", "5", "-out", "o.cap"});
    EXPECT_EQ(result.exitStatus, kFailure);
    EXPECT_EQ(afterBanner(result.output),
              "ERROR (convertRecords) - Requested first record 5 > 3, the total number of "
              "records in the source file.\n");
    EXPECT_FALSE(fileExists(dir.file("o.cap")));
}

TEST_F(MergeTest, NegativeStartWrapsAndIsRefused) {
    sample("a.cap", Format::B3, 3, 1);
    sample("b.cap", Format::B3, 4, 2);
    ProcessResult result = run({"-in", "a.cap", "-in", "b.cap", "-start", "-1"});
    EXPECT_EQ(result.exitStatus, kFailure);
    EXPECT_EQ(afterBanner(result.output),
              "ERROR (convertRecords) - Requested first record 4294967295 > 3, the total number "
              "of records in the source file.\n");
}

TEST_F(MergeTest, ThreeInputsAreAllUsedInCommandLineOrder) {
    auto a = sample("a.cap", Format::B3, 2, 1);
    auto b = sample("b.cap", Format::B3, 3, 2);
    auto c = sample("c.cap", Format::B3, 1, 3);
    ProcessResult result = run({"-in", "c.cap", "-in", "a.cap", "-in", "b.cap", "-out", "o.cap"});
    EXPECT_EQ(result.exitStatus, 0);
    EXPECT_EQ(afterBanner(result.output), totals(1, 6));
    EXPECT_EQ(readBack(dir.file("o.cap")).records, concat(concat(c, a), b));
}

TEST_F(MergeTest, OneB4InputMakesTheOutputB4InEitherOrder) {
    auto b3 = sample("b3.cap", Format::B3, 3, 1);
    auto b4 = sample("b4.cap", Format::B4, 6, 2);
    ProcessResult first = run({"-in", "b3.cap", "-in", "b4.cap", "-out", "x.cap"});
    EXPECT_EQ(first.exitStatus, 0);
    EXPECT_EQ(afterBanner(first.output), totals(1, 9));
    ReadBack x = readBack(dir.file("x.cap"));
    EXPECT_EQ(x.formatCode, "B4");
    EXPECT_EQ(x.records, concat(allAsB4(b3), b4));

    ProcessResult second = run({"-in", "b4.cap", "-in", "b3.cap", "-out", "y.cap"});
    EXPECT_EQ(second.exitStatus, 0);
    ReadBack y = readBack(dir.file("y.cap"));
    EXPECT_EQ(y.formatCode, "B4");
    EXPECT_EQ(y.records, concat(b4, allAsB4(b3)));
}

TEST_F(MergeTest, NumLimitsTheRecordsWrittenNotRead) {
    auto a = sample("a.cap", Format::B3, 3, 1);
    auto b = sample("b.cap", Format::B3, 4, 2);
    ProcessResult result =
        run({"-in", "a.cap", "-in", "b.cap", "-num", "4", "-start", "2", "-out", "o.cap"});
    EXPECT_EQ(result.exitStatus, 0);
    EXPECT_EQ(afterBanner(result.output), totals(2, 4));
    EXPECT_EQ(readBack(dir.file("o.cap")).records,
              (std::vector<RecordCopy>{a[1], a[2], b[0], b[1]}));
}

TEST_F(MergeTest, TcpdumpInputIsTurnedAway) {
    sample("a.cap", Format::B3, 3, 1);
    writeFile(dir.file("t.pcap"), pcapHeader(false));
    ProcessResult result = run({"-in", "a.cap", "-in", "t.pcap", "-out", "o.cap"});
    EXPECT_EQ(result.exitStatus, kFailure);
    EXPECT_EQ(afterBanner(result.output),
              "ERROR (openInputFile) - Cannot parse file: 't.pcap'\nbecause: The file format "
              "(X1) is neither B3 nor B4 so cannot be processed further.\n");
    EXPECT_FALSE(fileExists(dir.file("o.cap")));
}

TEST_F(MergeTest, MissingFirstInputStopsBeforeTheSecond) {
    ProcessResult result = run({"-in", "missing.cap", "-in", "also-missing.cap"});
    EXPECT_EQ(result.exitStatus, kFailure);
    EXPECT_EQ(afterBanner(result.output),
              "ERROR (openInputFile) - Failed to open file: 'missing.cap'\nbecause: File not "
              "found, already open or no read permission\n");
}

TEST_F(MergeTest, UnrecognisedInputReportsTheLastReadersReason) {
    sample("a.cap", Format::B3, 3, 1);
    writeFile(dir.file("notes.txt"),
              ByteBuilder().text("just some text, long enough to hold a pcap header\n").data());
    ProcessResult result = run({"-in", "a.cap", "-in", "notes.txt"});
    EXPECT_EQ(result.exitStatus, kFailure);
    EXPECT_EQ(afterBanner(result.output),
              "ERROR (openInputFile) - Failed to open file: 'notes.txt'\nbecause: File format not "
              "recognised or illegal version number\n");
}

// A B4 file whose version text claims 01.01 opens, but none of its records can be read.
void makeUnreadableB4(const std::string& path) {
    Bytes bytes = readFile(path);
    bytes[8 + 3] = '0';
    bytes[8 + 4] = '1';
    writeFile(path, bytes);
}

TEST_F(MergeTest, InputsWhoseRecordsAllFailWriteNothingAndWarn) {
    sample("a.cap", Format::B4, 2, 1);
    sample("b.cap", Format::B4, 3, 2);
    makeUnreadableB4(dir.file("a.cap"));
    makeUnreadableB4(dir.file("b.cap"));
    ProcessResult result = run({"-in", "a.cap", "-in", "b.cap", "-out", "o.cap"});
    EXPECT_EQ(result.exitStatus, kFailure);
    EXPECT_EQ(afterBanner(result.output),
              "Start from record:\t1\n"
              "WARNING (appendRecords) - Stopped reading file: 'a.cap' at record 1 of 2; its "
              "remaining records were skipped.\n"
              "WARNING (appendRecords) - Stopped reading file: 'b.cap' at record 1 of 3; its "
              "remaining records were skipped.\n");
    EXPECT_FALSE(fileExists(dir.file("o.cap")));
}

TEST_F(MergeTest, DamagedRecordEndsItsInputWithAWarningAndTheNextInputGoesOn) {
    auto a = sample("a.cap", Format::B3, 3, 1);
    auto b = sample("b.cap", Format::B3, 2, 2);
    // Record 3 is made to start 10 bytes after record 2, too short for record 2's fields.
    Bytes bytes = readFile(dir.file("a.cap"));
    const uint32_t entry2 = be32At(bytes, 27) + xcf::layout::kIndexEntrySize;
    putAt(bytes, entry2 + xcf::layout::kIndexEntrySize, 4, be32At(bytes, entry2) + 10);
    writeFile(dir.file("a.cap"), bytes);

    ProcessResult result = run({"-in", "a.cap", "-in", "b.cap", "-out", "o.cap"});
    EXPECT_EQ(result.exitStatus, 0);
    EXPECT_EQ(afterBanner(result.output),
              "Start from record:\t1\n"
              "WARNING (appendRecords) - Stopped reading file: 'a.cap' at record 2 of 3; its "
              "remaining records were skipped.\n"
              "Total appended packets:\t3\n");
    EXPECT_EQ(readBack(dir.file("o.cap")).records, (std::vector<RecordCopy>{a[0], b[0], b[1]}));
}

class OverwriteTest : public MergeTest, public ::testing::WithParamInterface<const char*> {};

TEST_P(OverwriteTest, OutputThatIsAnInputIsRefusedBeforeAnythingIsTouched) {
    sample("a.cap", Format::B3, 3, 1);
    sample("b.cap", Format::B3, 4, 2);
    ASSERT_EQ(link(dir.file("b.cap").c_str(), dir.file("hard.cap").c_str()), 0);
    ASSERT_EQ(symlink("b.cap", dir.file("soft.cap").c_str()), 0);
    const Bytes a = readFile(dir.file("a.cap"));
    const Bytes b = readFile(dir.file("b.cap"));
    const std::string output = GetParam();
    const std::string victim = output == "./a.cap" || output == "a.cap" ? "a.cap" : "b.cap";

    ProcessResult result = run({"-in", "a.cap", "-in", "b.cap", "-out", output});
    EXPECT_EQ(result.exitStatus, kFailure);
    EXPECT_EQ(afterBanner(result.output),
              "ERROR (openOutputFile) - Failed to open file: '" + output +
                  "'\nbecause: it would overwrite the input file '" + victim + "'\n");
    EXPECT_EQ(readFile(dir.file("a.cap")), a);
    EXPECT_EQ(readFile(dir.file("b.cap")), b);
}

INSTANTIATE_TEST_SUITE_P(Names, OverwriteTest,
                         ::testing::Values("a.cap", "./a.cap", "hard.cap", "soft.cap"));

// The side index file belongs to the temporary file being written, so a file named like the
// output's side index file is an input like any other.
TEST_F(MergeTest, AnInputNamedLikeTheOutputsSideIndexFileIsLeftAlone) {
    auto a = sample("a.cap", Format::B3, 3, 1);
    auto idx = sample("o.cap.idx", Format::B3, 2, 2);
    const Bytes before = readFile(dir.file("o.cap.idx"));
    ProcessResult result = run({"-in", "a.cap", "-in", "o.cap.idx", "-out", "o.cap"});
    EXPECT_EQ(result.exitStatus, 0);
    EXPECT_EQ(afterBanner(result.output), totals(1, 5));
    EXPECT_EQ(readFile(dir.file("o.cap.idx")), before);
    EXPECT_EQ(readBack(dir.file("o.cap")).records, concat(a, idx));
}

TEST_F(MergeTest, WriteFailureIsReportedAndFailsTheRun) {
    sample("a.cap", Format::B3, 300, 1);
    sample("b.cap", Format::B3, 300, 2);
    // Room for the header and some records, not for all of them.
    ProcessResult result = run({"-in", "a.cap", "-in", "b.cap", "-out", "o.cap"}, 40000);
    EXPECT_EQ(result.exitStatus, kFailure);
    EXPECT_EQ(afterBanner(result.output),
              "Start from record:\t1\n"
              "ERROR (convertRecords) - Failed to write file: 'o.cap'\nbecause: File write "
              "failure, check permissions (File too large)\n");
}

TEST_F(MergeTest, OutputThatCannotBeCreatedIsReported) {
    sample("a.cap", Format::B3, 3, 1);
    sample("b.cap", Format::B3, 4, 2);
    ProcessResult result = run({"-in", "a.cap", "-in", "b.cap", "-out", "no/such/dir/o.cap"});
    EXPECT_EQ(result.exitStatus, kFailure);
    EXPECT_EQ(afterBanner(result.output),
              "ERROR (openOutputFile) - Failed to open file: 'no/such/dir/o.cap'\nbecause: no "
              "temporary file can be written in the folder 'no/such/dir': No such file or "
              "directory\n");
}

// The port an output names is the first input's own: a B3 input's source 0, a B4 input's
// first record's port, or its source 0 when that record names none; splicetrc and trcedit
// alike.
struct FirstInput {
    const char* name;
    bool b4;
    std::map<uint8_t, std::string> sourceNames;
    std::vector<uint8_t> portBytes;  // one record per entry
    const char* outputPort;          // the output's source 0 name
};

class OutputPortTest : public testing::TestWithParam<FirstInput> {};

TEST_P(OutputPortTest, IsTheFirstInputsOwn) {
    const FirstInput& c = GetParam();
    TempDir dir;
    CaptureFileBuilder builder = c.b4 ? CaptureFileBuilder::b4() : CaptureFileBuilder();
    builder.sourceNames = c.sourceNames;
    for (size_t i = 0; i < c.portBytes.size(); ++i) {
        const Bytes frame = CaptureFileBuilder::pattern(30, static_cast<uint8_t>(i));
        const Bytes extension(8, 0);
        const auto seconds = static_cast<uint32_t>(100 + i);
        builder.records.push_back(
            c.b4 ? CaptureFileBuilder::b4Record(seconds, 0, c.portBytes[i], 0, 2, extension, frame)
                 : CaptureFileBuilder::b3Record(seconds, 0, 2, extension, frame));
    }
    builder.writeTo(dir.file("first.cap"));
    SampleOptions second;
    second.format = Format::B4;
    writeSample(dir.file("second.cap"), second);
    for (const std::string& program : {splicetrcPath(), trceditPath()}) {
        SCOPED_TRACE(program);
        RunOptions options;
        options.workingDir = dir.path();
        const ProcessResult result = runProgram(
            {program, "-in", "first.cap", "-in", "second.cap", "-out", "out.cap"}, options);
        EXPECT_EQ(result.exitStatus, 0) << result.output;
        EXPECT_EQ(readBack(dir.file("out.cap")).sourceName0, c.outputPort);
    }
}

const FirstInput kFirstInputs[] = {
    {"B3", false, {{0, "OC48,9/9,Rx"}}, {0, 0}, "OC48,9/9,Rx"},
    {"B4", true, {{0, "OC48,9/9,Rx"}}, {0, 0}, "OC48,9/9,Rx"},
    {"B4FirstRecordOnPort2", true, {{0, "GbE,3/1,Rx"}, {2, "GbE,3/2,Rx"}}, {2, 0}, "GbE,3/2,Rx"},
    {"B4FirstPortUnnamed", true, {{0, "GbE,3/1,Rx"}}, {5, 0}, "GbE,3/1,Rx"},
    {"B4PortUnknown", true, {{0, "Unknown"}}, {0}, "POS,101/1,Rx"},
};

INSTANTIATE_TEST_SUITE_P(FirstInputs, OutputPortTest, testing::ValuesIn(kFirstInputs),
                         [](const testing::TestParamInfo<FirstInput>& info) {
                             return std::string(info.param.name);
                         });

}  // namespace
