#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "capfile/read/CXcfCaptureFileParserFactory.h"
#include "capfile/read/CXcfPmB3CaptureFileParser.h"
#include "capfile/read/CXcfPmB4CaptureFileParser.h"
#include "capfile/read/CXcfTcpdumpFileParser.h"
#include "record/CXcfCaptureRecord.h"
#include "support/TestSupport.h"

using testsupport::ByteBuilder;
using testsupport::Bytes;
using testsupport::TempDir;
using testsupport::writeFile;

namespace {

// A tester-family file with one variable-length record and its index. Only the
// container's shape matters here; the record is laid out so that a reader can read it.
Bytes testerFile(const std::string& code, const std::string& version, uint16_t recordType,
                 const Bytes& record) {
    ByteBuilder b;
    b.text("#MVCF:").text(code).text(version);
    b.u32(1).u32(0).u16(1);
    const size_t offsetToDataAt = b.size();
    b.u32(0).u32(0);
    b.u16(recordType).fill(510);
    const size_t tableStart = b.size();
    b.counted("POS,101/1,Rx").fill(32768 - (b.size() - tableStart));
    b.counted("#Test header\n").counted("#Description: factory\n");
    b.u16(1).u16(2).u16(3000).u16(1).u16(3).u16(4000).u32(5).u32(6).u32(0);
    const size_t dataStart = b.size();
    b.bytes(record);
    const size_t indexStart = b.size();
    b.u32(static_cast<uint32_t>(dataStart));
    b.put32At(offsetToDataAt, static_cast<uint32_t>(dataStart));
    b.put32At(offsetToDataAt + 4, static_cast<uint32_t>(indexStart));
    return b.data();
}

Bytes b3File() {
    // Version 01.01, record type 3: time, layer-2 byte, 8 extension bytes, frame.
    return testerFile("B3", "01.01", 3,
                      ByteBuilder().u32(10).u32(20).u8(2).fill(8, 0xAA).fill(13, 0x55).data());
}

Bytes b4File() {
    // Version 01.00, record type 4: time, port, status and layer-2 bytes, 8 extension
    // bytes, frame.
    return testerFile(
        "B4", "01.00", 4,
        ByteBuilder().u32(10).u32(20).u8(5).u8(0).u8(2).fill(8, 0xAA).fill(21, 0x55).data());
}

Bytes pcapFile() {
    return ByteBuilder()
        .le32(0xa1b2c3d4)
        .le16(2)
        .le16(4)
        .le32(0)
        .le32(0)
        .le32(65535)
        .le32(1)
        .data();
}

class ParserFactoryTest : public ::testing::Test {
  protected:
    std::string put(const std::string& name, const Bytes& bytes) {
        const std::string path = dir.file(name);
        writeFile(path, bytes);
        return path;
    }

