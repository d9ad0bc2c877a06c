// What is in a capture, computed in one pass over its records with constant memory: counts,
// bytes, times, rates, frame-length buckets, damaged frames, ports, layer-2 types and time
// order.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <string>

#include "capfile/common/RecordRun.h"
#include "record/CXcfCaptureRecord.h"

class CaptureStatistics {
  public:
    // Lower bounds of the frame-length buckets; the last one has no upper bound.
    static constexpr std::array<uint32_t, 10> kBucketStarts = {0,   20,  40,   80,   160,
                                                               320, 640, 1280, 2560, 5120};

    void add(const CXcfCaptureRecord& record);
    // A record as its bytes lie in a run (its frame kept whole).
    void add(const xcf::RunRecord& record);

    uint64_t records = 0;
    uint64_t frameBytes = 0;   // sum of the frames' lengths
    uint64_t storedBytes = 0;  // sum of the bytes kept of them
    // Times in nanoseconds since the epoch: the earliest and the latest record (for a file in
    // time order, its first and its last).
    uint64_t earliest = 0;
    uint64_t latest = 0;
    uint32_t shortestFrame = 0;
    uint32_t longestFrame = 0;
    std::array<uint64_t, kBucketStarts.size()> buckets{};
    uint64_t damagedFrames = 0;
    std::map<uint32_t, uint64_t> recordsPerPort;  // port byte without its damaged-frame bit
    std::map<uint32_t, uint64_t> recordsPerLayer2Type;
    // Records earlier than the record before them, the largest such step back, and the
    // largest step forward between consecutive records.
    uint64_t outOfOrder = 0;
    uint64_t largestStepBack = 0;
    uint64_t largestGap = 0;

    bool empty() const { return records == 0; }
    uint64_t duration() const { return latest - earliest; }
    double averageFrameLength() const;
    // Rates over the duration; false when the duration is 0 and there is no rate.
    bool rates(double& bytesPerSecond, double& bitsPerSecond, double& recordsPerSecond) const;

    // "2006-03-23T18:03:20.000000000Z", and "1143136731.000000000".
    static std::string isoText(uint64_t nanoseconds);
    static std::string epochText(uint64_t nanoseconds);
    // "0.024000000 s"
    static std::string secondsText(uint64_t nanoseconds);
    // The layer-2 type's name: "POS PPP", "POS Cisco HDLC", "GbE", or "code N".
    static std::string layer2Name(uint32_t code);

  private:
    void add(uint64_t time, uint32_t length, uint32_t stored, uint8_t portByte, uint8_t layer2);

    uint64_t previous = 0;
};
