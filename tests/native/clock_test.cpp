// The clock seam: tests can replace the time source and restore the real one.
#include <gtest/gtest.h>

#include "rtl/Clock.h"

TEST(Clock, ReplacedSourceIsReadAndRealOneRestored) {
    using namespace std::chrono;
    const rtl::TimePoint fixed = system_clock::from_time_t(1000000000) + milliseconds(250);
    rtl::SetTimeSource([&] { return fixed; });
    EXPECT_EQ(rtl::Now(), fixed);
    rtl::SetTimeSource(nullptr);
    const auto real = system_clock::now();
    EXPECT_LE(duration_cast<seconds>(real - rtl::Now()).count(), 1);
    EXPECT_GE(rtl::Now(), real);
}

TEST(Clock, LocalTimeStepsByTheMinute) {
    using namespace std::chrono;
    const rtl::TimePoint t = system_clock::from_time_t(1700000000);
    const rtl::LocalTime a = rtl::ToLocal(t), b = rtl::ToLocal(t + minutes(1));
    EXPECT_EQ((a.minute + 1) % 60, b.minute);
    EXPECT_EQ(a.second, b.second);
    EXPECT_GE(a.month, 1);
    EXPECT_LE(a.month, 12);
}
