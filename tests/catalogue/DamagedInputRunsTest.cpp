// Large damaged inputs out of time order, through the programs themselves: a time-ordered
// merge keeps every record that reading in file order delivers and says where the input
// stopped, whatever reads failed before; no count the file cannot hold sizes anything; and
// reading records in time order reads about what the records hold, not a block per record.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "support/CaptureFileBuilder.h"
#include "support/SampleCaptures.h"
#include "support/TestSupport.h"
#include "trcedit/EditRun.h"

using namespace testsupport;

namespace {

constexpr uint32_t kRecords = 2500;  // index windows of 1000 records: three of them
constexpr size_t kNumberOfRecords = 13;

// Record k of n: the first half at even times, the second half at odd ones, so that time
// order takes the two halves in turn and steps back in the middle of the file.
Bytes interleavedFile(uint32_t n, CaptureFileLayout* layout = nullptr) {
    CaptureFileBuilder builder = CaptureFileBuilder::b4();
    builder.sourceNames[0] = "GbE,101/1,Rx";
    for (uint32_t k = 0; k < n; ++k) {
        const uint32_t half = n / 2;
        const uint32_t step = k < half ? 2 * k : 2 * (k - half) + 1;
        builder.records.push_back(CaptureFileBuilder::b4Record(
            1000 + step / 1000, (step % 1000) * 1000000, static_cast<uint8_t>(k % 4), 0, 2,
            CaptureFileBuilder::pattern(8, static_cast<uint8_t>(k)),
            CaptureFileBuilder::pattern(60 + k % 40, static_cast<uint8_t>(k))));
    }
    return builder.build(layout);
}

uint64_t timeOf(const RecordCopy& r) {
    return uint64_t{r.seconds} * 1000000000 + r.nanoseconds;
}

std::vector<RecordCopy> stableTimeSort(std::vector<RecordCopy> records) {
    std::stable_sort(records.begin(), records.end(), [](const RecordCopy& a, const RecordCopy& b) {
        return timeOf(a) < timeOf(b);
    });
    return records;
}

// Bytes this process has read through system calls so far.
uint64_t bytesRead() {
    std::ifstream io("/proc/self/io");
    std::string key;
    uint64_t value = 0;
    while (io >> key >> value) {
        if (key == "rchar:") {
            return value;
        }
    }
    return 0;
}

struct Damage {
    const char* name;
    std::function<void(Bytes&, const CaptureFileLayout&)> apply;
    uint32_t declared;   // the record count the damaged header announces
    uint32_t stoppedAt;  // the first record that cannot be read
};

const std::vector<Damage> kDamages = {
    // 25 entries missing: the last record with both of its entries is the 2474th.
    {"IndexSectionCutShort", [](Bytes& b, const CaptureFileLayout&) { b.resize(b.size() - 100); },
     kRecords, kRecords - 25},
    // Counts no file of this size can hold; the last record has no next entry.
    {"CountOfTwoToThe31",
     [](Bytes& b, const CaptureFileLayout&) { putAt(b, kNumberOfRecords, 4, 0x80000000u); },
     0x80000000u, kRecords},
    {"CountOfAllOnes",
     [](Bytes& b, const CaptureFileLayout&) { putAt(b, kNumberOfRecords, 4, 0xFFFFFFFFu); },
     0xFFFFFFFFu, kRecords},
    // Record 1800 starts in the header: it and the record before it cannot be read, while
    // the records behind it still could be.
    {"EntryIntoTheHeaderHalfWay",
     [](Bytes& b, const CaptureFileLayout& layout) {
         putAt(b, layout.index + 4 * (1800 - 1), 4, 100);
     },
     kRecords, 1799},
};

class DamagedInputRuns : public testing::TestWithParam<Damage> {
  protected:
    ProcessResult run(const std::string& program, std::vector<std::string> args) {
        args.insert(args.begin(), program);
        RunOptions options;
        options.workingDir = dir.path();
        return runProgram(args, options);
    }

