#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>
#include <tuple>

#include "record/CXcfTimeOfDay.h"
#include "record/CXcfTimestamp.h"

namespace {

// hours, minutes, milliseconds given; text expected
using TimeOfDayCase = std::tuple<uint16_t, uint16_t, uint16_t, std::string>;
class TimeOfDaySet : public ::testing::TestWithParam<TimeOfDayCase> {};

TEST_P(TimeOfDaySet, ClampsEachFieldOnItsOwn) {
    CXcfTimeOfDay time;
    time.set(std::get<0>(GetParam()), std::get<1>(GetParam()), std::get<2>(GetParam()));
    EXPECT_EQ(time.toString(), std::get<3>(GetParam()));
}

INSTANTIATE_TEST_SUITE_P(Cases, TimeOfDaySet,
                         ::testing::Values(TimeOfDayCase{0, 0, 0, "00:00:00.000"},
                                           TimeOfDayCase{9, 5, 7250, "09:05:07.250"},
                                           TimeOfDayCase{23, 59, 59999, "23:59:59.999"},
                                           TimeOfDayCase{24, 60, 60000, "23:59:59.999"},
                                           TimeOfDayCase{65535, 3, 65535, "23:03:59.999"}));

// seconds, nanoseconds given; seconds, nanoseconds and text expected
using TimestampCase = std::tuple<int32_t, int32_t, int32_t, int32_t, std::string>;
class TimestampNormalise : public ::testing::TestWithParam<TimestampCase> {};

TEST_P(TimestampNormalise, ConstructionAndSetAgree) {
    const auto [s, n, expectS, expectN, text] = GetParam();
    CXcfTimestamp reset(99, 1);
    reset.set(s, n);
    int made = 0;
    for (const CXcfTimestamp& t : {CXcfTimestamp(s, n), reset}) {
        SCOPED_TRACE(made++ == 0 ? "constructed" : "set");
        EXPECT_EQ(t.getSeconds(), expectS);
        EXPECT_EQ(t.getNanoseconds(), expectN);
        EXPECT_EQ(t.toString(), text);
    }
}

constexpr int32_t kMax = std::numeric_limits<int32_t>::max();
constexpr int32_t kMin = std::numeric_limits<int32_t>::min();

INSTANTIATE_TEST_SUITE_P(
    Cases, TimestampNormalise,
    ::testing::Values(TimestampCase{7, 5, 7, 5, "07:000000005"},
                      TimestampCase{123, 0, 123, 0, "123:000000000"},
                      TimestampCase{0, -5, 0, -5, "00:-000000005"},
                      TimestampCase{1, -1, 0, 999999999, "00:999999999"},
                      TimestampCase{-1, 1, 0, -999999999, "00:-999999999"},
                      TimestampCase{0, 1500000000, 1, 500000000, "01:500000000"},
                      TimestampCase{0, -1500000000, -1, -500000000, "-01:-500000000"},
                      TimestampCase{-3, -1500000000, -4, -500000000, "-04:-500000000"},
                      TimestampCase{5, 2000000000, 7, 0, "07:000000000"},
                      // A carry that overflows the seconds wraps around as 32-bit values.
                      TimestampCase{kMax, 1500000000, kMin + 1, -500000000,
                                    "-2147483647:-500000000"},
                      TimestampCase{kMin, kMin, kMax - 2, 852516352, "2147483645:852516352"}));

}  // namespace
