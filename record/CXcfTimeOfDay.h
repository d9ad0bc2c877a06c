// Wall-clock time of day with millisecond resolution, as the capture headers store it.
#pragma once

#include <cstdint>
#include <string>

class CXcfTimeOfDay {
  public:
    CXcfTimeOfDay() = default;
    CXcfTimeOfDay(const CXcfTimeOfDay& other) = default;
    CXcfTimeOfDay& operator=(const CXcfTimeOfDay& other) = default;
    virtual ~CXcfTimeOfDay() = default;

    // Each value is limited on its own; an out-of-range value never carries into the next
    // field, so 25:70 with 61000 ms becomes 23:59 with 59999 ms rather than a later day.
    void set(uint16_t hours, uint16_t minutes, uint16_t millisecondsOfMinute);

    // "HH:MM:SS.mmm"
    std::string toString() const;

    uint16_t getHours() const { return hours; }
    uint16_t getMinutes() const { return minutes; }
    uint16_t getMillisecondsOfMinute() const { return millisecondsOfMinute; }

  private:
    uint16_t hours = 0;
    uint16_t minutes = 0;
    uint16_t millisecondsOfMinute = 0;
};
