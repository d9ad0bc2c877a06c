#include <gtest/gtest.h>

#include <cstring>

#include "WriterTestHelpers.h"
#include "record/CXcfCaptureRecord.h"

using namespace testsupport;
using namespace writertest;

namespace {

std::unique_ptr<uint8_t[]> block(const Bytes& bytes) {
    auto b = std::make_unique<uint8_t[]>(bytes.size());
    std::memcpy(b.get(), bytes.data(), bytes.size());
    return b;
}

Bytes slice(const Bytes& b, size_t offset, size_t length) {
    return Bytes(b.begin() + static_cast<long>(offset),
                 b.begin() + static_cast<long>(offset + length));
}

class RecordWriteTest : public ::testing::TestWithParam<Format> {
  protected:
    Format format = GetParam();
    TempDir dir;
    std::string out = dir.file("out.cap");
    std::unique_ptr<CXcfPmBinaryCaptureFileWriter> writer = makeWriter(format);

    // The closed file, with its index checked against the header.
    Bytes finish(uint32_t expectedRecords) {
        writer->close();
        EXPECT_FALSE(writer->hasFailed());
        EXPECT_FALSE(fileExists(out + ".idx"));
        Bytes b = readFile(out);
        EXPECT_EQ(be32At(b, 13), expectedRecords);
        EXPECT_EQ(be32At(b, 27), expectedRecords == 0 ? 0 : b.size() - 4 * expectedRecords);
        return b;
    }
    size_t recordAt(const Bytes& b, uint32_t n) { return be32At(b, be32At(b, 27) + 4 * (n - 1)); }
};

// The two records land at 34,000 and 34,100: the description is sized to put the data there.
TEST_P(RecordWriteTest, IndexSectionHoldsTheRecordOffsets) {
    const size_t fixedHeader = 33311 + 2 + writer->headerString.size() + 2 + 15 + 24;
    ASSERT_TRUE(writer->open(out, std::string(34000 - fixedHeader, 'd')));
    EXPECT_EQ(writer->offsetToData, 34000u);
    ASSERT_TRUE(writeData(*writer, format, {}, Bytes(100 - fieldsSize(format), 0x5A)));
    ASSERT_TRUE(writeData(*writer, format, {}, Bytes(7, 0x5B)));
    const Bytes b = finish(2);
    EXPECT_EQ(slice(b, b.size() - 8, 8), (Bytes{0x00, 0x00, 0x84, 0xD0, 0x00, 0x00, 0x85, 0x34}));
}

TEST_P(RecordWriteTest, RecordFieldsAndZeroLengthFrames) {
    ASSERT_TRUE(writer->open(out, "r"));
    RecordValues v{0x11223344, 0x55667788, 0xA5, 0x7E, 2, 0x01020304, 0x05060708};
    ASSERT_TRUE(writeData(*writer, format, v, {0xC1, 0xC2, 0xC3}));
    ASSERT_TRUE(writeData(*writer, format, RecordValues{1, 2}, {}));
    const Bytes b = finish(2);

    ByteBuilder expected;
    expected.u32(0x11223344).u32(0x55667788);
    if (format == Format::B4) {
        expected.u8(0xA5).u8(0x7E);  // port byte rebuilt from its parts, status byte
    }
    expected.u8(2).u32(0x01020304).u32(0x05060708).u8(0xC1).u8(0xC2).u8(0xC3);
    ASSERT_EQ(recordAt(b, 2) - recordAt(b, 1), fieldsSize(format) + 3);
    EXPECT_EQ(slice(b, recordAt(b, 1), expected.size()), expected.data());
    // An empty frame still gives a record of the fixed fields and an index entry.
    EXPECT_EQ(be32At(b, 27) - recordAt(b, 2), fieldsSize(format));
    EXPECT_EQ(be32At(b, recordAt(b, 2)), 1u);
}

// The record-object entries: the extension's first byte and next four bytes become the two
// extension words (missing bytes 0), a frame that claims more than it holds writes what it
// holds, and B4 drops bit 7 of the port byte.
TEST_P(RecordWriteTest, RecordObjectEntries) {
    ASSERT_TRUE(writer->open(out, "r"));
    CXcfCaptureRecord record;
    record.setTimestamp(7, 8);
    record.setPortByte(0xE5);
    record.setStatusByte(0x33);
    record.setLayer2Type(1);
    record.setExtension(3, block({0xAA, 0xBB, 0xCC}));
    record.setFrameWithLengths(2, 10, block({0xF1, 0xF2}));
    ASSERT_TRUE(writer->writeRecord(record));
    const uint8_t extension[6] = {0x01, 0x02, 0x03, 0x04, 0x05, 0x06};
    ASSERT_TRUE(writer->writeRecordFields(true, 0x85, 9, 10, 6, extension, 1, 1, extension));
    ASSERT_TRUE(writer->writeRecordFields(true, 0, 11, 12, 0, nullptr, 0, 0, nullptr));
    const Bytes b = finish(3);

    ByteBuilder first, second;
    first.u32(7).u32(8);
    second.u32(9).u32(10);
    if (format == Format::B4) {
        first.u8(0x65).u8(0);
        second.u8(0x05).u8(0);
    }
    first.u8(0).u32(0xAA).u32(0xBBCC0000).u8(0xF1).u8(0xF2);
    second.u8(0).u32(0x01).u32(0x02030405).u8(0x01);
    EXPECT_EQ(slice(b, recordAt(b, 1), first.size()), first.data());
    EXPECT_EQ(recordAt(b, 2), recordAt(b, 1) + first.size());
    EXPECT_EQ(slice(b, recordAt(b, 2), second.size()), second.data());
    EXPECT_EQ(recordAt(b, 3), recordAt(b, 2) + second.size());
}

// Setters between records rewrite their field at once and the records stay contiguous; a
// patch operation returns where the output stood, and a record written without moving back
// still goes to the end.
TEST_P(RecordWriteTest, PatchesBetweenRecordsKeepTheRecordStream) {
    ASSERT_TRUE(writer->open(out, "r"));
    ASSERT_TRUE(writeData(*writer, format, {}, Bytes(5, 1)));
    const uint64_t end = writer->offsetToData + fieldsSize(format) + 5;
    writer->setTriggerPacketNumber(99);
    writer->setSourceName(2, "ETH,2/3,Tx");
    EXPECT_EQ(writer->patchNumberOfRecords(), end);
    EXPECT_EQ(writer->patchCaptureStopTimestamp(), 17u) << "position after the number of records";
    ASSERT_TRUE(writeData(*writer, format, {}, Bytes(6, 2)));
    const Bytes b = finish(2);
    EXPECT_EQ(recordAt(b, 2), end);
    EXPECT_EQ(be32At(b, writer->offsetToData - 4), 99u);
    EXPECT_EQ(slice(b, 543 + 2 * 128, 12), (ByteBuilder().u16(10).text("ETH,2/3,Tx").data()));
    EXPECT_EQ(slice(b, recordAt(b, 2) + fieldsSize(format), 6), Bytes(6, 2));
}

TEST_P(RecordWriteTest, NullFrameWithLengthIsRefused) {
    ASSERT_TRUE(writer->open(out, "r"));
    ASSERT_TRUE(writeData(*writer, format, {}, Bytes()));
    const bool written = format == Format::B3
                             ? static_cast<CXcfPmB3CaptureFileWriter&>(*writer).writeRecordData(
                                   0, 0, 0, 0, 0, 4, nullptr)
                             : static_cast<CXcfPmB4CaptureFileWriter&>(*writer).writeRecordData(
                                   0, 0, 0, 0, 0, 0, 0, 0, 4, nullptr);
    EXPECT_FALSE(written);
    finish(1);
}

INSTANTIATE_TEST_SUITE_P(Formats, RecordWriteTest, ::testing::Values(Format::B3, Format::B4),
                         [](const auto& info) { return std::string(paramName(info.param)); });

}  // namespace
