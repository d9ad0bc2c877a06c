// The driver in-process, where the run can be given a small output size limit in place of
// the format's 4 GiB.
#include <gtest/gtest.h>

#include "splicetrc/AppendRun.h"
#include "splicetrc/RunSettings.h"
#include "support/SampleCaptures.h"
#include "support/TestSupport.h"

using namespace testsupport;

namespace {

TEST(AppendRunTest, SizeLimitStopsTheRunWithACompleteOutput) {
    TempDir dir;
    SampleOptions options;
    options.records = 50;
    options.tag = 1;
    auto a = writeSample(dir.file("a.cap"), options);
    options.tag = 2;
    auto b = writeSample(dir.file("b.cap"), options);

    RunSettings settings;
    settings.inputFileNames = {dir.file("a.cap"), dir.file("b.cap")};
    settings.outputFileName = dir.file("o.cap");
    const uint64_t headerSize =
        readFile(dir.file("a.cap")).size() > 0 ? be32At(readFile(dir.file("a.cap")), 23) : 0;
    ASSERT_GT(headerSize, 0u);
    // Room for the header and roughly 60 small records with their index entries.
    const uint64_t limit =
        headerSize + 60 * (xcf::layout::kB3WrittenFieldsSize + 70 + xcf::layout::kIndexEntrySize);

    uint32_t count = 0;
    bool converted = true;
    std::string console;
    {
        ConsoleCapture capture;
        AppendRun run(settings);
        run.setOutputSizeLimit(limit);
        ASSERT_TRUE(run.openAllInputs());
        ASSERT_TRUE(run.openOutputFile());
        converted = run.convertRecords(count);
        run.cleanUp();
        console = capture.text();
    }
    EXPECT_FALSE(converted);
    ASSERT_GT(count, 50u);
    ASSERT_LT(count, 100u);
    EXPECT_EQ(console,
              "Start from record:\t1\nERROR (convertRecords) - Output file '" +
                  settings.outputFileName + "' reached the 4 GiB limit of the format after " +
                  std::to_string(count) + " records; the remaining records were not written.\n");

    ReadBack out = readBack(settings.outputFileName);
    ASSERT_TRUE(out.opened);
    EXPECT_EQ(out.numberOfRecords, count);
    EXPECT_EQ(out.triggerPacketNumber, count - 1);
    std::vector<RecordCopy> expected = a;
    expected.insert(expected.end(), b.begin(), b.begin() + (count - a.size()));
    EXPECT_EQ(out.records, expected);
    EXPECT_LE(readFile(settings.outputFileName).size(), limit);
}

}  // namespace
