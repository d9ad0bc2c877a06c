#include <gtest/gtest.h>

#include <ostream>
#include <string>

#include "capfile/read/CXcfTcpdumpFileParser.h"
#include "record/CXcfCaptureRecord.h"
#include "support/TestSupport.h"

using testsupport::ByteBuilder;
using testsupport::Bytes;

namespace {

// Global header of version 2.4, thiszone -3600, sigfigs 7, snaplen 65535, network 1. The
// magic goes through the same byte order, so its bytes read a1 b2 c3 d4 or d4 c3 b2 a1.
Bytes pcapHeader(bool bigEndian) {
    ByteBuilder b;
    auto put16 = [&](uint32_t v) { bigEndian ? b.u16(v) : b.le16(v); };
    auto put32 = [&](uint32_t v) { bigEndian ? b.u32(v) : b.le32(v); };
    put32(0xa1b2c3d4);
    put16(2);
    put16(4);
    put32(static_cast<uint32_t>(-3600));
    put32(7);
    put32(65535);
    put32(1);
    return b.data();
}

class TcpdumpByteOrderTest : public ::testing::TestWithParam<bool> {};

TEST_P(TcpdumpByteOrderTest, ReadsGlobalHeaderAndYieldsNoRecords) {
    testsupport::TempDir dir;
    const std::string path = dir.file("t.pcap");
    Bytes bytes = pcapHeader(GetParam());
    bytes.resize(64, 0xEE);  // a packet record, never read
    testsupport::writeFile(path, bytes);

    CXcfTcpdumpFileParser parser;
    ASSERT_TRUE(parser.open(path)) << parser.errorMessage();
    EXPECT_EQ(parser.signature, GetParam() ? "0xa1b2c3d4" : "0xd4c3b2a1");
    EXPECT_EQ(parser.swapBytes, GetParam());
    EXPECT_EQ(parser.versionMajor, 2u);
    EXPECT_EQ(parser.versionMinor, 4u);
    EXPECT_EQ(parser.pcapVersionMinor, 4);
    EXPECT_EQ(parser.thisZone, -3600);
    EXPECT_EQ(parser.sigFigs, 7u);
    EXPECT_EQ(parser.snapLength, 65535u);
    EXPECT_EQ(parser.network, 1u);
    EXPECT_EQ(parser.fileSize, 64);

    const std::string report = parser.report();
    for (const char* line :
         {"Format code        : X1\n", "Version            : 02.04\n", "Number of records  : 0\n",
          "Offset to Data     : 24 (0x00000018)\n"}) {
        EXPECT_NE(report.find(line), std::string::npos) << line << report;
    }

    CXcfCaptureRecord record;
    EXPECT_EQ(parser.readNextRecord(record), 0u);
    EXPECT_EQ(parser.lastErrorCode, 0);
}

INSTANTIATE_TEST_SUITE_P(Orders, TcpdumpByteOrderTest, ::testing::Values(true, false),
                         [](const auto& info) { return info.param ? "Big" : "Little"; });

struct RefusalCase {
    const char* name;
    Bytes content;
    int32_t code;
};

void PrintTo(const RefusalCase& c, std::ostream* os) {
    *os << c.name;
}

class TcpdumpRefusalTest : public ::testing::TestWithParam<RefusalCase> {};

TEST_P(TcpdumpRefusalTest, RefusesWithCode) {
    testsupport::TempDir dir;
    testsupport::writeFile(dir.file("bad"), GetParam().content);
    CXcfTcpdumpFileParser parser;
    EXPECT_FALSE(parser.open(dir.file("bad")));
    EXPECT_EQ(parser.lastErrorCode, GetParam().code);
}

Bytes truncatedHeader(size_t length) {
    Bytes b = pcapHeader(false);
    b.resize(length);
    return b;
}

INSTANTIATE_TEST_SUITE_P(
    Files, TcpdumpRefusalTest,
    ::testing::Values(RefusalCase{"Empty", {}, 4}, RefusalCase{"ThreeBytes", {0xa1, 0xb2, 0xc3}, 4},
                      RefusalCase{"TenBytesValidMagic", truncatedHeader(10), 4},
                      RefusalCase{"OneByteShort", truncatedHeader(23), 4},
                      RefusalCase{"TesterPrefix",
                                  ByteBuilder().text("#MVCF:B301.01").fill(40).data(), 2},
                      RefusalCase{"MixedMagic", ByteBuilder().u32(0xa1b2d4c3).fill(20).data(), 2}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(TcpdumpFileParserTest, MissingFileAndFolderCannotBeOpened) {
    testsupport::TempDir dir;
    CXcfTcpdumpFileParser parser;
    EXPECT_FALSE(parser.open(dir.file("absent.pcap")));
    EXPECT_EQ(parser.lastErrorCode, 1);
    EXPECT_FALSE(parser.open(dir.path()));
    EXPECT_EQ(parser.lastErrorCode, 1);
}

}  // namespace
