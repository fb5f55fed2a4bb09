#include "platform/guarded/GuardedPlatform.h"

#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

#include <gtest/gtest.h>

#include "FakePlatform.h"

using namespace std::chrono_literals;

namespace {

// A fake whose queries of the drive "N:\" block until the test opens the gate.
class HangingPlatform : public FakePlatform {
public:
    HangingPlatform() {
        AddDrive('C', 1000, 400);
        AddDrive('N', 2000, 500, DriveType::Remote);
    }

    void Open() {
        std::lock_guard lock(m_mutex);
        m_open = true;
        m_gate.notify_all();
    }

    std::optional<VolumeSpace> DiskFreeSpace(std::string_view root) override {
        ++started;
        Wait(root);
        return FakePlatform::DiskFreeSpace(root);
    }
    DriveType GetDriveType(std::string_view root) override {
        ++started;
        Wait(root);
        return FakePlatform::GetDriveType(root);
    }

    std::atomic<int> started{0};

private:
    void Wait(std::string_view root) {
        if (root == "N:\\" || root == "n:\\") {
            std::unique_lock lock(m_mutex);
            m_gate.wait(lock, [this] { return m_open; });
        }
    }

    std::mutex m_mutex;
    std::condition_variable m_gate;
    bool m_open = false;
};

bool WaitFor(const std::function<bool()>& condition) {
    for (int i = 0; i < 500 && !condition(); ++i) {
        std::this_thread::sleep_for(10ms);
    }
    return condition();
}

struct Fixture {
    std::shared_ptr<HangingPlatform> inner = std::make_shared<HangingPlatform>();
    GuardedPlatform guarded{inner, 50ms};
};

TEST(GuardedPlatform, AnsweringDrivesPassThrough) {
    Fixture f;
    const auto space = f.guarded.DiskFreeSpace("C:\\");
    ASSERT_TRUE(space);
    EXPECT_EQ(space->totalBytes, 1000ull << 20);
    EXPECT_EQ(f.guarded.GetDriveType("c:\\"), DriveType::Fixed);
    EXPECT_EQ(f.guarded.GetDriveType("Q:\\"), DriveType::NoRootDir);
    EXPECT_TRUE(f.guarded.CurrentDiskFreeSpace());
    EXPECT_FALSE(f.guarded.IsStuck("C:\\"));
}

TEST(GuardedPlatform, HangingQueryFailsAndIsNotRepeatedUntilItReturns) {
    Fixture f;
    EXPECT_FALSE(f.guarded.DiskFreeSpace("N:\\"));
    EXPECT_TRUE(f.guarded.IsStuck("n:\\"));
    const int started = f.inner->started;

    // Further queries of the stuck drive fail at once without a second query; other drives still answer.
    for (int i = 0; i < 5; ++i) {
        EXPECT_FALSE(f.guarded.DiskFreeSpace("N:\\"));
        EXPECT_FALSE(f.guarded.DiskFreeSpace("n:\\"));
    }
    EXPECT_EQ(f.inner->started, started);
    EXPECT_TRUE(f.guarded.DiskFreeSpace("C:\\"));

    // Once the earlier query has returned, the drive is queried again.
    f.inner->Open();
    ASSERT_TRUE(WaitFor([&] { return !f.guarded.IsStuck("N:\\"); }));
    const auto space = f.guarded.DiskFreeSpace("N:\\");
    ASSERT_TRUE(space);
    EXPECT_EQ(space->freeBytes, 500ull << 20);
}

TEST(GuardedPlatform, HangingTypeQueryKeepsTheLastKnownTypeOrCountsAsRemote) {
    Fixture f;
    EXPECT_EQ(f.guarded.GetDriveType("N:\\"), DriveType::Remote); // nothing known yet
    f.inner->drives['N'].type = DriveType::Removable;
    f.inner->Open();
    ASSERT_TRUE(WaitFor([&] { return !f.guarded.IsStuck("N:\\"); }));
    EXPECT_EQ(f.guarded.GetDriveType("N:\\"), DriveType::Removable);
}

TEST(GuardedPlatform, DestructionWithAQueryStillHangingIsSafe) {
    auto inner = std::make_shared<HangingPlatform>();
    {
        GuardedPlatform guarded(inner, 20ms);
        EXPECT_FALSE(guarded.DiskFreeSpace("N:\\"));
    }
    inner->Open(); // the abandoned query returns after its platform wrapper is gone
    EXPECT_TRUE(WaitFor([&] { return inner.use_count() == 1; }));
}

} // namespace
