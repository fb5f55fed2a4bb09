#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <unistd.h>
#include <vector>

#include "PollLoop.h"

using namespace std::chrono_literals;

TEST(PollLoopTest, TimersFireInDueOrderNeverEarlyAndNotOnceStoppedOrReArmed) {
    PollLoop loop;
    const std::int64_t start = loop.Now();
    std::vector<std::string> fired;
    const auto record = [&](const char* name, std::int64_t notBefore) {
        fired.push_back(name);
        EXPECT_GE(loop.Now() - start, notBefore) << name;
    };
    const auto late = loop.CreateTimer([&] { record("late", 30); });
    const auto early = loop.CreateTimer([&] { record("early", 10); });
    const auto stopped = loop.CreateTimer([&] { record("stopped", 0); });
    const auto last = loop.CreateTimer([&] {
        record("last", 40);
        loop.Quit(3);
    });
    late->Start(30ms);
    early->Start(10ms);
    stopped->Start(5ms);
    stopped->Stop();
    last->Start(1ms);
    last->Start(40ms); // replaces the earlier time
    EXPECT_EQ(loop.Run(), 3);
    EXPECT_EQ(fired, (std::vector<std::string>{"early", "late", "last"}));
}

// Two readable pipes: the first one's handler ends the watch of the second, which then hears nothing, while
// a timer that re-arms itself at once keeps firing without starving the descriptors.
TEST(PollLoopTest, HandlersMayEndWatchesAndBusyTimersStarveNoDescriptor) {
    struct Pipe {
        Pipe() { EXPECT_EQ(::pipe(fds), 0); }
        ~Pipe() {
            ::close(fds[0]);
            ::close(fds[1]);
        }
        int fds[2] = {-1, -1};
    } first, second;
    ASSERT_EQ(::write(first.fds[1], "x", 1), 1);
    ASSERT_EQ(::write(second.fds[1], "x", 1), 1);

    struct Recorder final : EventSource::Handler {
        void OnReady(Descriptor descriptor) override { action(descriptor); }
        std::function<void(Descriptor)> action;
    } handler;
    PollLoop loop;
    std::vector<Descriptor> ready;
    handler.action = [&](Descriptor descriptor) {
        ready.push_back(descriptor);
        loop.Unwatch(first.fds[0]);
        loop.Unwatch(second.fds[0]);
        loop.Quit(0);
    };
    int ticks = 0;
    std::unique_ptr<EventTimer> busy;
    busy = loop.CreateTimer([&] {
        ++ticks;
        busy->Start(0ms);
    });
    busy->Start(0ms);
    loop.Watch(first.fds[0], EventSource::Interest::Read, handler);
    loop.Watch(second.fds[0], EventSource::Interest::Read, handler);
    EXPECT_EQ(loop.Run(), 0);
    EXPECT_EQ(ready, (std::vector<Descriptor>{first.fds[0]}));
    EXPECT_EQ(ticks, 1);
}
