#include "WriterTestHelpers.h"
#include "capfile/write/CXcfPmB3CaptureFileWriter.h"
#include "capfile/write/CXcfPmB4CaptureFileWriter.h"
#include "record/CXcfCaptureRecord.h"

using namespace writertest;

namespace {

class RecordWriteTest : public ::testing::TestWithParam<Format> {
  protected:
    Format format = GetParam();
    TempDir dir;
    std::string out = dir.file("out.cap");
    std::unique_ptr<CXcfPmBinaryCaptureFileWriter> writer = makeWriter(format);

    // The closed file, its count and index placement checked.
    Bytes finish(uint32_t records) {
        writer->close();
        EXPECT_FALSE(writer->hasFailed());
        EXPECT_FALSE(fileExists(out + ".idx"));
        Bytes b = readFile(out);
        EXPECT_EQ(be32At(b, 13), records);
        EXPECT_EQ(be32At(b, 27), b.size() - layout::kIndexEntrySize * records);
        return b;
    }
    size_t recordAt(const Bytes& b, uint32_t n) {
        return be32At(b, be32At(b, 27) + layout::kIndexEntrySize * (n - 1));
    }
};

// The description is sized so that the two records land at 34,000 and 34,100.
TEST_P(RecordWriteTest, IndexSectionHoldsTheRecordOffsets) {
    const size_t fixedHeader = 33311 + 2 + writer->headerString.size() + 2 + 15 + 24;
    ASSERT_TRUE(writer->open(out, std::string(34000 - fixedHeader, 'd')));
    ASSERT_TRUE(writeData(*writer, format, {}, Bytes(100 - writtenFieldsSize(format), 0x5A)));
    ASSERT_TRUE(writeData(*writer, format, {}, Bytes(7, 0x5B)));
    const Bytes b = finish(2);
    EXPECT_EQ(slice(b, b.size() - 8, 8), (Bytes{0x00, 0x00, 0x84, 0xD0, 0x00, 0x00, 0x85, 0x34}));
}

TEST_P(RecordWriteTest, RecordFieldsAndZeroLengthFrames) {
    ASSERT_TRUE(writer->open(out, "r"));
    RecordValues v{0x11223344, 0x55667788, 0xA5, 0x7E, 2, 0x01020304, 0x05060708};
    ASSERT_TRUE(writeData(*writer, format, v, {0xC1, 0xC2, 0xC3}));
    ASSERT_TRUE(writeData(*writer, format, RecordValues{1, 2}, {}));
    // A length without frame bytes is refused.
    auto* b3 = dynamic_cast<CXcfPmB3CaptureFileWriter*>(writer.get());
    auto* b4 = dynamic_cast<CXcfPmB4CaptureFileWriter*>(writer.get());
    EXPECT_FALSE(b3 ? b3->writeRecordData(0, 0, 0, 0, 0, 4, nullptr)
                    : b4->writeRecordData(0, 0, 0, 0, 0, 0, 0, 0, 4, nullptr));
    const Bytes b = finish(2);

    ByteBuilder expected;  // the B4 port byte is rebuilt from its parts
    expected.u32(0x11223344)
        .u32(0x55667788)
        .bytes(format == Format::B4 ? Bytes{0xA5, 0x7E} : Bytes{});
    expected.u8(2).u32(0x01020304).u32(0x05060708).u8(0xC1).u8(0xC2).u8(0xC3);
    EXPECT_EQ(slice(b, recordAt(b, 1), expected.size()), expected.data());
    EXPECT_EQ(recordAt(b, 2) - recordAt(b, 1), expected.size());
    EXPECT_EQ(be32At(b, 27) - recordAt(b, 2), writtenFieldsSize(format)) << "empty frame";
    EXPECT_EQ(be32At(b, recordAt(b, 2)), 1u);
}

// Record-object entries: the first extension byte and the next four become the extension
// words (missing bytes 0), a frame claiming more than it holds writes what it holds, and B4
// drops bit 7 of the port byte.
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
    const uint8_t bytes[6] = {0x01, 0x02, 0x03, 0x04, 0x05, 0x06};
    ASSERT_TRUE(writer->writeRecordFields(true, 0x85, 9, 10, 6, bytes, 1, 1, bytes));
    const Bytes b = finish(2);

    const bool b4 = format == Format::B4;
    ByteBuilder expected;  // B4 port and status bytes only where the format has them
    expected.u32(7).u32(8).bytes(b4 ? Bytes{0x65, 0} : Bytes{}).u8(0).u32(0xAA).u32(0xBBCC0000);
    expected.u8(0xF1).u8(0xF2).u32(9).u32(10).bytes(b4 ? Bytes{0x05, 0} : Bytes{}).u8(0);
    expected.u32(0x01).u32(0x02030405).u8(0x01);
    EXPECT_EQ(slice(b, recordAt(b, 1), expected.size() + 8),
              ByteBuilder(expected).u32(recordAt(b, 1)).u32(recordAt(b, 2)).data());
}

// Setters between records rewrite their field at once; a patch operation returns where the
// output stood, and a record written without moving back still goes to the end.
TEST_P(RecordWriteTest, PatchesBetweenRecordsKeepTheRecordStream) {
    ASSERT_TRUE(writer->open(out, "r"));
    ASSERT_TRUE(writeData(*writer, format, {}, Bytes(5, 1)));
    const uint64_t end = writer->offsetToData + writtenFieldsSize(format) + 5;
    writer->setTriggerPacketNumber(99);
    writer->setSourceName(2, "ETH,2/3,Tx");
    EXPECT_EQ(writer->patchNumberOfRecords(), end);
    EXPECT_EQ(writer->patchCaptureStopTimestamp(), 17u) << "after the number of records";
    ASSERT_TRUE(writeData(*writer, format, {}, Bytes(6, 2)));
    const Bytes b = finish(2);
    EXPECT_EQ(recordAt(b, 2), end);
    EXPECT_EQ(be32At(b, writer->offsetToData - 4), 99u);
    EXPECT_EQ(slice(b, 543 + 2 * 128, 12), ByteBuilder().counted("ETH,2/3,Tx").data());
    EXPECT_EQ(slice(b, end + writtenFieldsSize(format), 6), Bytes(6, 2));
}

INSTANTIATE_FOR_BOTH_FORMATS(RecordWriteTest);

}  // namespace
