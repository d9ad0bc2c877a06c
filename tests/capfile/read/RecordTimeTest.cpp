// A record's time read alone: it must be had exactly when the record can be read, with the
// same error code when not, whatever the file's damage and the order of the reads.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <iterator>
#include <string>
#include <tuple>

#include "capfile/read/PmReaderFixture.h"

namespace pmreader {
namespace {

struct Damage {
    const char* name;
    std::function<void(CaptureFileBuilder&, const CaptureFileLayout&)> apply;
};

const Damage kDamages[] = {
    {"None", [](CaptureFileBuilder&, const CaptureFileLayout&) {}},
    {"EntryIntoTheHeader",
     [](CaptureFileBuilder& b, const CaptureFileLayout& l) { b.indexOverrides[3] = l.data - 4; }},
    {"RecordTooShortForItsFields",
     [](CaptureFileBuilder& b, const CaptureFileLayout& l) {
         b.indexOverrides[3] = l.recordOffsets[1] + 5;
     }},
    {"RecordOfNoBytes",
     [](CaptureFileBuilder& b, const CaptureFileLayout& l) {
         b.indexOverrides[4] = l.recordOffsets[2];
     }},
    {"EntryPastTheEnd",
     [](CaptureFileBuilder& b, const CaptureFileLayout& l) {
         b.indexOverrides[5] = static_cast<uint32_t>(l.fileSize + 100);
     }},
    {"EntriesBackwards",
     [](CaptureFileBuilder& b, const CaptureFileLayout& l) {
         b.indexOverrides[2] = l.recordOffsets[2];
         b.indexOverrides[3] = l.recordOffsets[1];
     }},
    {"IndexSectionCutShort",
     [](CaptureFileBuilder& b, const CaptureFileLayout&) { b.indexEntriesWritten = 3; }},
    {"NoIndexSection",
     [](CaptureFileBuilder& b, const CaptureFileLayout&) { b.writeIndex = false; }},
    {"RecordTypeWithoutALayout",
     [](CaptureFileBuilder& b, const CaptureFileLayout&) { b.recordType = 9; }},
    {"OtherVersion",
     [](CaptureFileBuilder& b, const CaptureFileLayout&) {
         b.versionText = b.formatCode == "B3" ? "01.00" : "01.01";
     }},
    {"FixedLengthRecords",
     [](CaptureFileBuilder& b, const CaptureFileLayout& l) {
         b.recordLength = l.recordOffsets[1] - l.recordOffsets[0];
     }},
};

class RecordTime : public testing::TestWithParam<std::tuple<Format, size_t>> {};

TEST_P(RecordTime, IsHadExactlyWhenTheRecordReads) {
    const auto [format, damageIndex] = GetParam();
    const Damage& damage = kDamages[damageIndex];
    SCOPED_TRACE(damage.name);
    TempDir dir;
    CaptureFileBuilder builder = builderFor(format);
    for (uint32_t k = 1; k <= 6; ++k) {
        builder.records.push_back(recordFor(format, 100 + k, 20));
    }
    CaptureFileLayout layout;
    builder.build(&layout);
    damage.apply(builder, layout);
    builder.writeTo(dir.file("in.cap"));
    auto reader = makeReader(format);
    auto timer = makeReader(format);
    const bool opened = reader->open(dir.file("in.cap"));
    ASSERT_EQ(timer->open(dir.file("in.cap")), opened);
    if (!opened) {
        return;
    }
    // In order, then backwards: earlier failures must not matter.
    for (int pass = 0; pass < 2; ++pass) {
        for (uint32_t i = 0; i <= 8; ++i) {
            const uint32_t n = pass == 0 ? i : 8 - i;
            SCOPED_TRACE("record " + std::to_string(n));
            CXcfCaptureRecord record;
            reader->lastErrorCode = 0;
            timer->lastErrorCode = 0;
            uint32_t seconds = 1;
            uint32_t nanoseconds = 1;
            const bool read = reader->readRecord(n, record);
            ASSERT_EQ(timer->readRecordTime(n, seconds, nanoseconds), read);
            EXPECT_EQ(timer->lastErrorCode, reader->lastErrorCode);
            if (!read && reader->lastErrorCode != 0) {
                // The cause says what is wrong, and the same both ways.
                EXPECT_FALSE(reader->lastErrorDetail().empty());
                EXPECT_EQ(timer->lastErrorDetail(), reader->lastErrorDetail());
            }
            if (read) {
                EXPECT_EQ(seconds, record.getTimestampSeconds());
                EXPECT_EQ(nanoseconds, record.getTimestampNanoseconds());
            }
            // The family's generic way, through the whole record, agrees.
            EXPECT_EQ(timer->CXcfPmCaptureFileParser::readRecordTime(n, seconds, nanoseconds),
                      read);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Damages, RecordTime,
                         testing::Combine(testing::Values(Format::B3, Format::B4),
                                          testing::Range(size_t{0}, std::size(kDamages))),
                         [](const testing::TestParamInfo<std::tuple<Format, size_t>>& info) {
                             return std::string(formatCode(std::get<0>(info.param))) + "_" +
                                    kDamages[std::get<1>(info.param)].name;
                         });

// A file cut short after its open: the extents the open checked are gone, and neither a
// record nor its time reads, large (past the read-ahead block) or small.
TEST(RecordTimeOfAFileCutAfterItsOpen, FailsAsACorruptFile) {
    for (const Format format : {Format::B3, Format::B4}) {
        SCOPED_TRACE(formatCode(format));
        TempDir dir;
        CaptureFileBuilder builder = builderFor(format);
        builder.records.push_back(recordFor(format, 1, 300000));
        builder.records.push_back(recordFor(format, 2, 20));
        const CaptureFileLayout layout = builder.writeTo(dir.file("in.cap"));
        auto reader = makeReader(format);
        ASSERT_TRUE(reader->open(dir.file("in.cap")));
        std::filesystem::resize_file(dir.file("in.cap"), layout.data + 4);
        for (const uint32_t n : {1u, 2u}) {
            SCOPED_TRACE("record " + std::to_string(n));
            CXcfCaptureRecord record;
            uint32_t seconds = 0;
            uint32_t nanoseconds = 0;
            reader->lastErrorCode = 0;
            EXPECT_FALSE(reader->readRecord(n, record));
            EXPECT_EQ(reader->lastErrorCode, 4);
            reader->lastErrorCode = 0;
            EXPECT_FALSE(reader->readRecordTime(n, seconds, nanoseconds));
            EXPECT_EQ(reader->lastErrorCode, 4);
        }
    }
}

}  // namespace
}  // namespace pmreader
