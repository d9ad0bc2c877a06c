#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cerrno>
#include <initializer_list>
#include <memory>
#include <ostream>
#include <string>

#include "capfile/read/CXcfCaptureFileParserFactory.h"
#include "capfile/read/CXcfPmB3CaptureFileParser.h"
#include "capfile/read/CXcfPmB4CaptureFileParser.h"
#include "capfile/read/CXcfTcpdumpFileParser.h"
#include "record/CXcfCaptureRecord.h"
#include "support/CaptureFileBuilder.h"
#include "support/TestSupport.h"

using namespace testsupport;

namespace {

// One variable-length record and its index, so that the reader handed back can be read.
Bytes b3File() {
    CaptureFileBuilder b;
    b.sourceNames[0] = "POS,1A,Rx";
    b.records.push_back(CaptureFileBuilder::b3Record(10, 20, 2, kZeroWords, Bytes(13)));
    return b.build();
}

Bytes b4File() {
    CaptureFileBuilder b = CaptureFileBuilder::b4();
    b.records.push_back(CaptureFileBuilder::b4Record(10, 20, 5, 0, 2, kZeroWords, Bytes(21)));
    return b.build();
}

Bytes truncated(Bytes bytes, size_t length) {
    bytes.resize(length);
    return bytes;
}

class ParserFactoryTest : public ::testing::Test {
  protected:
    std::string put(const std::string& name, const Bytes& bytes) {
        writeFile(dir.file(name), bytes);
        return dir.file(name);
    }

    TempDir dir;
    CXcfCaptureFileParserFactory factory;
};

TEST_F(ParserFactoryTest, UnopenableNamesGiveNoReader) {
    for (const std::string& name : {dir.file("absent.cap"), std::string(), dir.path()}) {
        SCOPED_TRACE(name);
        EXPECT_EQ(factory.createParser(name), nullptr);
        EXPECT_EQ(factory.errorMessage(), "File not found, already open or no read permission");
    }
}

struct FileCase {
    const char* name;
    Bytes content;
    int32_t code;            // of the refusal, when formatCode is empty
    const char* formatCode;  // of the reader handed back
};

void PrintTo(const FileCase& c, std::ostream* os) {
    *os << c.name;
}

class ParserFactoryFileTest : public ::testing::TestWithParam<FileCase> {};

// A refusal by every reader leaves the tcpdump reader's code, even where a tester-family
// reader refused for another reason; an acceptance leaves no trace of earlier refusals.
TEST_P(ParserFactoryFileTest, RecognisesOrRefuses) {
    TempDir dir;
    const std::string path = dir.file("in.cap");
    writeFile(path, GetParam().content);
    CXcfCaptureFileParserFactory factory;
    std::unique_ptr<CXcfCaptureFileParser> parser = factory.createParser(path);
    if (std::string(GetParam().formatCode).empty()) {
        EXPECT_EQ(parser, nullptr);
        EXPECT_EQ(factory.lastErrorCode, GetParam().code);
        return;
    }
    ASSERT_NE(parser, nullptr) << factory.errorMessage();
    EXPECT_EQ(parser->getFormatCode(), GetParam().formatCode);
    EXPECT_EQ(parser->getFileName(), path);
    EXPECT_EQ(factory.lastErrorCode, 0);
}

INSTANTIATE_TEST_SUITE_P(
    Files, ParserFactoryFileTest,
    ::testing::Values(
        FileCase{"Empty", {}, 4, ""},
        FileCase{"Text", ByteBuilder().text("just some text\nand more\n").data(), 2, ""},
        FileCase{"TruncatedB3", truncated(b3File(), 1000), 2, ""},       // B3 alone says 3
        FileCase{"ShortPcap", truncated(pcapHeader(false), 10), 4, ""},  // B3 and B4 say 2
        FileCase{"B3", b3File(), 0, "B3"}, FileCase{"B4", b4File(), 0, "B4"},
        FileCase{"Tcpdump", pcapHeader(false), 0, "X1"}),
    ::testing::PrintToStringParamName());

TEST_F(ParserFactoryTest, ServesSeveralCallsAndReadersOutliveIt) {
    const std::string good = put("good.cap", b4File());
    EXPECT_EQ(factory.createParser(put("bad.cap", {})), nullptr);
    auto first = factory.createParser(good);
    std::unique_ptr<CXcfCaptureFileParser> second;
    {
        CXcfCaptureFileParserFactory shortLived;
        second = shortLived.createParser(good);
    }
    ASSERT_NE(first, nullptr);
    ASSERT_NE(second, nullptr);
    CXcfCaptureRecord record;
    EXPECT_EQ(first->readNextRecord(record), 1u);
    EXPECT_EQ(second->readNextRecord(record), 1u);
    EXPECT_EQ(record.getFrameLength(), 21u);
    EXPECT_EQ(second->readNextRecord(record), 0u);
}

TEST_F(ParserFactoryTest, TryFormatIsOneAttempt) {
    factory.setFileName(put("a.cap", b3File()));
    std::unique_ptr<CXcfCaptureFileParser> parser;
    EXPECT_FALSE(factory.tryFormat(CXcfCaptureFileCommon::kFormatTcpdump, parser));
    EXPECT_EQ(parser, nullptr);
    EXPECT_EQ(factory.lastErrorCode, 2);
    ASSERT_TRUE(factory.tryFormat(CXcfCaptureFileCommon::kFormatB3, parser));
    CXcfCaptureFileParser* kept = parser.get();
    EXPECT_FALSE(factory.tryFormat(CXcfCaptureFileCommon::kFormatUnknown, parser));
    EXPECT_EQ(parser.get(), kept);
}

}  // namespace

namespace {

// What cannot be read at random, or not at all, is refused with a code and the system's
// cause, never with an exception or a read that blocks.
TEST(UnreadableInputTest, ReadersAndTheFactoryRefuseWithACodeAndTheCause) {
    TempDir dir;
    const std::string fifo = dir.file("fifo");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0644), 0);
    struct Case {
        std::string name;
        int32_t code;         // of each reader, and of the factory
        int32_t systemError;  // of the factory
    };
    for (const Case& c :
         {Case{dir.path(), 1, EISDIR}, Case{fifo, 1, 0}, Case{"/proc/self/mem", 4, EIO}}) {
        SCOPED_TRACE(c.name);
        CXcfCaptureFileParserFactory factory;
        EXPECT_EQ(factory.createParser(c.name), nullptr);
        EXPECT_EQ(factory.lastErrorCode, c.code);
        if (c.systemError != 0) {
            EXPECT_EQ(factory.systemError(), c.systemError);
        }
        CXcfPmB3CaptureFileParser b3;
        CXcfPmB4CaptureFileParser b4;
        CXcfTcpdumpFileParser tcpdump;
        for (CXcfCaptureFileParser* reader :
             std::initializer_list<CXcfCaptureFileParser*>{&b3, &b4, &tcpdump}) {
            EXPECT_FALSE(reader->open(c.name));
            EXPECT_EQ(reader->lastErrorCode, c.code);
        }
    }
}

}  // namespace
