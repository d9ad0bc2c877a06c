#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <functional>
#include <memory>
#include <ostream>
#include <vector>

#include "record/CXcfCaptureRecord.h"
#include "record/CXcfL2PM410MergedRecord.h"
#include "record/CXcfL2PM410Record.h"
#include "support/TestSupport.h"

using testsupport::block;

namespace {

void expectEmpty(const CXcfCaptureRecord& r) {
    EXPECT_TRUE(r.getPortByte() == 0 && r.getStatusByte() == 0 && r.getLayer2Type() == 0);
    EXPECT_TRUE(r.isFrameGood());
    EXPECT_TRUE(r.getTimestampSeconds() == 0 && r.getTimestampNanoseconds() == 0);
    EXPECT_TRUE(r.getExtension() == nullptr && r.getExtensionLength() == 0);
    EXPECT_TRUE(r.getFrame() == nullptr && r.getFrameStoredLength() == 0);
    EXPECT_EQ(r.totalLength(), 0u);
}

struct RecordKind {
    const char* name;
    std::function<std::unique_ptr<CXcfCaptureRecord>()> make;
    int32_t recordType;
    uint8_t lowBitsOfE5;
};
void PrintTo(const RecordKind& kind, std::ostream* os) {
    *os << kind.name;
}
class RecordClasses : public ::testing::TestWithParam<RecordKind> {};

TEST_P(RecordClasses, DefaultsClearAndPortBits) {
    const auto record = GetParam().make();
    EXPECT_EQ(record->getRecordType(), GetParam().recordType);
    expectEmpty(*record);

    record->setRecordType(9);
    record->setPortByte(0xE5);
    EXPECT_EQ(record->getPortLowBits(), GetParam().lowBitsOfE5);
    EXPECT_EQ(record->getPortHighBits(), 7);
    record->setFrameGood(false);
    record->setTimestamp(10, 20);
    record->setStatusByte(3);
    record->setLayer2Type(4);
    record->setExtension(2, block({1, 2}));
    record->setExtension(3, block({1, 2, 3}));  // refill releases the first block
    record->setFrameWithLengths(3, 4, block({1, 2, 3}));
    record->clear();
    EXPECT_EQ(record->getRecordType(), 9);
    expectEmpty(*record);
}

INSTANTIATE_TEST_SUITE_P(
    Classes, RecordClasses,
    ::testing::Values(
        RecordKind{"Base", [] { return std::make_unique<CXcfCaptureRecord>(); }, 0, 0xE5},
        RecordKind{"Layer2", [] { return std::make_unique<CXcfL2PM410Record>(); }, 3, 0xE5},
        RecordKind{"Merged", [] { return std::make_unique<CXcfL2PM410MergedRecord>(); }, 4, 0x05}),
    ::testing::PrintToStringParamName());

TEST(CaptureRecord, ExtensionWordsNeedEnoughBytes) {
    CXcfL2PM410MergedRecord record;
    EXPECT_EQ(record.getExtensionWord0(), 0u);
    record.setExtension(5, block({1, 2, 3, 4, 5}));
    EXPECT_EQ(record.getExtensionWord0(), 0x01020304u);
    EXPECT_EQ(record.getExtensionWord1(), 0u);
    record.setExtension(8, block({0xFF, 0xFE, 0xFD, 0xFC, 5, 6, 7, 8}));
    EXPECT_EQ(record.getExtensionWord0(), 0xFFFEFDFCu);
    EXPECT_EQ(record.getExtensionWord1(), 0x05060708u);
}

TEST(CaptureRecord, TotalLengthCountsTheSecondFrameLength) {
    CXcfL2PM410Record record;
    record.setExtension(5, block({1, 2, 3, 4, 5}));
    record.setFrame(60, block(std::vector<uint8_t>(60)));
    EXPECT_EQ(record.getFrameStoredLength(), 60u);
    EXPECT_EQ(record.totalLength(), 65u);
    record.setFrameWithLengths(60, 64, block(std::vector<uint8_t>(60)));
    EXPECT_EQ(record.getFrameStoredLength(), 60u);
    EXPECT_EQ(record.totalLength(), 69u);
}

TEST(CaptureRecord, TimestampIsNormalisedOnlyInTheCopy) {
    CXcfCaptureRecord record;
    record.setTimestamp(1, 0xFFFFFFFFu);
    EXPECT_EQ(record.getTimestamp().toString(), "00:999999999");
    EXPECT_EQ(record.getTimestampSeconds(), 1u);
    EXPECT_EQ(record.getTimestampNanoseconds(), 0xFFFFFFFFu);
}

// Readers refill one record per frame; the copies must reuse the blocks that clear gave up,
// and never hand out a block too small for the bytes.
TEST(CaptureRecordCopy, CopiesReuseReleasedBlocksWhenLargeEnough) {
    CXcfL2PM410Record record;
    const uint8_t big[64] = {1, 2, 3, 4, 5, 6, 7, 8, 9};
    record.copyFrame(64, big);
    record.copyExtension(8, big);
    const uint8_t* firstFrame = record.getFrame();
    record.clear();
    EXPECT_EQ(record.getFrame(), nullptr);
    EXPECT_EQ(record.getExtension(), nullptr);
    EXPECT_EQ(record.getFrameLength(), 0u);

    const uint8_t small[3] = {7, 8, 9};
    record.copyFrame(3, small);
    EXPECT_EQ(record.getFrame(), firstFrame);
    EXPECT_EQ(record.getFrameStoredLength(), 3u);
    EXPECT_EQ(record.getFrameLength(), 3u);
    EXPECT_EQ(std::memcmp(record.getFrame(), small, 3), 0);

    record.clear();
    uint8_t huge[200];
    std::memset(huge, 0xAB, sizeof huge);
    record.copyFrame(200, huge);
    EXPECT_EQ(std::memcmp(record.getFrame(), huge, 200), 0);

    record.clear();
    record.copyExtension(0, nullptr);
    EXPECT_NE(record.getExtension(), nullptr);
    EXPECT_EQ(record.getExtensionLength(), 0u);
    EXPECT_EQ(record.getExtensionWord0(), 0u);
}

}  // namespace
