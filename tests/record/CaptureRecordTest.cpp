#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "record/CXcfCaptureRecord.h"
#include "record/CXcfL2PM410MergedRecord.h"
#include "record/CXcfL2PM410Record.h"

namespace {

std::unique_ptr<uint8_t[]> block(const std::vector<uint8_t>& bytes) {
    std::unique_ptr<uint8_t[]> out(new uint8_t[bytes.size()]);
    std::copy(bytes.begin(), bytes.end(), out.get());
    return out;
}

void expectEmpty(const CXcfCaptureRecord& r) {
    EXPECT_EQ(r.getPortByte(), 0);
    EXPECT_TRUE(r.isFrameGood());
    EXPECT_EQ(r.getTimestampSeconds(), 0u);
    EXPECT_EQ(r.getTimestampNanoseconds(), 0u);
    EXPECT_EQ(r.getStatusByte(), 0);
    EXPECT_EQ(r.getLayer2Type(), 0);
    EXPECT_EQ(r.getExtensionLength(), 0u);
    EXPECT_EQ(r.getExtension(), nullptr);
    EXPECT_EQ(r.getFrameStoredLength(), 0u);
    EXPECT_EQ(r.getFrameLength(), 0u);
    EXPECT_EQ(r.getFrame(), nullptr);
    EXPECT_EQ(r.totalLength(), 0u);
}

struct RecordKind {
    const char* name;
    std::function<std::unique_ptr<CXcfCaptureRecord>()> make;
    int32_t recordType;
    uint8_t lowBitsOfE5;
};

class RecordClasses : public ::testing::TestWithParam<RecordKind> {};

TEST_P(RecordClasses, StartEmptyWithClassRecordType) {
    const auto record = GetParam().make();
    EXPECT_EQ(record->getRecordType(), GetParam().recordType);
    expectEmpty(*record);
}

TEST_P(RecordClasses, ClearResetsAllButRecordType) {
    const auto record = GetParam().make();
    record->setRecordType(9);
    record->setPortByte(0x81);
    record->setFrameGood(false);
    record->setTimestamp(10, 20);
    record->setStatusByte(3);
    record->setLayer2Type(4);
    record->setExtension(2, block({1, 2}));
    record->setFrameWithLengths(3, 4, block({1, 2, 3}));
    record->clear();
    EXPECT_EQ(record->getRecordType(), 9);
    expectEmpty(*record);
}

TEST_P(RecordClasses, PortBitsThroughTheBase) {
    const auto record = GetParam().make();
    record->setPortByte(0xE5);
    EXPECT_EQ(record->getPortLowBits(), GetParam().lowBitsOfE5);
    EXPECT_EQ(record->getPortHighBits(), 7);
    EXPECT_EQ(record->getPortByte(), 0xE5);
}

INSTANTIATE_TEST_SUITE_P(
    Classes, RecordClasses,
    ::testing::Values(
        RecordKind{"Base", [] { return std::make_unique<CXcfCaptureRecord>(); }, 0, 0xE5},
        RecordKind{"Layer2", [] { return std::make_unique<CXcfL2PM410Record>(); }, 3, 0xE5},
        RecordKind{"Merged", [] { return std::make_unique<CXcfL2PM410MergedRecord>(); }, 4, 0x05}),
    [](const ::testing::TestParamInfo<RecordKind>& info) { return info.param.name; });

struct ExtensionCase {
    std::vector<uint8_t> bytes;  // empty: no extension at all
    uint32_t word0, word1;
};

class ExtensionWords : public ::testing::TestWithParam<ExtensionCase> {};

TEST_P(ExtensionWords, ReadBigEndianOnlyWhenLongEnough) {
    const ExtensionCase& c = GetParam();
    CXcfL2PM410MergedRecord record;
    if (!c.bytes.empty()) {
        record.setExtension(static_cast<uint32_t>(c.bytes.size()), block(c.bytes));
    }
    EXPECT_EQ(record.getExtensionWord0(), c.word0);
    EXPECT_EQ(record.getExtensionWord1(), c.word1);
}

INSTANTIATE_TEST_SUITE_P(Cases, ExtensionWords,
                         ::testing::Values(ExtensionCase{{}, 0, 0}, ExtensionCase{{1, 2, 3}, 0, 0},
                                           ExtensionCase{{1, 2, 3, 4, 5}, 0x01020304u, 0},
                                           ExtensionCase{{0xFF, 0xFE, 0xFD, 0xFC, 5, 6, 7, 8},
                                                         0xFFFEFDFCu,
                                                         0x05060708u}));

TEST(CaptureRecord, FrameLengthsAndTotal) {
    CXcfL2PM410Record record;
    record.setExtension(5, block({1, 2, 3, 4, 5}));
    record.setFrame(60, block(std::vector<uint8_t>(60, 0xAA)));
    EXPECT_EQ(record.getFrameStoredLength(), 60u);
    EXPECT_EQ(record.getFrameLength(), 60u);
    EXPECT_EQ(record.totalLength(), 65u);

    record.setFrameWithLengths(60, 64, block(std::vector<uint8_t>(60, 0xBB)));
    EXPECT_EQ(record.getFrameStoredLength(), 60u);
    EXPECT_EQ(record.getFrameLength(), 64u);
    EXPECT_EQ(record.totalLength(), 69u);
    EXPECT_EQ(record.getFrame()[59], 0xBB);
}

TEST(CaptureRecord, RefillHandsOutTheNewBlocks) {
    CXcfL2PM410MergedRecord record;
    record.setExtension(2, block({1, 2}));
    auto second = block({7, 8, 9});
    const uint8_t* secondRaw = second.get();
    record.setExtension(3, std::move(second));
    EXPECT_EQ(record.getExtension(), secondRaw);
    EXPECT_EQ(record.getExtensionLength(), 3u);
}

TEST(CaptureRecord, TimestampIsNormalisedOnlyInTheCopy) {
    CXcfCaptureRecord record;
    record.setTimestamp(1, static_cast<uint32_t>(-1));
    const CXcfTimestamp stamp = record.getTimestamp();
    EXPECT_EQ(stamp.getSeconds(), 0);
    EXPECT_EQ(stamp.getNanoseconds(), 999999999);
    EXPECT_EQ(record.getTimestampSeconds(), 1u);
    EXPECT_EQ(record.getTimestampNanoseconds(), 0xFFFFFFFFu);
}

}  // namespace
