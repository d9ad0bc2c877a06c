// A planned run holds exactly the records that reading one by one would read (up to its
// limits), its view decodes each as readRecord does, and copying it writes what writing
// those records does.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "capfile/common/RecordRun.h"
#include "capfile/read/CXcfPmB3CaptureFileParser.h"
#include "support/CaptureFileBuilder.h"
#include "support/RecordCopy.h"
#include "support/SampleCaptures.h"
#include "support/TestSupport.h"

using namespace testsupport;

namespace {

// count records of frames 20 to 109 bytes long; B4 ones with several ports and damaged frames.
CaptureFileBuilder records(Format format, uint32_t count, uint32_t frameBytes = 0) {
    CaptureFileBuilder b = format == Format::B4 ? CaptureFileBuilder::b4() : CaptureFileBuilder();
    for (uint32_t i = 0; i < count; ++i) {
        const Bytes frame = CaptureFileBuilder::pattern(frameBytes != 0 ? frameBytes : 20 + i % 90,
                                                        static_cast<uint8_t>(i));
        const Bytes extension = CaptureFileBuilder::pattern(8, static_cast<uint8_t>(0xA0 + i));
        b.records.push_back(format == Format::B4
                                ? CaptureFileBuilder::b4Record(
                                      i, i * 7, static_cast<uint8_t>(i % 5 == 4 ? 0x83 : i % 3),
                                      static_cast<uint8_t>(i), static_cast<uint8_t>(i % 3),
                                      extension, frame)
                                : CaptureFileBuilder::b3Record(
                                      i, i * 7, static_cast<uint8_t>(i % 3), extension, frame));
    }
    return b;
}

struct PlanCase {
    std::string name;
    Format format;
    std::function<CaptureFileBuilder()> file;
    uint32_t first;
    uint32_t maxCount;
    uint64_t maxBytes;
};

void PrintTo(const PlanCase& c, std::ostream* os) {
    *os << c.name;
}

const PlanCase kPlanCases[] = {
    {"B3Whole", Format::B3, [] { return records(Format::B3, 1500); }, 1, 65536, 1 << 24},
    {"B4Whole", Format::B4, [] { return records(Format::B4, 2100); }, 1, 65536, 1 << 24},
    {"B4FromTheMiddleByCount", Format::B4, [] { return records(Format::B4, 2500); }, 777, 1234,
     1 << 24},
    {"B3CutByBytes", Format::B3, [] { return records(Format::B3, 3000); }, 5, 65536, 20000},
    {"B3LargeRecordsThenSmall", Format::B3,
     [] {
         CaptureFileBuilder b = records(Format::B3, 6000, 30);
         for (uint32_t i = 0; i < 20; ++i) {
             b.records[i] = CaptureFileBuilder::b3Record(0, 0, 1, kZeroWords,
                                                         CaptureFileBuilder::pattern(60000));
         }
         return b;
     },
     1, 65536, 1 << 24},
    {"B4DamagedRecord", Format::B4,
     [] {
         CaptureFileBuilder b = records(Format::B4, 3000);
         CaptureFileLayout layout;
         b.build(&layout);
         b.indexOverrides = {{1457, layout.recordOffsets[1455] + 5}};  // record 1456 too short
         return b;
     },
     1000, 65536, 1 << 24},
    {"B4IndexEndingEarly", Format::B4,
     [] {
         CaptureFileBuilder b = records(Format::B4, 4200);
         b.indexEntriesWritten = 3500;
         return b;
     },
     2000, 65536, 1 << 24},
    {"B3Version10", Format::B3,
     [] {
         CaptureFileBuilder b = records(Format::B3, 10);
         b.versionText = "01.00";
         for (uint32_t i = 0; i < 10; ++i) {
             b.records[i] =
                 CaptureFileBuilder::b3Record(i, 0, std::nullopt, kZeroWords, Bytes(30, 1));
         }
         return b;
     },
     1, 100, 1 << 24},
    {"B3WithoutIndex", Format::B3,
     [] {
         CaptureFileBuilder b = records(Format::B3, 10);
         b.writeIndex = false;
         return b;
     },
     1, 100, 1 << 24},
    {"B3RecordsLargerThanABlock", Format::B3, [] { return records(Format::B3, 4, 300000); }, 1, 100,
     1 << 24},
    {"B3PastTheLastRecord", Format::B3, [] { return records(Format::B3, 10); }, 11, 100, 1 << 24},
};

class RecordRunTest : public testing::TestWithParam<PlanCase> {
  protected:
    void SetUp() override {
        GetParam().file().writeTo(path);
        reader = makeReader(GetParam().format);
        ASSERT_TRUE(reader->open(path));
    }

