#include "record/CXcfTimeOfDay.h"

#include <algorithm>
#include <cstdio>

namespace {
constexpr uint16_t kMaxHours = 23;
constexpr uint16_t kMaxMinutes = 59;
constexpr uint16_t kMaxMillisecondsOfMinute = 59999;
}  // namespace

void CXcfTimeOfDay::set(uint16_t newHours, uint16_t newMinutes, uint16_t newMilliseconds) {
    hours = std::min(newHours, kMaxHours);
    minutes = std::min(newMinutes, kMaxMinutes);
    millisecondsOfMinute = std::min(newMilliseconds, kMaxMillisecondsOfMinute);
}

std::string CXcfTimeOfDay::toString() const {
    // Copies take values unchecked, so the fields may exceed the clamped ranges; the
    // buffer holds the widest 16-bit values.
    char text[32];
    const int written =
        std::snprintf(text, sizeof text, "%.2d:%.2d:%.2d.%.3d", static_cast<int>(hours),
                      static_cast<int>(minutes), static_cast<int>(millisecondsOfMinute / 1000),
                      static_cast<int>(millisecondsOfMinute % 1000));
    if (written < 0) {
        return std::string();
    }
    return std::string(text);
}