    TempDir dir;
    CXcfCaptureFileParserFactory factory;
};

TEST_F(ParserFactoryTest, MissingFileGivesNoReader) {
    EXPECT_EQ(factory.createParser(dir.file("absent.cap")), nullptr);
    EXPECT_EQ(factory.lastErrorCode, 1);
    EXPECT_EQ(factory.errorMessage(), "File not found, already open or no read permission");
    EXPECT_EQ(factory.createParser(""), nullptr);
    EXPECT_EQ(factory.lastErrorCode, 1);
}

TEST_F(ParserFactoryTest, FolderIsNotAnOpenableFile) {
    EXPECT_EQ(factory.createParser(dir.path()), nullptr);
    EXPECT_EQ(factory.lastErrorCode, 1);
}

struct RefusedCase {
    const char* name;
    Bytes content;
    int32_t code;
};

class ParserFactoryRefusalTest : public ::testing::TestWithParam<RefusedCase> {};

// When no reader accepts a file, the tcpdump reader's refusal is the one reported, even
// where a tester-family reader refused with a different code.
TEST_P(ParserFactoryRefusalTest, KeepsCodeOfLastAttempt) {
    TempDir dir;
    const std::string path = dir.file("in.cap");
    writeFile(path, GetParam().content);
    CXcfCaptureFileParserFactory factory;
    EXPECT_EQ(factory.createParser(path), nullptr);
    EXPECT_EQ(factory.lastErrorCode, GetParam().code);
}

Bytes truncated(Bytes bytes, size_t length) {
    bytes.resize(length);
    return bytes;
}

INSTANTIATE_TEST_SUITE_P(
    Files, ParserFactoryRefusalTest,
    ::testing::Values(RefusedCase{"Empty", {}, 4},
                      RefusedCase{"Text",
                                  ByteBuilder().text("just some text\nand more of it\n").data(), 2},
                      // B3 refuses with 3 (header ends in the source name table), tcpdump with 2.
                      RefusedCase{"TruncatedB3", truncated(b3File(), 1000), 2},
                      // B3 and B4 refuse with 2 (no signature), tcpdump with 4 (short header).
                      RefusedCase{"ShortPcap", truncated(pcapFile(), 10), 4}),
    [](const auto& info) { return std::string(info.param.name); });

struct RecognisedCase {
    const char* name;
    Bytes (*content)();
    const char* formatCode;
};

class ParserFactoryRecognitionTest : public ::testing::TestWithParam<RecognisedCase> {};

TEST_P(ParserFactoryRecognitionTest, HandsBackOpenReaderOfTheFormat) {
    TempDir dir;
    const std::string path = dir.file("in.cap");
    writeFile(path, GetParam().content());
    CXcfCaptureFileParserFactory factory;
    std::unique_ptr<CXcfCaptureFileParser> parser = factory.createParser(path);
    ASSERT_NE(parser, nullptr) << factory.errorMessage();
    EXPECT_EQ(parser->getFormatCode(), GetParam().formatCode);
    EXPECT_EQ(parser->getFileName(), path);
    EXPECT_EQ(parser->lastErrorCode, 0);
    // The refusals of the readers tried before leave no trace.
    EXPECT_EQ(factory.lastErrorCode, 0);
}

INSTANTIATE_TEST_SUITE_P(Formats, ParserFactoryRecognitionTest,
                         ::testing::Values(RecognisedCase{"B3", b3File, "B3"},
                                           RecognisedCase{"B4", b4File, "B4"},
                                           RecognisedCase{"Tcpdump", pcapFile, "X1"}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(ParserFactoryTest, ReadersAreOfTheFormatsClass) {
    auto b3 = factory.createParser(put("a.cap", b3File()));
    auto b4 = factory.createParser(put("b.cap", b4File()));
    auto pcap = factory.createParser(put("c.pcap", pcapFile()));
    EXPECT_NE(dynamic_cast<CXcfPmB3CaptureFileParser*>(b3.get()), nullptr);
    EXPECT_NE(dynamic_cast<CXcfPmB4CaptureFileParser*>(b4.get()), nullptr);
    EXPECT_NE(dynamic_cast<CXcfTcpdumpFileParser*>(pcap.get()), nullptr);
}

TEST_F(ParserFactoryTest, WorksAgainAfterAFailure) {
    const std::string good = put("good.cap", b3File());
    EXPECT_EQ(factory.createParser(put("bad.cap", {})), nullptr);
    auto first = factory.createParser(good);
    auto second = factory.createParser(good);
    ASSERT_NE(first, nullptr);
    ASSERT_NE(second, nullptr);
    EXPECT_NE(first.get(), second.get());
    // Two readers on one file are independent of each other.
    CXcfCaptureRecord record;
    EXPECT_EQ(first->readNextRecord(record), 1u);
    EXPECT_EQ(second->readNextRecord(record), 1u);
    EXPECT_EQ(factory.getFileName(), good);
}

TEST(ParserFactoryLifetimeTest, ReaderOutlivesFactory) {
    TempDir dir;
    const std::string path = dir.file("in.cap");
    writeFile(path, b4File());
    std::unique_ptr<CXcfCaptureFileParser> parser;
    {
        CXcfCaptureFileParserFactory factory;
        parser = factory.createParser(path);
    }
    ASSERT_NE(parser, nullptr);
    CXcfCaptureRecord record;
    EXPECT_EQ(parser->readNextRecord(record), 1u);
    EXPECT_EQ(record.getFrameLength(), 21u);
    EXPECT_EQ(parser->readNextRecord(record), 0u);
}

TEST_F(ParserFactoryTest, TryFormatOneAttempt) {
    factory.setFileName(put("a.cap", b3File()));
    std::unique_ptr<CXcfCaptureFileParser> parser;

    EXPECT_FALSE(factory.tryFormat(CXcfCaptureFileCommon::kFormatTcpdump, parser));
    EXPECT_EQ(parser, nullptr);
    EXPECT_EQ(factory.lastErrorCode, 2);

    // An unknown type is not tried and leaves the pointer alone.
    ASSERT_TRUE(factory.tryFormat(CXcfCaptureFileCommon::kFormatB3, parser));
    CXcfCaptureFileParser* kept = parser.get();
    EXPECT_FALSE(factory.tryFormat(CXcfCaptureFileCommon::kFormatUnknown, parser));
    EXPECT_EQ(parser.get(), kept);
}

}  // namespace
