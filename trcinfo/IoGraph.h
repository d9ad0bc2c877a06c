// What a capture's I/O graph shows, gathered in one pass with memory that does not depend on
// the file's size: bits per interval per port, damaged frames per interval, and the largest
// gaps between consecutive records. The interval comes from the span of the first and the
// last record's times (200 to 1,000 intervals, of 1, 2 or 5 times a power of ten
// nanoseconds); records outside that span (a file out of time order) widen it, and where the
// intervals would pass 1,000 they double, two merging into one.
#pragma once

#include <array>
#include <bitset>
#include <cstddef>
#include <cstdint>
#include <map>
#include <utility>
#include <vector>

class IoGraph {
  public:
    static constexpr int64_t kMostIntervals = 1000;
    static constexpr size_t kGapsKept = 5;

    IoGraph(uint64_t firstTime, uint64_t lastTime);

    void add(uint64_t time, uint8_t port, uint32_t frameLength, bool damaged);

    static constexpr size_t kPorts = 128;
    struct Interval {
        std::array<uint64_t, kPorts> bytes{};  // frame bytes per port number
        uint64_t damaged = 0;
    };
    struct Gap {
        uint64_t from;  // the time of the record before it
        uint64_t length;
    };

    // The length of an interval in nanoseconds, and the start of interval i.
    uint64_t interval() const { return step; }
    uint64_t startOf(int64_t index) const {
        return static_cast<uint64_t>(static_cast<int64_t>(origin) +
                                     index * static_cast<int64_t>(step));
    }
    // The intervals that hold records, by index (0 is the interval of the first record).
    const std::map<int64_t, Interval>& intervals() const { return bins; }
    // The ports seen, in order.
    std::vector<uint8_t> ports() const;
    // The largest gaps between consecutive records, largest first.
    std::vector<Gap> largestGaps() const;

    // 1, 2 or 5 times a power of ten nanoseconds: the interval that cuts span into at most
    // 1,000 intervals.
    static uint64_t intervalFor(uint64_t span);

  private:
    int64_t indexOf(uint64_t time) const;
    void coarsen();

    uint64_t origin;
    uint64_t step;
    std::map<int64_t, Interval> bins;
    // Records in time order fall into the interval of the record before them: it is kept at
    // hand.
    int64_t lastIndex = 0;
    Interval* lastBin = nullptr;
    std::bitset<kPorts> seenPorts;
    std::vector<Gap> gaps;  // at most kGapsKept, smallest first
    bool any = false;
    uint64_t previous = 0;
};
