// The byte level under every reader and writer: reads, peeks and writes that straddle the
// files' blocks, positions inside and outside a block, short files and failures.
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <ostream>
#include <string>
#include <vector>

#include "capfile/common/InputFile.h"
#include "capfile/common/OutputFile.h"
#include "support/TestSupport.h"

using namespace testsupport;
using xcf::InputFile;
using xcf::OutputFile;

namespace {

constexpr size_t kBlock = InputFile::kBlockSize;
constexpr size_t kFirstBlock = OutputFile::kFirstBlockSize;
static_assert(OutputFile::kBlockSize == kBlock);

uint8_t patternAt(uint64_t offset) {
    return static_cast<uint8_t>(offset * 7 + 3 + (offset >> 16));
}

Bytes pattern(uint64_t from, size_t count) {
    Bytes bytes(count);
    for (size_t i = 0; i < count; ++i) {
        bytes[i] = patternAt(from + i);
    }
    return bytes;
}

struct Step {
    enum Kind { kSeek, kRead, kPeek, kReadAt, kLimit } kind;
    uint64_t at;   // kSeek, kReadAt: where; kLimit: the block's cap; otherwise unused
    size_t count;  // bytes asked for
    size_t gets;   // kRead, kPeek: 1 for success, 0 for failure; kReadAt: bytes delivered
};

struct InputCase {
    const char* name;
    uint64_t fileSize;
    std::vector<Step> steps;
};

const InputCase kInputCases[] = {
    {"ReadStraddlingTheBlockEnd",
     3 * kBlock,
     {{Step::kSeek, kBlock - 10, 0, 0},
      {Step::kRead, 0, 20, 1},
      {Step::kRead, 0, kBlock + 5, 1},
      {Step::kRead, 0, 100, 1}}},
    {"PeekMovingTheRestToTheBlockStart",
     2 * kBlock,
     {{Step::kRead, 0, kBlock - 5, 1}, {Step::kPeek, 0, 100, 1}, {Step::kRead, 0, 100, 1}}},
    {"SeeksInsideAndOutsideTheBlock",
     3 * kBlock,
     {{Step::kRead, 0, 10, 1},
      {Step::kSeek, 2 * kBlock + 7, 0, 0},
      {Step::kRead, 0, 10, 1},
      {Step::kSeek, 5, 0, 0},
      {Step::kRead, 0, 10, 1},
      {Step::kSeek, 2, 0, 0},
      {Step::kRead, 0, 3, 1}}},
    {"ReadAtLeavesPositionAndBlockAlone",
     1000,
     {{Step::kRead, 0, 100, 1},
      {Step::kReadAt, 900, 50, 50},
      {Step::kRead, 0, 10, 1},
      {Step::kReadAt, 990, 50, 10},
      {Step::kRead, 0, 10, 1}}},
    {"PeekAtTheEndDoesNotFail",
     100,
     {{Step::kSeek, 90, 0, 0}, {Step::kPeek, 0, 20, 0}, {Step::kRead, 0, 10, 1}}},
    {"PeekLargerThanTheBlock",
     3 * kBlock,
     {{Step::kPeek, 0, kBlock + 1, 0}, {Step::kRead, 0, 1, 1}}},
    {"ShortReadFailsForGood",
     10,
     {{Step::kRead, 0, 20, 0}, {Step::kSeek, 0, 0, 0}, {Step::kRead, 0, 1, 0}}},
    {"EmptyFile", 0, {{Step::kRead, 0, 1, 0}}},
    // A file smaller than a block gets a block of its own size, rounded up to a page.
    {"PeekPastASmallFilesBlock",
     5000,
     {{Step::kPeek, 0, 8192, 0}, {Step::kPeek, 0, 5000, 1}, {Step::kRead, 0, 4999, 1}}},
    // After a jump the block is filled by a page, and grows as reads go on in order.
    {"ReadsInOrderAfterAJump",
     3 * kBlock,
     {{Step::kSeek, kBlock + 3, 0, 0},
      {Step::kRead, 0, 10, 1},
      {Step::kPeek, 0, 5000, 1},
      {Step::kRead, 0, kBlock - 100, 1},
      {Step::kSeek, 17, 0, 0},
      {Step::kPeek, 0, kBlock, 1}}},
    // A block capped while it holds bytes not yet read: they are read again, and what no
    // longer fits the block goes past it.
    {"BlockCappedMidRead",
     3 * kBlock,
     {{Step::kRead, 0, 100, 1},
      {Step::kPeek, 0, 3000, 1},
      {Step::kLimit, 5000, 0, 0},
      {Step::kRead, 0, 10, 1},
      {Step::kPeek, 0, 4097, 0},
      {Step::kRead, 0, 5000, 1},
      {Step::kPeek, 0, 4096, 1},
      {Step::kLimit, kBlock, 0, 0},
      {Step::kPeek, 0, 4097, 0},
      {Step::kSeek, 2 * kBlock, 0, 0},
      {Step::kRead, 0, kBlock, 1}}},
};

void PrintTo(const InputCase& c, std::ostream* os) {
    *os << c.name;
}

class InputFileTest : public testing::TestWithParam<InputCase> {};

TEST_P(InputFileTest, DeliversTheFileBytesAtTheLogicalPosition) {
    TempDir dir;
    const std::string path = dir.file("in");
    writeFile(path, pattern(0, GetParam().fileSize));
    InputFile file;
    ASSERT_TRUE(file.open(path));
    EXPECT_EQ(file.size(), static_cast<int64_t>(GetParam().fileSize));
    bool failedBefore = false;
    int step = 0;
    for (const Step& s : GetParam().steps) {
        SCOPED_TRACE("step " + std::to_string(step++));
        const uint64_t here = file.position();
        Bytes got(s.count);
        switch (s.kind) {
            case Step::kSeek:
                EXPECT_EQ(file.seek(s.at), !failedBefore);
                if (!failedBefore) {
                    EXPECT_EQ(file.position(), s.at);
                }
                break;
            case Step::kRead:
                ASSERT_EQ(file.read(got.data(), s.count), s.gets == 1);
                if (s.gets == 1) {
                    EXPECT_EQ(got, pattern(here, s.count));
                    EXPECT_EQ(file.position(), here + s.count);
                }
                break;
            case Step::kPeek: {
                const uint8_t* bytes = file.peek(s.count);
                ASSERT_EQ(bytes != nullptr, s.gets == 1);
                if (bytes != nullptr) {
                    EXPECT_EQ(Bytes(bytes, bytes + s.count), pattern(here, s.count));
                }
                EXPECT_EQ(file.position(), here);
                break;
            }
            case Step::kLimit:
                file.limitBlock(s.at);
                EXPECT_EQ(file.position(), here);
                break;
            case Step::kReadAt:
                ASSERT_EQ(file.readAt(s.at, got.data(), s.count), s.gets);
                got.resize(s.gets);
                EXPECT_EQ(got, pattern(s.at, s.gets));
                EXPECT_EQ(file.position(), here);
                break;
        }
        failedBefore = file.failed();
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, InputFileTest, testing::ValuesIn(kInputCases),
                         testing::PrintToStringParamName());

TEST(InputFileOpenTest, RefusesWhatIsNotARegularFileAndKeepsTheCause) {
    TempDir dir;
    ASSERT_EQ(mkfifo(dir.file("fifo").c_str(), 0644), 0);
    InputFile file;
    for (const auto& [name, error] : {std::pair<std::string, int>{dir.file("absent"), ENOENT},
                                      {dir.path(), EISDIR},
                                      {dir.file("fifo"), ESPIPE}}) {
        SCOPED_TRACE(name);
        EXPECT_FALSE(file.open(name));
        EXPECT_TRUE(file.failed());
        EXPECT_EQ(file.systemError(), error);
    }
    // A regular file whose reads fail: the error, not an exception or a short success.
    ASSERT_TRUE(file.open("/proc/self/mem"));
    uint8_t byte = 0;
    EXPECT_FALSE(file.read(&byte, 1));
    EXPECT_EQ(file.systemError(), EIO);
}

// Pieces written one after the other, then patches at earlier positions.
struct OutputCase {
    const char* name;
    std::vector<size_t> pieces;                        // appended in order
    std::vector<std::pair<uint64_t, size_t>> patches;  // position and length, written after
    size_t reserveAtEnd;                               // bytes reserved after the pieces
};

const OutputCase kOutputCases[] = {
    {"PiecesStraddlingTheBlock", {100, kBlock - 150, 100, 7}, {}, 0},
    {"PieceAsLargeAsTheBlock", {10, kBlock, 3}, {}, 0},
    {"ReserveAtTheBlockEnd", {kBlock - 3}, {}, 10},
    {"PatchesInsideAndBeforeTheBlock", {1000, kBlock, 500}, {{10, 4}, {kBlock + 900, 8}}, 6},
    // The block starts smaller and grows each time it fills.
    {"PiecesAcrossEveryBlockSize",
     {kFirstBlock - 1, 2, kFirstBlock, 3, 2 * kFirstBlock, kBlock - 1, 2},
     {},
     kBlock},
    {"ReserveLargerThanTheFirstBlock", {5}, {{2, 3}}, kFirstBlock + 1},
};

void PrintTo(const OutputCase& c, std::ostream* os) {
    *os << c.name;
}

class OutputFileTest : public testing::TestWithParam<OutputCase> {};

TEST_P(OutputFileTest, TheFileHoldsWhatWasWrittenWhereItWasWritten) {
    TempDir dir;
    const std::string path = dir.file("out");
    OutputFile file;
    ASSERT_TRUE(file.create(path, OutputFile::Creation::kNewOnly));
    EXPECT_TRUE(file.isNew());
    Bytes expected;
    for (const size_t piece : GetParam().pieces) {
        const Bytes bytes = pattern(expected.size(), piece);
        file.put(bytes.data(), bytes.size());
        expected.insert(expected.end(), bytes.begin(), bytes.end());
        EXPECT_EQ(file.position(), expected.size());
    }
    if (const size_t count = GetParam().reserveAtEnd) {
        uint8_t* at = file.reserve(count);
        ASSERT_NE(at, nullptr);
        std::memset(at, 0xAB, count);
        expected.insert(expected.end(), count, 0xAB);
    }
    for (const auto& [position, length] : GetParam().patches) {
        const uint64_t end = file.position();
        file.seek(position);
        const Bytes bytes(length, 0xEE);
        file.put(bytes.data(), length);
        std::fill_n(expected.begin() + static_cast<std::ptrdiff_t>(position), length, 0xEE);
        file.seek(end);
    }
    EXPECT_EQ(file.end(), expected.size());
    EXPECT_TRUE(file.close());
    EXPECT_EQ(readFile(path), expected);
}

INSTANTIATE_TEST_SUITE_P(Cases, OutputFileTest, testing::ValuesIn(kOutputCases),
                         testing::PrintToStringParamName());

TEST(OutputFileCreateTest, CreatesOnlyWhatItMayAndNeverBlocks) {
    TempDir dir;
    const std::string existing = dir.file("existing");
    writeFile(existing, Bytes(5, 1));
    ASSERT_EQ(mkfifo(dir.file("fifo").c_str(), 0644), 0);
    std::filesystem::create_symlink("existing", dir.file("link"));
    OutputFile file;
    EXPECT_FALSE(file.create(existing, OutputFile::Creation::kNewOnly));
    EXPECT_EQ(file.systemError(), EEXIST);
    EXPECT_FALSE(file.create(dir.file("link"), OutputFile::Creation::kNewOnly));
    EXPECT_FALSE(file.create(dir.file("fifo"), OutputFile::Creation::kNewOrTruncate));
    EXPECT_EQ(file.systemError(), ESPIPE);
    EXPECT_FALSE(file.create(dir.file("no/such"), OutputFile::Creation::kNewOrTruncate));
    EXPECT_EQ(file.systemError(), ENOENT);
    EXPECT_EQ(readFile(existing), Bytes(5, 1));
    ASSERT_TRUE(file.create(existing, OutputFile::Creation::kNewOrTruncate));
    EXPECT_FALSE(file.isNew());
    EXPECT_TRUE(file.close());
    EXPECT_TRUE(readFile(existing).empty());
}

TEST(OutputFileCreateTest, AFullDiskFailsTheFileForGood) {
    TempDir dir;
    const std::string folder = dir.file("mnt");
    std::filesystem::create_directory(folder);
    if (mount("tmpfs", folder.c_str(), "tmpfs", 0, "size=64k") != 0) {
        GTEST_SKIP() << "no tmpfs can be mounted here: " << std::strerror(errno);
    }
    {
        OutputFile file;
        ASSERT_TRUE(file.create(folder + "/out", OutputFile::Creation::kNewOnly));
        const Bytes bytes(100 * 1024, 0x42);
        // Collected in the block until it is full, then handed over and refused.
        for (int i = 0; i < 4; ++i) {
            file.put(bytes.data(), bytes.size());
        }
        EXPECT_TRUE(file.failed());
        EXPECT_EQ(file.systemError(), ENOSPC);
        EXPECT_EQ(file.reserve(4), nullptr);
        EXPECT_FALSE(file.close());
    }
    umount2(folder.c_str(), MNT_DETACH);
}

// Bytes of an input appended after a prefix: by the system from file to file, or through a
// block where the input lies on another file system; an input that ends early stops the copy
// without failing the output, and what the caller drops again is gone from the closed file.
struct CopyCase {
    const char* name;
    bool otherFileSystem;
    uint64_t inputSize;
    uint64_t offset;
    uint64_t count;
    uint64_t keep;  // bytes of the copy kept by dropFrom; all when at least the copy
};

const CopyCase kCopyCases[] = {
    {"WholeBySystem", false, 3 * kBlock + 5, 7, 3 * kBlock - 2, UINT64_MAX},
    {"CutShortBySystemThenDropped", false, 1000, 100, 2000, 400},
    {"WholeThroughABlock", true, 2 * kBlock + 10, 3, 2 * kBlock + 7, UINT64_MAX},
    {"CutShortThroughABlockThenDropped", true, kBlock + 100, 0, 2 * kBlock, kBlock},
    {"NothingLeftToCopy", false, 10, 10, 5, UINT64_MAX},
};

void PrintTo(const CopyCase& c, std::ostream* os) {
    *os << c.name;
}

class OutputFileCopyTest : public testing::TestWithParam<CopyCase> {};

TEST_P(OutputFileCopyTest, TheFileHoldsThePrefixTheKeptCopyAndTheSuffix) {
    const CopyCase& c = GetParam();
    TempDir dir;
    Tmpfs other(dir.file("other"), "size=4m");
    if (c.otherFileSystem && !other.mounted()) {
        GTEST_SKIP() << "no tmpfs can be mounted here: " << std::strerror(errno);
    }
    const std::string inputPath = c.otherFileSystem ? dir.file("other/in") : dir.file("in");
    writeFile(inputPath, pattern(0, c.inputSize));
    InputFile input;
    ASSERT_TRUE(input.open(inputPath));
    OutputFile file;
    ASSERT_TRUE(file.create(dir.file("out"), OutputFile::Creation::kNewOnly));
    const Bytes prefix(100, 0x11);
    const Bytes suffix(50, 0x22);
    file.put(prefix.data(), prefix.size());

    uint64_t copied = 99;
    const uint64_t available = c.inputSize - std::min(c.offset, c.inputSize);
    const uint64_t expectedCopy = std::min(c.count, available);
    EXPECT_EQ(file.copyFrom(input, c.offset, c.count, copied), expectedCopy == c.count);
    EXPECT_EQ(copied, expectedCopy);
    EXPECT_FALSE(file.failed());
    const uint64_t kept = std::min(c.keep, copied);
    file.dropFrom(prefix.size() + kept);
    EXPECT_EQ(file.position(), prefix.size() + kept);
    file.put(suffix.data(), suffix.size());
    EXPECT_TRUE(file.close());

    Bytes expected = prefix;
    const Bytes middle = pattern(c.offset, static_cast<size_t>(kept));
    expected.insert(expected.end(), middle.begin(), middle.end());
    expected.insert(expected.end(), suffix.begin(), suffix.end());
    EXPECT_EQ(readFile(dir.file("out")), expected);
}

INSTANTIATE_TEST_SUITE_P(Cases, OutputFileCopyTest, testing::ValuesIn(kCopyCases),
                         testing::PrintToStringParamName());

TEST(OutputFileCopyTest, ACopyOntoAFullDiskFailsTheFileForGood) {
    TempDir dir;
    Tmpfs full(dir.file("mnt"), "size=64k");
    if (!full.mounted()) {
        GTEST_SKIP() << "no tmpfs can be mounted here: " << std::strerror(errno);
    }
    // The input on the same file system (a system copy) and on another one (through a block).
    writeFile(dir.file("mnt/in"), pattern(0, 40 * 1024));
    writeFile(dir.file("in"), pattern(0, 100 * 1024));
    for (const std::string& inputPath : {dir.file("mnt/in"), dir.file("in")}) {
        SCOPED_TRACE(inputPath);
        InputFile input;
        ASSERT_TRUE(input.open(inputPath));
        OutputFile file;
        ASSERT_TRUE(file.create(dir.file("mnt/out"), OutputFile::Creation::kNewOnly));
        uint64_t copied = 0;
        const uint64_t size = static_cast<uint64_t>(input.size());
        EXPECT_FALSE(file.copyFrom(input, 0, size, copied) &&
                     file.copyFrom(input, 0, size, copied));
        EXPECT_TRUE(file.failed());
        EXPECT_EQ(file.systemError(), ENOSPC);
        EXPECT_FALSE(file.copyFrom(input, 0, 1, copied));
        EXPECT_EQ(copied, 0u);
        EXPECT_FALSE(file.close());
        std::filesystem::remove(dir.file("mnt/out"));
    }
}

TEST(OutputFileStreamTest, StreamWritesGoThroughTheBlock) {
    TempDir dir;
    OutputFile file;
    ASSERT_TRUE(file.create(dir.file("out"), OutputFile::Creation::kNewOnly));
    file << "abc" << 42;
    static_cast<std::ostream&>(file).put('x');  // one character: the buffer's overflow
    file.write("", 0);
    file.flush();
    EXPECT_TRUE(file.good());
    EXPECT_EQ(readFile(dir.file("out")), (Bytes{'a', 'b', 'c', '4', '2', 'x'}));
    file << std::string(3 * kFirstBlock, 'y');
    EXPECT_TRUE(file.close());
    EXPECT_EQ(readFile(dir.file("out")).size(), 6 + 3 * kFirstBlock);
}

// Misuse fails the file for good with a cause, and never writes a byte where none was meant.
TEST(OutputFileMisuseTest, FailsForGoodWithTheCause) {
    TempDir dir;
    const Bytes bytes(10, 0x33);
    struct Misuse {
        const char* name;
        void (*act)(OutputFile&, InputFile&);
        int error;
    };
    const Misuse misuses[] = {
        {"SeekBeyondWhatAnOffsetHolds",
         [](OutputFile& f, InputFile&) { f.seek(uint64_t{1} << 63); }, EOVERFLOW},
        {"ReserveLargerThanTheBlock",
         [](OutputFile& f, InputFile&) { EXPECT_EQ(f.reserve(kBlock + 1), nullptr); }, EBADF},
        {"CopyFromAClosedInput",
         [](OutputFile& f, InputFile& in) {
             uint64_t copied = 0;
             EXPECT_FALSE(f.copyFrom(in, 0, 1, copied));
         },
         EBADF},
    };
    for (const Misuse& m : misuses) {
        SCOPED_TRACE(m.name);
        const std::string path = dir.file(m.name);
        OutputFile file;
        InputFile closed;
        ASSERT_TRUE(file.create(path, OutputFile::Creation::kNewOnly));
        file.put(bytes.data(), bytes.size());
        m.act(file, closed);
        EXPECT_TRUE(file.failed());
        EXPECT_EQ(file.systemError(), m.error);
        EXPECT_TRUE(file.bad());
        file.put(bytes.data(), bytes.size());
        file << "more";
        EXPECT_FALSE(file.flushBlock());
        EXPECT_FALSE(file.close());
        EXPECT_FALSE(file.close());
        EXPECT_EQ(file.systemError(), m.error);
    }
    // Writes after close or discard reach no file; discard drops what was collected.
    OutputFile file;
    ASSERT_TRUE(file.create(dir.file("discarded"), OutputFile::Creation::kNewOnly));
    file.put(bytes.data(), bytes.size());
    file.discard();
    EXPECT_TRUE(readFile(dir.file("discarded")).empty());
    file.put(bytes.data(), bytes.size());
    EXPECT_EQ(file.systemError(), EBADF);
    file.seek(3);
    EXPECT_FALSE(file.close());
}

TEST(InputFileMisuseTest, ReadsOfAClosedFileOrBeyondAnOffsetFailWithTheCause) {
    TempDir dir;
    writeFile(dir.file("in"), pattern(0, 100));
    InputFile file;
    uint8_t bytes[4] = {};
    EXPECT_EQ(file.size(), -1);
    EXPECT_EQ(file.readAt(0, bytes, 4), 0u);
    EXPECT_EQ(file.systemError(), EBADF);
    EXPECT_FALSE(file.read(bytes, 4));
    EXPECT_FALSE(file.seek(1));
    EXPECT_EQ(file.peek(1), nullptr);
    ASSERT_TRUE(file.open(dir.file("in")));
    EXPECT_EQ(file.readAt(uint64_t{1} << 63, bytes, 4), 0u);
    EXPECT_EQ(file.systemError(), EOVERFLOW);
    EXPECT_FALSE(file.failed());
    // One open file serves one reader after another.
    InputFile other;
    other.swap(file);
    EXPECT_FALSE(file.isOpen());
    EXPECT_TRUE(other.read(bytes, 4));
    EXPECT_EQ(Bytes(bytes, bytes + 4), pattern(0, 4));
}

}  // namespace
