#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>

#include "record/CXcfTimeOfDay.h"
#include "record/CXcfTimestamp.h"

namespace {

struct TimeOfDayCase {
    uint16_t hours, minutes, millis;
    uint16_t expectHours, expectMinutes, expectMillis;
    const char* text;
};

class TimeOfDaySet : public ::testing::TestWithParam<TimeOfDayCase> {};

TEST_P(TimeOfDaySet, ClampsEachFieldOnItsOwnAndFormats) {
    const TimeOfDayCase& c = GetParam();
    CXcfTimeOfDay time;
    time.set(c.hours, c.minutes, c.millis);
    EXPECT_EQ(time.getHours(), c.expectHours);
    EXPECT_EQ(time.getMinutes(), c.expectMinutes);
    EXPECT_EQ(time.getMillisecondsOfMinute(), c.expectMillis);
    EXPECT_EQ(time.toString(), c.text);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, TimeOfDaySet,
    ::testing::Values(TimeOfDayCase{0, 0, 0, 0, 0, 0, "00:00:00.000"},
                      TimeOfDayCase{9, 5, 7250, 9, 5, 7250, "09:05:07.250"},
                      TimeOfDayCase{23, 59, 59999, 23, 59, 59999, "23:59:59.999"},
                      TimeOfDayCase{24, 60, 60000, 23, 59, 59999, "23:59:59.999"},
                      TimeOfDayCase{25, 70, 61000, 23, 59, 59999, "23:59:59.999"},
                      TimeOfDayCase{65535, 65535, 65535, 23, 59, 59999, "23:59:59.999"}));

TEST(TimeOfDay, DefaultCopyAndSelfAssignment) {
    CXcfTimeOfDay time;
    EXPECT_EQ(time.toString(), "00:00:00.000");
    time.set(12, 34, 56789);
    CXcfTimeOfDay copy(time);
    const CXcfTimeOfDay& alias = copy;
    copy = alias;
    EXPECT_EQ(copy.toString(), "12:34:56.789");
}

struct TimestampCase {
    int32_t seconds, nanoseconds;
    int32_t expectSeconds, expectNanoseconds;
    const char* text;
};

class TimestampNormalise : public ::testing::TestWithParam<TimestampCase> {};

TEST_P(TimestampNormalise, ConstructionAndSetAgree) {
    const TimestampCase& c = GetParam();
    const CXcfTimestamp made(c.seconds, c.nanoseconds);
    CXcfTimestamp reset(99, 1);
    const CXcfTimestamp& resetView = reset;
    reset.set(c.seconds, c.nanoseconds);
    for (const CXcfTimestamp* t : {&made, &resetView}) {
        EXPECT_EQ(t->getSeconds(), c.expectSeconds);
        EXPECT_EQ(t->getNanoseconds(), c.expectNanoseconds);
        EXPECT_EQ(t->toString(), c.text);
    }
}

constexpr int32_t kMax = std::numeric_limits<int32_t>::max();
constexpr int32_t kMin = std::numeric_limits<int32_t>::min();

INSTANTIATE_TEST_SUITE_P(
    Cases, TimestampNormalise,
    ::testing::Values(TimestampCase{0, 0, 0, 0, "00:000000000"},
                      TimestampCase{7, 5, 7, 5, "07:000000005"},
                      TimestampCase{123, 0, 123, 0, "123:000000000"},
                      TimestampCase{0, -5, 0, -5, "00:-000000005"},
                      TimestampCase{1, -1, 0, 999999999, "00:999999999"},
                      TimestampCase{-1, 1, 0, -999999999, "00:-999999999"},
                      TimestampCase{0, 1500000000, 1, 500000000, "01:500000000"},
                      TimestampCase{0, -1500000000, -1, -500000000, "-01:-500000000"},
                      TimestampCase{-3, -1500000000, -4, -500000000, "-04:-500000000"},
                      TimestampCase{5, 2000000000, 7, 0, "07:000000000"},
                      // Seconds overflowing in the carry wrap around as 32-bit values.
                      TimestampCase{kMax, 1500000000, kMin + 1, -500000000,
                                    "-2147483647:-500000000"},
                      TimestampCase{kMin, -2000000000, kMax - 1, 0, "2147483646:000000000"},
                      TimestampCase{kMin, kMin, kMax - 2, 852516352, "2147483645:852516352"}));

TEST(Timestamp, CopyAndSelfAssignmentKeepFields) {
    CXcfTimestamp stamp(-3, -1500000000);
    const CXcfTimestamp& alias = stamp;
    stamp = alias;
    const CXcfTimestamp copy(stamp);
    EXPECT_EQ(copy.getSeconds(), -4);
    EXPECT_EQ(copy.getNanoseconds(), -500000000);
}

}  // namespace
