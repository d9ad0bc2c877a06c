#include <tuple>

#include "PmReaderFixture.h"

using namespace pmreader;

namespace {

class B3Reader : public testing::Test {
  protected:
    bool open(const CaptureFileBuilder& b) {
        b.writeTo(path);
        return reader.open(path);
    }
    TempDir dir;
    std::string path = dir.file("b3.cap");
    CaptureFileBuilder builder;
    CXcfPmB3CaptureFileParser reader;
    CXcfCaptureRecord record;
};

// Version 1.0 records have no layer-2 byte; later versions do. The record type sets the
// extension size.
class B3RecordLayout : public B3Reader,
                       public testing::WithParamInterface<std::tuple<std::string, uint16_t>> {};

TEST_P(B3RecordLayout, ReadsFieldsExtensionAndFrame) {
    const auto [version, type] = GetParam();
    const bool version10 = version == "01.00";
    const size_t extension = xcf::layout::kB3ExtensionSize.at(type);
    builder.versionText = version;
    builder.recordType = type;
    const std::optional<uint8_t> layer2 = version10 ? std::nullopt : std::optional<uint8_t>(1);
    builder.records = {CaptureFileBuilder::b3Record(5, 6, layer2, Bytes(extension, 0xEE),
                                                    CaptureFileBuilder::pattern(13, 0x40)),
                       CaptureFileBuilder::b3Record(7, 8, layer2, Bytes(extension, 0xEE),
                                                    CaptureFileBuilder::pattern(1))};
    ASSERT_TRUE(open(builder));
    ASSERT_TRUE(reader.readRecord(1, record)) << reader.lastErrorCode;
    EXPECT_EQ(record.getTimestampSeconds(), 5u);
    EXPECT_EQ(record.getTimestampNanoseconds(), 6u);
    EXPECT_EQ(record.getLayer2Type(), version10 ? 0 : 1);
    EXPECT_EQ(record.getRecordType(), type);
    EXPECT_TRUE(record.isFrameGood());
    EXPECT_EQ(record.getPortByte(), 0);
    ASSERT_EQ(record.getExtensionLength(), extension);
    EXPECT_EQ(Bytes(record.getExtension(), record.getExtension() + extension),
              Bytes(extension, 0xEE));
    ASSERT_EQ(record.getFrameLength(), 13u);
    EXPECT_EQ(Bytes(record.getFrame(), record.getFrame() + 13),
              CaptureFileBuilder::pattern(13, 0x40));
    ASSERT_TRUE(reader.readRecord(2, record));
    EXPECT_EQ(record.getFrameLength(), 1u);
}

INSTANTIATE_TEST_SUITE_P(VersionsAndTypes, B3RecordLayout,
                         testing::Combine(testing::Values("01.00", "01.01"),
                                          testing::Values(0, 1, 2, 3)));

// The name of source 0 gives the port fields and, in version 1.0 files, the layer-2 type of
// every record.
TEST_F(B3Reader, PortDescriptionComesFromSourceZero) {
    struct Case {
        const char* version;
        const char* name;
        const char* type;
        const char* id;
        const char* direction;
        uint8_t layer2;
    };
    for (const Case& c : {
             Case{"01.00", "POS 1A Rx CRV_LAYER2_GBE", "POS", "1A", "Rx", 2},
             Case{"01.00", "ETH,2/3, Tx ,CRV_LAYER2_POS_CISCO_HDLC", "ETH", "2/3", "Tx", 1},
             Case{"01.00", "GBE 4B", "GBE", "4B", "Rx", 0},
             Case{"01.00", "Unknown CRV_LAYER2_GBE", "POS", "1A", "Rx", 0},
             Case{"01.00", "", "POS", "1A", "Rx", 0},
             Case{"01.01", "POS 1A Rx CRV_LAYER2_GBE", "POS", "1A", "Rx", 1},
         }) {
        SCOPED_TRACE(std::string(c.version) + " '" + c.name + "'");
        builder.versionText = c.version;
        builder.sourceNames[0] = c.name;
        const bool version10 = std::string(c.version) == "01.00";
        const std::optional<uint8_t> layer2 = version10 ? std::nullopt : std::optional<uint8_t>(1);
        builder.records = {CaptureFileBuilder::b3Record(1, 0, layer2, kZeroWords, Bytes(4)),
                           CaptureFileBuilder::b3Record(2, 0, layer2, kZeroWords, Bytes(4))};
        ASSERT_TRUE(open(builder));
        for (uint32_t k = 1; k <= 2; ++k) {
            ASSERT_TRUE(reader.readRecord(k, record)) << "record " << k;
            EXPECT_EQ(record.getLayer2Type(), c.layer2) << "record " << k;
        }
        std::string type, id, direction;
        EXPECT_TRUE(reader.getPortDescription(0, type, id, direction));
        EXPECT_EQ(type + "|" + id + "|" + direction,
                  std::string(c.type) + "|" + c.id + "|" + c.direction);
        std::string name;
        EXPECT_TRUE(reader.getRecordSourceName(99, name));
        EXPECT_EQ(name, c.name);
    }
}

}  // namespace
