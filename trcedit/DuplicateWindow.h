// The duplicates two taps on one link see: a record repeats one kept before it when their port
// numbers, their damaged-frame marks and their frame bytes are equal and it comes at most the
// window's time after it. Only the records kept within the window behind the latest time of
// the sequence are held, each with its frame's bytes, so memory follows the window and the
// record rate, not the length of the capture.
#pragma once

#include <cstdint>
#include <deque>
#include <string>
#include <unordered_map>

#include "record/CXcfCaptureRecord.h"

class DuplicateWindow {
  public:
    explicit DuplicateWindow(uint64_t windowNanoseconds) : window(windowNanoseconds) {}

    // True when the record, at time (nanoseconds since the epoch), repeats a record kept at
    // most the window earlier: it is dropped and counted. Otherwise it is kept, and
    // remembered for the records after it.
    bool repeats(const CXcfCaptureRecord& record, uint64_t time);
    uint64_t dropped() const { return droppedRecords; }

  private:
    struct Kept {
        uint64_t time;
        uint64_t hash;
        uint8_t port;  // with the damaged-frame bit: a damaged frame never repeats a good one
        std::string frame;
    };
    void forgetBefore(uint64_t time);

    uint64_t window;
    uint64_t latest = 0;  // the latest time of the sequence so far
    // Kept records in the order they came, and where each hash's records lie in it (by the
    // running number of the record, so that dropping the front moves nothing).
    std::deque<Kept> kept;
    uint64_t firstNumber = 0;  // running number of kept.front()
    std::unordered_multimap<uint64_t, uint64_t> byHash;
    uint64_t droppedRecords = 0;
};
