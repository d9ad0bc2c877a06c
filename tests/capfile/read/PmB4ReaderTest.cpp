#include "PmReaderFixture.h"

using namespace pmreader;

namespace {

class B4Reader : public testing::Test {
  protected:
    bool open() {
        builder.writeTo(path);
        return reader.open(path);
    }
    TempDir dir;
    std::string path = dir.file("b4.cap");
    CaptureFileBuilder builder = CaptureFileBuilder::b4();
    CXcfPmB4CaptureFileParser reader;
    CXcfCaptureRecord record;
};

TEST_F(B4Reader, ReadsPortStatusAndLayer2Bytes) {
    const Bytes extension = CaptureFileBuilder::pattern(xcf::layout::kExtensionWordsSize, 0xA0);
    const Bytes frame = CaptureFileBuilder::pattern(21, 0x30);
    builder.records = {CaptureFileBuilder::b4Record(9, 10, 0x85, 0x33, 2, extension, frame),
                       CaptureFileBuilder::b4Record(11, 12, 0x05, 0, 0, extension, Bytes(1))};
    ASSERT_TRUE(open());
    ASSERT_EQ(builder.records[0].size(), 40u);
    ASSERT_TRUE(reader.readRecord(1, record));
    EXPECT_EQ(record.getTimestampSeconds(), 9u);
    EXPECT_EQ(record.getTimestampNanoseconds(), 10u);
    EXPECT_FALSE(record.isFrameGood());
    EXPECT_EQ(record.getPortByte(), 0x85);
    EXPECT_EQ(record.getStatusByte(), 0x33);
    EXPECT_EQ(record.getLayer2Type(), 2);
    EXPECT_EQ(record.getRecordType(), 4);
    EXPECT_EQ(Bytes(record.getExtension(), record.getExtension() + extension.size()), extension);
    ASSERT_EQ(record.getFrameLength(), 21u);
    EXPECT_EQ(Bytes(record.getFrame(), record.getFrame() + 21), frame);
    ASSERT_TRUE(reader.readRecord(2, record));
    EXPECT_TRUE(record.isFrameGood());
    EXPECT_EQ(record.getPortByte(), 0x05);
}

TEST_F(B4Reader, OtherVersionsOpenButHaveNoRecordLayout) {
    builder.versionText = "01.01";
    builder.records = {CaptureFileBuilder::b4Record(1, 0, 0, 0, 0, kZeroWords, Bytes(4))};
    ASSERT_TRUE(open());
    EXPECT_NE(reader.report().find("Version            : 01.01\n"), std::string::npos);
    EXPECT_FALSE(reader.readRecord(1, record));
    EXPECT_EQ(reader.lastErrorCode, 4);
}

// The port description names the source of the record asked for, through its port byte.
TEST_F(B4Reader, PortDescriptionOfTheRecordsSource) {
    builder.sourceNames = {{1, "ETH,2/3"}, {2, ",,P,,Q,R,S"}, {3, "Unknown,X,Y"}};
    for (uint8_t port = 1; port <= 3; ++port) {
        builder.records.push_back(
            CaptureFileBuilder::b4Record(port, 0, port, 0, 0, kZeroWords, Bytes(4)));
    }
    ASSERT_TRUE(open());
    struct Case {
        uint32_t recordNumber;
        bool found;
        const char* expected;
    };
    for (const Case& c :
         {Case{0, false, "POS|101/1|Rx"}, Case{1, true, "ETH|2/3|Rx"}, Case{2, true, "P|Q|R"},
          Case{3, true, "POS|101/1|Rx"}, Case{4, false, "POS|101/1|Rx"}}) {
        SCOPED_TRACE("record " + std::to_string(c.recordNumber));
        std::string type = "x", id = "x", direction = "x";
        EXPECT_EQ(reader.getPortDescription(c.recordNumber, type, id, direction), c.found);
        EXPECT_EQ(type + "|" + id + "|" + direction, c.expected);
    }
    ASSERT_TRUE(reader.readRecord(2, record));
    std::string name;
    EXPECT_TRUE(reader.sourceNameOfRecord(record, name));
    EXPECT_EQ(name, ",,P,,Q,R,S");
}

}  // namespace
