// Seconds-and-nanoseconds time of a record or of a header's capture stop.
#pragma once

#include <cstdint>
#include <string>

class CXcfTimestamp {
  public:
    // Normalises: |nanoseconds| < 1e9, and nanoseconds never has the opposite sign of a
    // non-zero seconds value.
    CXcfTimestamp() = default;
    // Explicit: a bare number is not a time (setCaptureStopTimestamp(5) would mean 5 s).
    explicit CXcfTimestamp(int32_t seconds, int32_t nanoseconds = 0);
    CXcfTimestamp(const CXcfTimestamp& other) = default;
    CXcfTimestamp& operator=(const CXcfTimestamp& other) = default;
    virtual ~CXcfTimestamp() = default;

    void set(int32_t seconds, int32_t nanoseconds);

    // "SS:NNNNNNNNN" (seconds and nanoseconds, not a clock time).
    std::string toString() const;

    int32_t getSeconds() const { return seconds; }
    int32_t getNanoseconds() const { return nanoseconds; }

  private:
    int32_t seconds = 0;
    int32_t nanoseconds = 0;
};
