#include <gtest/gtest.h>

#include <string>

#include "capfile/read/CXcfTcpdumpFileParser.h"
#include "record/CXcfCaptureRecord.h"
#include "support/TestSupport.h"

using testsupport::ByteBuilder;
using testsupport::Bytes;
using testsupport::TempDir;
using testsupport::writeFile;

namespace {

struct PcapHeader {
    uint16_t major = 2;
    uint16_t minor = 4;
    int32_t zone = -3600;
    uint32_t sigFigs = 7;
    uint32_t snapLength = 65535;
    uint32_t network = 1;
};

// A global header in either byte order. The magic is written through the same byte order,
// so its bytes land in the file as a1 b2 c3 d4 (big-endian) or d4 c3 b2 a1 (little-endian).
Bytes pcapHeader(bool bigEndian, const PcapHeader& h = {}) {
    ByteBuilder b;
    auto put16 = [&](uint32_t v) { bigEndian ? b.u16(v) : b.le16(v); };
    auto put32 = [&](uint32_t v) { bigEndian ? b.u32(v) : b.le32(v); };
    put32(0xa1b2c3d4);
    put16(h.major);
    put16(h.minor);
    put32(static_cast<uint32_t>(h.zone));
    put32(h.sigFigs);
    put32(h.snapLength);
    put32(h.network);
    return b.data();
}

struct ByteOrderCase {
    const char* name;
    bool bigEndian;
    const char* signature;
};

class TcpdumpByteOrderTest : public ::testing::TestWithParam<ByteOrderCase> {};

TEST_P(TcpdumpByteOrderTest, ReadsGlobalHeaderInFileByteOrder) {
    TempDir dir;
    const std::string path = dir.file("t.pcap");
    Bytes bytes = pcapHeader(GetParam().bigEndian);
    bytes.resize(bytes.size() + 40, 0xEE);  // a packet record that must be ignored
    writeFile(path, bytes);

    CXcfTcpdumpFileParser parser;
    ASSERT_TRUE(parser.open(path)) << parser.errorMessage();
    EXPECT_EQ(parser.lastErrorCode, 0);
    EXPECT_EQ(parser.signature, GetParam().signature);
    EXPECT_EQ(parser.swapBytes, GetParam().bigEndian);
    EXPECT_EQ(parser.pcapVersionMajor, 2);
    EXPECT_EQ(parser.pcapVersionMinor, 4);
    EXPECT_EQ(parser.versionMajor, 2u);
    EXPECT_EQ(parser.versionMinor, 4u);
    EXPECT_EQ(parser.thisZone, -3600);
    EXPECT_EQ(parser.sigFigs, 7u);
    EXPECT_EQ(parser.snapLength, 65535u);
    EXPECT_EQ(parser.network, 1u);
    EXPECT_EQ(parser.fileSize, 64);
    EXPECT_EQ(parser.offsetToData, 24u);
}

INSTANTIATE_TEST_SUITE_P(Orders, TcpdumpByteOrderTest,
                         ::testing::Values(ByteOrderCase{"BigEndian", true, "0xa1b2c3d4"},
                                           ByteOrderCase{"LittleEndian", false, "0xd4c3b2a1"}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(TcpdumpFileParserTest, ReopeningSwitchesByteOrder) {
    TempDir dir;
    PcapHeader big;
    big.network = 0x01020304;
    writeFile(dir.file("be.pcap"), pcapHeader(true, big));
    writeFile(dir.file("le.pcap"), pcapHeader(false));

    CXcfTcpdumpFileParser parser;
    ASSERT_TRUE(parser.open(dir.file("be.pcap")));
    EXPECT_EQ(parser.network, 0x01020304u);
    ASSERT_TRUE(parser.open(dir.file("le.pcap")));
    EXPECT_FALSE(parser.swapBytes);
    EXPECT_EQ(parser.signature, "0xd4c3b2a1");
    EXPECT_EQ(parser.network, 1u);
    EXPECT_EQ(parser.getFileName(), dir.file("le.pcap"));
}

struct RefusalCase {
    const char* name;
    Bytes content;
    int32_t code;
};

class TcpdumpRefusalTest : public ::testing::TestWithParam<RefusalCase> {};

TEST_P(TcpdumpRefusalTest, RefusesWithCode) {
    TempDir dir;
    const std::string path = dir.file("bad");
    writeFile(path, GetParam().content);

    CXcfTcpdumpFileParser parser;
    EXPECT_FALSE(parser.open(path));
    EXPECT_EQ(parser.lastErrorCode, GetParam().code);
    CXcfCaptureRecord record;
    EXPECT_EQ(parser.readNextRecord(record), 0u);
}

Bytes truncatedHeader(size_t length) {
    Bytes b = pcapHeader(false);
    b.resize(length);
    return b;
}

INSTANTIATE_TEST_SUITE_P(
    Files, TcpdumpRefusalTest,
    ::testing::Values(
        RefusalCase{"Empty", {}, 4}, RefusalCase{"ThreeBytes", {0xa1, 0xb2, 0xc3}, 4},
        RefusalCase{"TenBytesValidMagic", truncatedHeader(10), 4},
        RefusalCase{"OneByteShortOfHeader", truncatedHeader(23), 4},
        RefusalCase{"TesterFamilyPrefix", ByteBuilder().text("#MVCF:B301.01").fill(40).data(), 2},
        RefusalCase{"MagicWithMixedByteOrder", ByteBuilder().u32(0xa1b2d4c3).fill(20).data(), 2}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(TcpdumpFileParserTest, MissingFileAndFolderCannotBeOpened) {
    TempDir dir;
    CXcfTcpdumpFileParser parser;
    EXPECT_FALSE(parser.open(dir.file("absent.pcap")));
    EXPECT_EQ(parser.lastErrorCode, 1);
    EXPECT_FALSE(parser.open(dir.path()));
    EXPECT_EQ(parser.lastErrorCode, 1);
}

TEST(TcpdumpFileParserTest, ReportShowsHeaderAndNoRecords) {
    TempDir dir;
    const std::string path = dir.file("t.pcap");
    writeFile(path, pcapHeader(true));

    CXcfTcpdumpFileParser parser;
    ASSERT_TRUE(parser.open(path));
    const std::string report = parser.report();
    EXPECT_NE(report.find("Signature          : 0xa1b2c3d4\n"), std::string::npos) << report;
    EXPECT_NE(report.find("Format code        : X1\n"), std::string::npos) << report;
    EXPECT_NE(report.find("Version            : 02.04\n"), std::string::npos) << report;
    EXPECT_NE(report.find("Number of records  : 0\n"), std::string::npos) << report;
    EXPECT_NE(report.find("Offset to Data     : 24 (0x00000018)\n"), std::string::npos) << report;
}

TEST(TcpdumpFileParserTest, YieldsNoRecordsAndSetsNoCode) {
    TempDir dir;
    const std::string path = dir.file("t.pcap");
    Bytes bytes = pcapHeader(false);
    bytes.resize(200, 0x11);
    writeFile(path, bytes);

    CXcfTcpdumpFileParser parser;
    ASSERT_TRUE(parser.open(path));
    CXcfCaptureRecord record;
    EXPECT_EQ(parser.readNextRecord(record), 0u);
    EXPECT_FALSE(parser.readRecord(1, record));
    EXPECT_EQ(parser.lastErrorCode, 0);
    EXPECT_EQ(record.getFrameLength(), 0u);
    uint32_t offset = 99;
    EXPECT_FALSE(parser.lookupRecordOffset(1, offset));
    EXPECT_FALSE(parser.readHeader());
}

TEST(TcpdumpFileParserTest, CloseKeepsFormatCode) {
    TempDir dir;
    const std::string path = dir.file("t.pcap");
    writeFile(path, pcapHeader(true));

    CXcfTcpdumpFileParser parser;
    EXPECT_EQ(parser.getFormatCode(), "X1");
    EXPECT_EQ(parser.offsetToData, 24u);
    ASSERT_TRUE(parser.open(path));
    parser.close();
    EXPECT_EQ(parser.getFormatCode(), "X1");
    EXPECT_EQ(parser.offsetToData, 0u);
    EXPECT_TRUE(parser.getFileName().empty());
}

}  // namespace