    TempDir dir;
};

TEST_P(DamagedInputRuns, TimeOrderKeepsEveryRecordThatFileOrderDelivers) {
    const Damage& damage = GetParam();
    CaptureFileLayout layout;
    Bytes bytes = interleavedFile(kRecords, &layout);
    damage.apply(bytes, layout);
    writeFile(dir.file("bad.cap"), bytes);
    SampleOptions options;
    options.format = Format::B4;
    options.records = 10;
    options.tag = 7;
    const std::vector<RecordCopy> good = writeSample(dir.file("good.cap"), options);

    const std::vector<RecordCopy> delivered = readBack(dir.file("bad.cap")).records;
    EXPECT_EQ(delivered.size(), damage.stoppedAt - 1) << "in file order";
    const std::string warning =
        "WARNING (appendRecords) - Stopped reading file: 'bad.cap' at record " +
        std::to_string(damage.stoppedAt) + " of " + std::to_string(damage.declared) +
        "; its remaining records were skipped.\n";

    using Inputs = std::vector<std::string>;
    for (const Inputs& inputs :
         {Inputs{"bad.cap"}, Inputs{"bad.cap", "good.cap"}, Inputs{"good.cap", "bad.cap"}}) {
        std::vector<std::string> args = {"-sort", "-out", "sorted.cap"};
        std::vector<RecordCopy> expected;
        for (const std::string& input : inputs) {
            args.insert(args.end(), {"-in", input});
            const std::vector<RecordCopy>& records = input == "bad.cap" ? delivered : good;
            expected.insert(expected.end(), records.begin(), records.end());
        }
        SCOPED_TRACE(inputs.size() == 1 ? "alone" : inputs[0] + " then " + inputs[1]);
        const ProcessResult sorted = run(trceditPath(), args);
        EXPECT_EQ(sorted.exitStatus, 0) << sorted.output;
        EXPECT_NE(sorted.output.find(warning), std::string::npos) << sorted.output;
        EXPECT_NE(sorted.output.find("Wrote " + std::to_string(expected.size()) + " records"),
                  std::string::npos)
            << sorted.output;
        EXPECT_EQ(readBack(dir.file("sorted.cap")).records, stableTimeSort(expected));
    }

    const ProcessResult listed = run(trcinfoPath(), {"-stats", "-records", "bad.cap"});
    EXPECT_NE(
        listed.output.find("WARNING (listRecords) - Stopped reading file: 'bad.cap' at record " +
                           std::to_string(damage.stoppedAt) + " of "),
        std::string::npos)
        << listed.output;
}

INSTANTIATE_TEST_SUITE_P(Damages, DamagedInputRuns, testing::ValuesIn(kDamages),
                         [](const testing::TestParamInfo<Damage>& info) {
                             return std::string(info.param.name);
                         });

// Every record of an input read in time order is a jump in the file. Each may cost a page or
// two of index and record, never a read-ahead block of its own.
TEST(TimeOrderedReading, ReadsAboutWhatTheRecordsHold) {
    TempDir dir;
    // Each half larger than a read-ahead block, so that no block holds both.
    constexpr uint32_t kInterleaved = 12000;
    const Bytes bytes = interleavedFile(kInterleaved);
    writeFile(dir.file("in.cap"), bytes);
    EditSettings settings;
    settings.inputFileNames = {dir.file("in.cap")};
    settings.outputFileName = dir.file("sorted.cap");
    settings.sort = true;
    uint64_t count = 0;
    size_t files = 0;
    const uint64_t before = bytesRead();
    {
        ConsoleCapture silent;
        EditRun run(settings);
        ASSERT_TRUE(run.openAllInputs());
        ASSERT_TRUE(run.prepareOutput());
        ASSERT_TRUE(run.editRecords(count, files));
        run.cleanUp();
    }
    const uint64_t read = bytesRead() - before;
    EXPECT_EQ(count, kInterleaved);
    EXPECT_LT(read, 3 * bytes.size() + uint64_t{16 * 1024} * kInterleaved)
        << read / kInterleaved << " bytes read per record";
    EXPECT_EQ(readBack(settings.outputFileName).records,
              stableTimeSort(readBack(dir.file("in.cap")).records));
}

}  // namespace
