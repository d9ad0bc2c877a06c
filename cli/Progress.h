// A progress line for long runs, on the terminal only: records done of the total and the
// rate, rewritten in place, from the first second on. Nothing at all when standard error is
// not a terminal, so that logs and pipes stay clean.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

namespace cli {

class Progress {
  public:
    Progress(std::string program, uint64_t totalRecords);
    ~Progress();
    Progress(const Progress&) = delete;
    Progress& operator=(const Progress&) = delete;

    // Cheap enough for every record: the clock is looked at every few thousand calls. bytes
    // written so far give the rate; 0 shows none.
    void update(uint64_t records, uint64_t bytes) {
        if (enabled && (++calls & 0xFFF) == 0) {
            show(records, bytes);
        }
    }
    // Clears the line.
    void finish();

  private:
    void show(uint64_t records, uint64_t bytes);

    std::string program;
    uint64_t total;
    bool enabled;
    bool shown = false;
    uint64_t calls = 0;
    std::chrono::steady_clock::time_point start;
    std::chrono::steady_clock::time_point lastShown;
};

}  // namespace cli
