#include "report/throttle.h"

#include <gtest/gtest.h>

namespace korvane {
namespace {

using std::chrono::milliseconds;

TEST(Throttle, DueFirstThenOnceTheIntervalHasPassedSinceItWasLastDone)
{
    Throttle::Clock::time_point now{};
    Throttle throttle(milliseconds(40));
    throttle.setClock([&now] { return now; });

    EXPECT_TRUE(throttle.due()) << "nothing done yet";
    EXPECT_TRUE(throttle.claim());
    EXPECT_FALSE(throttle.due());
    now += milliseconds(39);
    EXPECT_FALSE(throttle.claim()) << "refused claims do not restart the interval";
    now += milliseconds(1);
    EXPECT_TRUE(throttle.due());
    EXPECT_TRUE(throttle.claim());

    // A forced claim is done now, due or not, and the interval runs from it.
    now += milliseconds(10);
    EXPECT_TRUE(throttle.claim(true));
    now += milliseconds(39);
    EXPECT_FALSE(throttle.due());
    now += milliseconds(1);
    EXPECT_TRUE(throttle.due());

    // Marked done by hand: counts from then as well.
    throttle.markDone();
    EXPECT_FALSE(throttle.due());
    throttle.setInterval(milliseconds(0));
    EXPECT_TRUE(throttle.due());
}

} // namespace
} // namespace korvane
