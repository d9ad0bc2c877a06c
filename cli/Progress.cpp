#include "cli/Progress.h"

#include <unistd.h>

#include <cstdio>

namespace cli {

namespace {

constexpr auto kQuietStart = std::chrono::seconds(1);
constexpr auto kInterval = std::chrono::milliseconds(250);

}  // namespace

Progress::Progress(std::string program, uint64_t totalRecords)
    : program(std::move(program)),
      total(totalRecords),
      enabled(isatty(STDERR_FILENO) == 1),
      start(std::chrono::steady_clock::now()),
      lastShown(start) {}

Progress::~Progress() {
    finish();
}

void Progress::show(uint64_t records, uint64_t bytes) {
    const auto now = std::chrono::steady_clock::now();
    if (now - start < kQuietStart || now - lastShown < kInterval) {
        return;
    }
    lastShown = now;
    const double seconds = std::chrono::duration<double>(now - start).count();
    std::fprintf(stderr, "\r%s: %llu of %llu records", program.c_str(),
                 static_cast<unsigned long long>(records), static_cast<unsigned long long>(total));
    if (bytes > 0) {
        std::fprintf(stderr, ", %.0f MB/s ", static_cast<double>(bytes) / 1e6 / seconds);
    }
    std::fflush(stderr);
    shown = true;
}

void Progress::finish() {
    if (shown) {
        std::fprintf(stderr, "\r%*s\r", 78, "");
        std::fflush(stderr);
        shown = false;
    }
}

}  // namespace cli
