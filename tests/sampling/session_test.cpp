// The remote session's start and end against the simulated remote: what each start
// comes to, what the user is told and when, and what the remote is left with.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "remote_session.h"
#include "sim_control.h"
#include "sim_run.h"

namespace {

// What OpenSession told, with how many events the remote's log held at the time.
std::vector<std::string> told;
size_t eventsWhenTold = 0;

void RecordFailure(const char* text) {
    told.push_back(text);
    eventsWhenTold = SimLogEvents().size();
}

struct StartCase {
    const char* scenario;
    bool declines; // goAhead says no
    SessionStart start;
    std::vector<std::string> told;
    size_t toldAfter; // events on the remote when it was told
    std::vector<std::string> events; // on the remote, once the session is over
};

// What each start comes to, what it tells and what it leaves on the remote. A
// failure is told before anything is undone, while the device is still open.
TEST(RemoteSession, EachStartLeavesTheRemoteAsItSays) {
    const std::vector<std::string> lit = {"open", kModeAccel, kAllLeds};
    const StartCase cases[] = {
        {"present=0", false, SessionStart::NotFound, {"Wii-Remote not found."}, 1, {"open-failed"}},
        {"stream=0", false, SessionStart::CannotOpen, {"Wii-Remote cannot open."}, 2,
         {"open", kModeAccel, "close"}},
        {"", true, SessionStart::Declined, {}, 0,
         {"open", kModeAccel, kRelease[0], kRelease[1], kRelease[2]}},
        {"", false, SessionStart::Streaming, {}, 0,
         {"open", kModeAccel, kAllLeds, kRelease[0], kRelease[1], kRelease[2]}},
    };
    for (const StartCase& c : cases) {
        SCOPED_TRACE(c.scenario);
        // A busy machine can keep the probe thread from reading within its 100 ms.
        SessionStart start = SessionStart::NotFound;
        for (int attempt = 0; attempt < 3; ++attempt) {
            StartFreshRun(c.scenario);
            told.clear();
            start = OpenSession(RecordFailure, [&c] { return !c.declines; });
            if (start != SessionStart::CannotOpen || c.start == SessionStart::CannotOpen) {
                break;
            }
            EXPECT_EQ(SimReadCount(), 0) << "the probe read and still failed";
        }
        ASSERT_EQ(start, c.start);
        EXPECT_EQ(told, c.told);
        if (!c.told.empty()) {
            EXPECT_EQ(eventsWhenTold, c.toldAfter);
        }
        if (start == SessionStart::Streaming) {
            EXPECT_EQ(SimLogEvents(), lit);
            EXPECT_TRUE(TakeOverReports());
            EndSession();
        }
        EXPECT_EQ(SimLogEvents(), c.events);
        EXPECT_TRUE(SimMisuse().empty());
    }
}

} // namespace
