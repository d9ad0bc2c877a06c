// What a B3 or B4 writer does with its files when they cannot be made, fill a disk, or lose
// their side index file, and the counted strings and numbers it writes to any stream.
#include <sys/mount.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <sstream>

#include "WriterTestHelpers.h"

using namespace writertest;

namespace {

class WriterLifecycleTest : public ::testing::TestWithParam<Format> {
  protected:
    Format format = GetParam();
    TempDir dir;
    std::string out = dir.file("out.cap");
    std::unique_ptr<CXcfPmBinaryCaptureFileWriter> writer = makeWriter(format);
};

// An output that cannot be created leaves no side index file and touches nothing there.
TEST_P(WriterLifecycleTest, RefusedOutputLeavesWhatWasThere) {
    writeFile(out, Bytes(3, 7));
    std::filesystem::create_directory(dir.file("folder"));
    writer->setCreateExclusively(true);
    EXPECT_FALSE(writer->open(out, "x"));
    EXPECT_EQ(writer->systemError(), EEXIST);
    EXPECT_EQ(readFile(out), Bytes(3, 7));
    EXPECT_FALSE(fileExists(out + ".idx"));
    writer->setCreateExclusively(false);
    EXPECT_FALSE(writer->open(dir.file("folder"), "x"));
    EXPECT_EQ(writer->systemError(), EISDIR);
    EXPECT_FALSE(fileExists(dir.file("folder.idx")));
    // A side index file already there is never the writer's own: it stays as it was.
    writeFile(out + ".idx", Bytes(2, 9));
    EXPECT_FALSE(writer->open(out, "x"));
    EXPECT_EQ(writer->systemError(), EEXIST);
    EXPECT_EQ(readFile(out + ".idx"), Bytes(2, 9));
    EXPECT_EQ(readFile(out), Bytes(3, 7));
}

// The index is read back from the side index file at close: gone or short, the file cannot
// be trusted, and the detail says why.
TEST_P(WriterLifecycleTest, LostOrShortSideIndexFileFailsTheClose) {
    for (const bool replaced : {false, true}) {
        SCOPED_TRACE(replaced ? "replaced by a short file" : "removed");
        ASSERT_TRUE(writer->open(out, "x"));
        for (uint32_t i = 0; i < 3; ++i) {
            ASSERT_TRUE(writeData(*writer, format, {i}, Bytes(10, 1)));
        }
        std::filesystem::remove(out + ".idx");
        if (replaced) {
            writeFile(out + ".idx", Bytes(4, 0));
        }
        writer->close();
        EXPECT_TRUE(writer->hasFailed());
        EXPECT_EQ(writer->lastErrorCode, 5);
        EXPECT_EQ(writer->lastErrorDetail(),
                  replaced ? "the side index file '" + out +
                                 ".idx' holds 1 entries of the 3 records written"
                           : "the side index file '" + out +
                                 ".idx' cannot be read back: No such file or directory");
        std::filesystem::remove(out);
        std::filesystem::remove(out + ".idx");
    }
}

// A full disk fails the writer for good with its cause, in the header (a description larger
// than the first block) or on the record path; giving up removes every file it made.
TEST_P(WriterLifecycleTest, FullDiskFailsForGoodAndDiscardRemovesTheFiles) {
    testsupport::Tmpfs full(dir.file("mnt"), "size=48k");
    if (!full.mounted()) {
        GTEST_SKIP() << "no tmpfs can be mounted here: " << std::strerror(errno);
    }
    const std::string name = dir.file("mnt/out.cap");
    EXPECT_FALSE(writer->open(name, std::string(60000, 'd')));
    EXPECT_EQ(writer->lastErrorCode, 5);
    EXPECT_EQ(writer->systemError(), ENOSPC);
    EXPECT_FALSE(fileExists(name));
    EXPECT_FALSE(fileExists(name + ".idx"));

    ASSERT_TRUE(writer->open(name, "d"));
    EXPECT_FALSE(writer->hasFailed());
    bool refused = false;
    for (int i = 0; i < 100 && !refused; ++i) {
        refused = !writeData(*writer, format, {}, Bytes(1000, 0xEE));
    }
    EXPECT_TRUE(refused);
    EXPECT_TRUE(writer->hasFailed());
    EXPECT_EQ(writer->systemError(), ENOSPC);
    EXPECT_EQ(writer->lastErrorDetail(), "writing '" + name + "' failed: " + std::strerror(ENOSPC));
    writer->setTriggerPacketNumber(3);
    writer->close();
    EXPECT_TRUE(writer->hasFailed());
    EXPECT_FALSE(fileExists(name + ".idx"));
    writer->discard();
    EXPECT_FALSE(fileExists(name));
}

// Setters between records rewrite the record type table at once.
TEST_P(WriterLifecycleTest, RecordTypeSetAfterOpenIsRewritten) {
    writer->setSourceRecordType(257, 9);  // slot 1: the index wraps
    ASSERT_TRUE(writer->open(out, "x"));
    writer->setSourceRecordType(2, 0x1234);
    ASSERT_TRUE(writeData(*writer, format, {}, Bytes(3, 1)));
    writer->close();
    const Bytes b = readFile(out);
    EXPECT_EQ(be16At(b, 33), 9u);
    EXPECT_EQ(be16At(b, 35), 0x1234u);
    EXPECT_FALSE(writer->hasFailed());
}

struct StreamCase {
    const char* name;
    void (*write)(CXcfPmBinaryCaptureFileWriter&, std::ostream&);
    Bytes expected;
};

const StreamCase kStreamCases[] = {
    {"Byte", [](auto& w, auto& s) { w.putByte(s, 0x1AB); }, {0xAB}},
    {"Uint16", [](auto& w, auto& s) { w.putUint16(s, 0x12345); }, {0x23, 0x45}},
    {"Uint32", [](auto& w, auto& s) { w.putUint32(s, 0x01020304); }, {1, 2, 3, 4}},
    {"NoCharacters", [](auto& w, auto& s) { w.putString(s, nullptr, 5); }, {0, 0}},
    {"LengthZeroCountsToTheFirstZero",
     [](auto& w, auto& s) { w.putString(s, "ab\0c", 0); },
     {0, 2, 'a', 'b'}},
    {"LengthNeverBeyondTheText",
     [](auto& w, auto& s) { w.putString(s, std::string("xy"), 9); },
     {0, 2, 'x', 'y'}},
};

void PrintTo(const StreamCase& c, std::ostream* os) {
    *os << c.name;
}

class WriterStreamTest : public ::testing::TestWithParam<StreamCase> {};

TEST_P(WriterStreamTest, WritesBigEndianToAnyStream) {
    auto writer = makeWriter(Format::B3);
    std::ostringstream stream;
    GetParam().write(*writer, stream);
    const std::string written = stream.str();
    EXPECT_EQ(Bytes(written.begin(), written.end()), GetParam().expected);
    EXPECT_FALSE(writer->hasFailed());
    // A stream that refuses bytes fails the writer.
    stream.setstate(std::ios::badbit);
    GetParam().write(*writer, stream);
    EXPECT_TRUE(writer->hasFailed());
    EXPECT_EQ(writer->lastErrorCode, 5);
}

INSTANTIATE_TEST_SUITE_P(Values, WriterStreamTest, ::testing::ValuesIn(kStreamCases),
                         ::testing::PrintToStringParamName());

TEST(WriterStreamTest, CountedStringsStopAtTheirLengthField) {
    auto writer = makeWriter(Format::B4);
    std::ostringstream stream;
    writer->putString(stream, std::string(70000, 'x'), 70000);
    EXPECT_EQ(stream.str().size(), 2u + 0xFFFF);
    EXPECT_EQ(stream.str().substr(0, 2), "\xFF\xFF");
}

INSTANTIATE_FOR_BOTH_FORMATS(WriterLifecycleTest);

}  // namespace
