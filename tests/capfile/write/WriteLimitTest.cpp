#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <csignal>

#include "WriterTestHelpers.h"

using namespace testsupport;
using namespace writertest;

namespace {

class WriteLimitTest : public ::testing::TestWithParam<Format> {
  protected:
    Format format = GetParam();
    TempDir dir;
    std::string out = dir.file("out.cap");
};

TEST_P(WriteLimitTest, RecordBeyondTheSizeLimitIsRefusedAndTheFileStaysValid) {
    auto writer = makeWriter(format);
    EXPECT_EQ(writer->fileSizeLimit(), 0xFFFFFFFFu);
    ASSERT_TRUE(writer->open(out, "limited"));
    const uint64_t header = writer->offsetToData;
    const uint64_t record = fieldsSize(format) + 100;
    // Exactly two records with their index entries fit.
    writer->setFileSizeLimit(header + 2 * (record + 4));
    EXPECT_TRUE(writeData(*writer, format, {1}, Bytes(100, 1)));
    EXPECT_TRUE(writeData(*writer, format, {2}, Bytes(100, 2)));
    EXPECT_FALSE(writer->isSizeLimitReached());
    EXPECT_FALSE(writeData(*writer, format, {3}, Bytes(100, 3)));
    EXPECT_TRUE(writer->isSizeLimitReached());
    EXPECT_FALSE(writeData(*writer, format, {4}, Bytes())) << "no gaps after a refusal";
    writer->close();
    EXPECT_FALSE(writer->hasFailed());
    EXPECT_EQ(writer->lastErrorCode, 0);

    const Bytes b = readFile(out);
    ASSERT_EQ(b.size(), header + 2 * (record + 4));
    EXPECT_EQ(be32At(b, 13), 2u);
    EXPECT_EQ(be32At(b, 27), header + 2 * record);
    EXPECT_EQ(be32At(b, b.size() - 4), header + record);
}

// Runs a writer in a child process whose files may not grow beyond `limit` bytes and returns
// what the writer saw, as bits: 1 open failed, 2 a record was refused, 4 hasFailed,
// 8 code 5 with its message, 16 size limit reached.
int writeUnderFileSizeLimit(Format format, const std::string& out, rlim_t limit) {
    const pid_t pid = fork();
    if (pid == 0) {
        signal(SIGXFSZ, SIG_IGN);
        struct rlimit rl;
        rl.rlim_cur = limit;
        rl.rlim_max = limit;
        setrlimit(RLIMIT_FSIZE, &rl);
        int seen = 0;
        auto writer = makeWriter(format);
        if (!writer->open(out, "child")) {
            seen |= 1;
        }
        // More than the output's buffer holds, so that writes fail on the record path.
        for (int i = 0; i < 600; ++i) {
            if (!writeData(*writer, format, {}, Bytes(1000, 0xEE))) {
                seen |= 2;
                break;
            }
        }
        writer->close();
        seen |= writer->hasFailed() ? 4 : 0;
        seen |= (writer->lastErrorCode == 5 &&
                 writer->errorMessage() == "File write failure, check permissions")
                    ? 8
                    : 0;
        seen |= writer->isSizeLimitReached() ? 16 : 0;
        _exit(seen);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST_P(WriteLimitTest, WriteFailureWhileWritingRecordsIsReported) {
    EXPECT_EQ(writeUnderFileSizeLimit(format, out, 100000), 2 | 4 | 8);
    EXPECT_FALSE(fileExists(out + ".idx"));
}

TEST_P(WriteLimitTest, HeaderThatCannotBeWrittenFailsTheOpen) {
    EXPECT_EQ(writeUnderFileSizeLimit(format, out, 1000), 1 | 2 | 4 | 8);
    EXPECT_FALSE(fileExists(out));
    EXPECT_FALSE(fileExists(out + ".idx"));
}

INSTANTIATE_TEST_SUITE_P(Formats, WriteLimitTest, ::testing::Values(Format::B3, Format::B4),
                         [](const auto& info) { return std::string(paramName(info.param)); });

}  // namespace
