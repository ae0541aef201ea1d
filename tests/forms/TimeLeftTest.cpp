#include "forms/TimeLeft.h"

#include <gtest/gtest.h>

namespace qob {
namespace {

TEST(TimeLeft, RateAndTimeLeftFollowTheBytesOfThePhase) {
    using namespace std::chrono_literals;
    const TimeLeft::Clock::time_point t0{};
    TimeLeft estimate;
    estimate.start(t0);
    struct Case {
        std::chrono::milliseconds after;
        std::uint64_t done, total;
        std::string text;
    } cases[] = {
        {500ms, 5'000'000, 10'000'000, ""},                  // too early to say
        {2s, 0, 10'000'000, ""},                             // nothing done yet
        {2s, 10'000'000, 0, "5.0 MB/s"},                     // total unknown
        {2s, 10'000'000, 20'000'000, "5.0 MB/s, 0:02 left"}, // rounded up
        {10s, 10'000'000, 7'210'000'000, "1.0 MB/s, 2:00:00 left"},
        {2s, 20'000'000, 20'000'000, "10.0 MB/s"}, // done: no time left
    };
    for (const Case& c : cases) {
        EXPECT_EQ(estimate.update(c.done, c.total, t0 + c.after), c.text) << c.after.count() << " ms";
    }
    estimate.start(t0 + 10s); // a new phase counts from its own start
    EXPECT_EQ(estimate.update(1'000'000, 0, t0 + 11s), "1.0 MB/s");
    EXPECT_EQ(durationText(59), "0:59");
    EXPECT_EQ(durationText(3600 + 61), "1:01:01");
}

} // namespace
} // namespace qob
