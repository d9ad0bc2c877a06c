// The progress line is drawn on a terminal only, and finish leaves the terminal's line
// clean. Standard error is pointed at a pseudo-terminal (or a file) while a Progress lives.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <pty.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <optional>
#include <regex>
#include <string>
#include <thread>

#include "cli/Progress.h"
#include "support/TestSupport.h"

namespace {

// Standard error goes to fd until the object goes.
class StandardErrorTo {
  public:
    explicit StandardErrorTo(int fd) : saved(dup(STDERR_FILENO)) {
        std::fflush(stderr);
        dup2(fd, STDERR_FILENO);
    }
    ~StandardErrorTo() {
        std::fflush(stderr);
        dup2(saved, STDERR_FILENO);
        close(saved);
    }

  private:
    int saved;
};

// What the terminal was sent since the last call.
std::string drawn(int terminal) {
    std::string text;
    char buffer[256];
    ssize_t count;
    while ((count = read(terminal, buffer, sizeof buffer)) > 0) {
        text.append(buffer, static_cast<size_t>(count));
    }
    return text;
}

void updateUntilShown(cli::Progress& progress, uint64_t records, uint64_t bytes) {
    for (int call = 0; call < 0x1000; ++call) {
        progress.update(records, bytes);
    }
}

const std::string kCleared = "\r" + std::string(78, ' ') + "\r";

TEST(Progress, DrawsOnATerminalAfterTheFirstSecondAndClearsTheLine) {
    int terminal = -1;
    int side = -1;
    ASSERT_EQ(openpty(&terminal, &side, nullptr, nullptr, nullptr), 0);
    fcntl(terminal, F_SETFL, fcntl(terminal, F_GETFL) | O_NONBLOCK);
    testsupport::TempDir dir;
    const int file = open(dir.file("log").c_str(), O_CREAT | O_WRONLY | O_EXCL, 0600);
    ASSERT_GE(file, 0);
    {
        std::optional<cli::Progress> rated, counted, logged;
        {
            StandardErrorTo to(side);
            rated.emplace("trcedit", 9000);
            counted.emplace("trc2pcap", 12);
        }
        {
            StandardErrorTo to(file);
            logged.emplace("trcinfo", 12);
        }
        // Nothing is drawn in the first second.
        std::this_thread::sleep_for(std::chrono::milliseconds(1100));
        StandardErrorTo to(side);
        updateUntilShown(*rated, 4096, 50'000'000);
        // Shown from the first second on, so 50 MB give at most 50 MB/s.
        std::smatch rate;
        const std::string line = drawn(terminal);
        ASSERT_TRUE(std::regex_match(line, rate,
                                     std::regex("\rtrcedit: 4096 of 9000 records, ([0-9]+) MB/s ")))
            << line;
        EXPECT_LE(std::stoi(rate[1]), 50);
        rated->finish();
        EXPECT_EQ(drawn(terminal), kCleared);
        rated->finish();
        EXPECT_EQ(drawn(terminal), "");

        updateUntilShown(*counted, 7, 0);
        EXPECT_EQ(drawn(terminal), "\rtrc2pcap: 7 of 12 records");
        counted.reset();
        EXPECT_EQ(drawn(terminal), kCleared);

        updateUntilShown(*logged, 7, 0);
        logged.reset();
    }
    EXPECT_EQ(testsupport::readFile(dir.file("log")).size(), 0u);
    close(file);
    close(side);
    close(terminal);
}

}  // namespace
