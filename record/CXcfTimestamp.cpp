#include "record/CXcfTimestamp.h"

#include <cstdio>

namespace {
constexpr int32_t kNanosecondsPerSecond = 1000000000;
}  // namespace

CXcfTimestamp::CXcfTimestamp(int32_t newSeconds, int32_t newNanoseconds) {
    set(newSeconds, newNanoseconds);
}

void CXcfTimestamp::set(int32_t newSeconds, int32_t newNanoseconds) {
    // Carrying whole seconds out of the nanoseconds may overflow the seconds; the stored
    // value wraps around as 32-bit arithmetic would, computed in a wider type so that the
    // wrap is well defined.
    const int64_t carried =
        static_cast<int64_t>(newSeconds) + newNanoseconds / kNanosecondsPerSecond;
    int32_t s = static_cast<int32_t>(static_cast<uint32_t>(carried));
    int32_t n = newNanoseconds % kNanosecondsPerSecond;

    // Borrowing cannot overflow: s is at least 1 or at most -1 here.
    if (s > 0 && n < 0) {
        s -= 1;
        n += kNanosecondsPerSecond;
    } else if (s < 0 && n > 0) {
        s += 1;
        n -= kNanosecondsPerSecond;
    }
    seconds = s;
    nanoseconds = n;
}

std::string CXcfTimestamp::toString() const {
    char text[32];
    const int written = std::snprintf(text, sizeof text, "%.2d:%.9d", static_cast<int>(seconds),
                                      static_cast<int>(nanoseconds));
    if (written < 0) {
        return std::string();
    }
    return std::string(text);
}
