#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <tuple>

#include "capfile/read/CXcfTcpdumpFileParser.h"
#include "record/CXcfCaptureRecord.h"
#include "support/TestSupport.h"

using namespace testsupport;

namespace {

// Byte order, and the nanosecond magic (a1b23c4d, as trc2pcap writes it) or the microsecond one.
class TcpdumpByteOrderTest : public ::testing::TestWithParam<std::tuple<bool, bool>> {};

TEST_P(TcpdumpByteOrderTest, ReadsGlobalHeaderAndYieldsNoRecords) {
    const auto [bigEndian, nanoseconds] = GetParam();
    TempDir dir;
    const std::string path = dir.file("t.pcap");
    Bytes bytes = pcapHeader(bigEndian);
    if (nanoseconds) {
        putAt(bytes, bigEndian ? 2 : 0, 2, bigEndian ? 0x3c4d : 0x4d3c);
    }
    bytes.resize(64, 0xEE);  // a packet record, never read
    writeFile(path, bytes);

    CXcfTcpdumpFileParser parser;
    ASSERT_TRUE(parser.open(path)) << parser.errorMessage();
    const char* signatures[2][2] = {{"0xd4c3b2a1", "0x4d3cb2a1"}, {"0xa1b2c3d4", "0xa1b23c4d"}};
    EXPECT_EQ(parser.signature, signatures[bigEndian][nanoseconds]);
    EXPECT_EQ(parser.swapBytes, bigEndian);
    EXPECT_EQ(parser.nanoseconds, nanoseconds);
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

INSTANTIATE_TEST_SUITE_P(Orders, TcpdumpByteOrderTest,
                         ::testing::Combine(::testing::Bool(), ::testing::Bool()),
                         [](const auto& info) {
                             return std::string(std::get<0>(info.param) ? "Big" : "Little") +
                                    (std::get<1>(info.param) ? "Nanoseconds" : "");
                         });

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
    TempDir dir;
    writeFile(dir.file("bad"), GetParam().content);
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
    ::testing::PrintToStringParamName());

TEST(TcpdumpFileParserTest, MissingFileAndFolderCannotBeOpened) {
    TempDir dir;
    CXcfTcpdumpFileParser parser;
    EXPECT_FALSE(parser.open(dir.file("absent.pcap")));
    EXPECT_EQ(parser.lastErrorCode, 1);
    EXPECT_FALSE(parser.open(dir.path()));
    EXPECT_EQ(parser.lastErrorCode, 1);
}

}  // namespace