    TempDir dir;
    std::string path = dir.file("in.cap");
    std::unique_ptr<CXcfPmBinaryCaptureFileParser> reader;
    xcf::RecordRun run;
};

TEST_P(RecordRunTest, PlanHoldsWhatReadingRecordByRecordReads) {
    const PlanCase& c = GetParam();
    const uint32_t planned = reader->planRun(c.first, c.maxCount, c.maxBytes, run);
    ASSERT_EQ(run.count(), planned);
    // The oracle: records read one by one, as long as they fit the limits.
    // Runs are planned from the index, of records laid out as the writers lay them out.
    const bool plannable =
        reader->offsetToIndex != 0 && (reader->versionMinor == 1 || c.format == Format::B4);
    std::vector<uint32_t> offsets;
    uint64_t bytes = 0;
    CXcfCaptureRecord record;
    for (uint32_t n = c.first; plannable && n - c.first < c.maxCount; ++n) {
        uint32_t offset = 0;
        const uint64_t size = reader->recordSize(n);
        if (!reader->readRecord(n, record) || bytes + size > c.maxBytes) {
            break;
        }
        ASSERT_TRUE(reader->recordOffset(n, offset));
        offsets.push_back(offset);
        bytes += size;
    }
    ASSERT_EQ(planned, offsets.size());
    if (planned == 0) {
        EXPECT_EQ(run.file(), nullptr);
        return;
    }
    EXPECT_EQ(run.first(), c.first);
    EXPECT_EQ(run.file(), &reader->inputFile());
    EXPECT_EQ(run.layout(),
              c.format == Format::B4 ? xcf::RecordRun::Layout::kB4 : xcf::RecordRun::Layout::kB3);
    EXPECT_EQ(std::vector<uint32_t>(run.offsets(), run.offsets() + planned), offsets);
    EXPECT_EQ(run.bytes(), bytes);
    EXPECT_EQ(run.offsets()[planned], offsets.back() + reader->recordSize(c.first + planned - 1));
}

TEST_P(RecordRunTest, ViewDecodesEachRecordAsReadRecordDoes) {
    const PlanCase& c = GetParam();
    const uint32_t planned = reader->planRun(c.first, c.maxCount, c.maxBytes, run);
    // Loaded in two pieces, the second one replacing the first.
    const uint32_t half = planned / 2;
    for (const auto& [from, end] : {std::make_pair(0u, half), std::make_pair(half, planned)}) {
        ASSERT_EQ(run.load(from, planned), planned - from);
        ASSERT_EQ(run.load(from, end - from), end - from);
        for (const uint32_t outside : {from - 1, end}) {
            EXPECT_EQ(run.view(outside).frame, nullptr) << "record " << outside << " not loaded";
        }
        for (uint32_t i = from; i < end; ++i) {
            SCOPED_TRACE("record " + std::to_string(run.first() + i));
            CXcfCaptureRecord record;
            ASSERT_TRUE(reader->readRecord(run.first() + i, record));
            const xcf::RunRecord view = run.view(i);
            EXPECT_EQ(view.seconds, record.getTimestampSeconds());
            EXPECT_EQ(view.nanoseconds, record.getTimestampNanoseconds());
            EXPECT_EQ(run.timeAt(i), uint64_t{view.seconds} * 1000000000 + view.nanoseconds);
            EXPECT_EQ(view.portByte, record.getPortByte());
            EXPECT_EQ(view.layer2Type, record.getLayer2Type());
            EXPECT_EQ(view.recordType, record.getRecordType());
            EXPECT_EQ(
                Bytes(view.extension, view.extension + view.extensionLength),
                Bytes(record.getExtension(), record.getExtension() + record.getExtensionLength()));
            EXPECT_EQ(Bytes(view.frame, view.frame + view.frameLength),
                      Bytes(record.getFrame(), record.getFrame() + record.getFrameStoredLength()));
        }
    }
}

TEST_P(RecordRunTest, CopiedRunReadsBackAsItsRecords) {
    const PlanCase& c = GetParam();
    const uint32_t planned = reader->planRun(c.first, c.maxCount, c.maxBytes, run);
    for (const Format to : {Format::B3, Format::B4}) {
        SCOPED_TRACE(formatCode(to));
        const std::string out = dir.file(std::string("out-") + formatCode(to) + ".cap");
        auto writer = makeWriter(to);
        ASSERT_TRUE(writer->open(out, "run"));
        // A piece from the middle of the run, then the rest after it.
        const uint32_t from = planned / 3;
        const bool asBytes = c.format == Format::B3 || to == Format::B4;
        EXPECT_EQ(writer->copyRecords(run, from, planned / 3), asBytes ? planned / 3 : 0);
        EXPECT_EQ(writer->copyRecords(run, from + planned / 3, planned),
                  asBytes ? planned - from - planned / 3 : 0);
        EXPECT_EQ(writer->copyRecords(run, planned, 1), 0u);
        writer->close();
        ASSERT_FALSE(writer->hasFailed());
        std::vector<RecordCopy> expected;
        for (uint32_t i = from; asBytes && i < planned; ++i) {
            CXcfCaptureRecord record;
            ASSERT_TRUE(reader->readRecord(run.first() + i, record));
            expected.push_back(asOutputRecord(copyOf(record), c.format, to));
        }
        EXPECT_EQ(readBack(out).records, expected);
    }
}

TEST_P(RecordRunTest, LoadOfAFileCutShortReadsTheWholeRecordsBeforeTheCut) {
    const PlanCase& c = GetParam();
    const uint32_t planned = reader->planRun(c.first, c.maxCount, c.maxBytes, run);
    if (planned < 2) {
        return;
    }
    // Cut inside the last record's frame: every record before it is whole.
    std::filesystem::resize_file(path, run.offsets()[planned] - 1);
    EXPECT_EQ(run.load(0, planned), planned - 1);
    EXPECT_EQ(run.view(planned - 1).frame, nullptr);
    EXPECT_EQ(run.timeAt(planned - 1), 0u);
    EXPECT_NE(run.view(planned - 2).frame, nullptr);
    // A copy writes the whole records before the cut, and drops what it took of the last one.
    for (const Format to : {Format::B3, Format::B4}) {
        SCOPED_TRACE(formatCode(to));
        const bool asBytes = c.format == Format::B3 || to == Format::B4;
        const std::string out = dir.file(std::string("cut-") + formatCode(to) + ".cap");
        auto writer = makeWriter(to);
        ASSERT_TRUE(writer->open(out, "cut"));
        EXPECT_EQ(writer->copyRecords(run, 0, planned), asBytes ? planned - 1 : 0);
        writer->close();
        EXPECT_FALSE(writer->hasFailed());
        EXPECT_EQ(readBack(out).records.size(), asBytes ? planned - 1 : 0);
    }
    // Whatever was given back is gone, the rest stays loaded.
    run.truncate(planned - 2);
    EXPECT_EQ(run.count(), planned - 2);
    EXPECT_EQ(run.view(planned - 2).frame, nullptr);
    EXPECT_EQ(run.bytes(0, planned), run.bytes());
    run.truncate(0);
    EXPECT_EQ(run.file(), nullptr);
    EXPECT_EQ(run.load(0, 1), 0u);
}

INSTANTIATE_TEST_SUITE_P(Files, RecordRunTest, testing::ValuesIn(kPlanCases),
                         testing::PrintToStringParamName());

}  // namespace
