#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <csignal>

#include "WriterTestHelpers.h"

using namespace writertest;

namespace {

class WriteLimitTest : public ::testing::TestWithParam<Format> {
  protected:
    Format format = GetParam();
    TempDir dir;
    std::string out = dir.file("out.cap");

    // Writes in a child process whose files may not grow beyond `limit` bytes and returns
    // what the writer saw, as bits: 1 open failed, 2 a record was refused, 4 hasFailed,
    // 8 code 5 with its message, 16 size limit reached.
    int writeUnderFileSizeLimit(rlim_t limit) {
        const pid_t pid = fork();
        if (pid == 0) {
            signal(SIGXFSZ, SIG_IGN);
            const struct rlimit rl = {limit, limit};
            setrlimit(RLIMIT_FSIZE, &rl);
            auto writer = makeWriter(format);
            int seen = writer->open(out, "child") ? 0 : 1;
            // More than the output's buffer holds, so that writes fail on the record path.
            for (int i = 0; i < 600 && (seen & 2) == 0; ++i) {
                seen |= writeData(*writer, format, {}, Bytes(1000, 0xEE)) ? 0 : 2;
            }
            writer->close();
            seen |= writer->hasFailed() ? 4 : 0;
            seen |= writer->lastErrorCode == 5 &&
                            writer->errorMessage() == "File write failure, check permissions"
                        ? 8
                        : 0;
            seen |= writer->isSizeLimitReached() ? 16 : 0;
            _exit(seen);
        }
        int status = 0;
        waitpid(pid, &status, 0);
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
};

TEST_P(WriteLimitTest, RecordBeyondTheSizeLimitIsRefusedAndTheFileStaysValid) {
    auto writer = makeWriter(format);
    EXPECT_EQ(writer->fileSizeLimit(), 0xFFFFFFFFu);
    ASSERT_TRUE(writer->open(out, "limited"));
    const uint64_t header = writer->offsetToData;
    const uint64_t record = writtenFieldsSize(format) + 100;
    const uint64_t twoRecords = header + 2 * (record + layout::kIndexEntrySize);
    writer->setFileSizeLimit(twoRecords);  // exactly two records and their index
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
    ASSERT_EQ(b.size(), twoRecords);
    EXPECT_EQ(be32At(b, 13), 2u);
    EXPECT_EQ(be32At(b, 27), header + 2 * record);
    EXPECT_EQ(be32At(b, b.size() - layout::kIndexEntrySize), header + record);
}

TEST_P(WriteLimitTest, FailedWritesAreReported) {
    EXPECT_EQ(writeUnderFileSizeLimit(100000), 2 | 4 | 8) << "while writing records";
    EXPECT_FALSE(fileExists(out + ".idx"));
    EXPECT_EQ(writeUnderFileSizeLimit(1000), 1 | 2 | 4 | 8) << "while writing the header";
    EXPECT_FALSE(fileExists(out));
    EXPECT_FALSE(fileExists(out + ".idx"));
}

INSTANTIATE_FOR_BOTH_FORMATS(WriteLimitTest);

}  // namespace
