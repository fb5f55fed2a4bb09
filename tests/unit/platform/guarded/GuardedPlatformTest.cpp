#include "platform/guarded/GuardedPlatform.h"

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <new>
#include <thread>

#ifndef _WIN32
#include <sys/mman.h>
#endif

#include <gtest/gtest.h>

#include "FakePlatform.h"

using namespace std::chrono_literals;

namespace {

// What the test shares with the fakes its workers run: the gate and the count of operations started. Worker
// processes have copies of their own of the fake, so both live in memory shared with them.
struct Gate {
    std::atomic<int> started{0};
    std::atomic<bool> open{false};
};

Gate* NewGate() {
#ifdef _WIN32
    return new Gate; // worker threads share the test's memory; left to the end of the test program
#else
    void* memory = mmap(nullptr, sizeof(Gate), PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0);
    return memory == MAP_FAILED ? nullptr : new (memory) Gate;
#endif
}

// A fake whose queries of the drives "N:\" and "M:\" block until the test opens the gate.
class HangingPlatform : public FakePlatform {
public:
    explicit HangingPlatform(Gate* gate) : m_gate(gate) {
        AddDrive('C', 1000, 400);
        AddDrive('N', 2000, 500, DriveType::Remote);
        AddDrive('M', 3000, 600, DriveType::Remote);
    }

    std::optional<VolumeSpace> DiskFreeSpace(std::string_view root) const override {
        ++m_gate->started;
        Wait(root);
        return FakePlatform::DiskFreeSpace(root);
    }
    DriveType GetDriveType(std::string_view root) const override {
        ++m_gate->started;
        Wait(root);
        return FakePlatform::GetDriveType(root);
    }

    // File operations block in folders named "hung" and answer success without touching a disk; the file
    // never exists, so an existence check that overran (and answers true) is told apart.
    bool RenameNoReplace(const std::string& from, const std::string& to) override {
        ++m_gate->started;
        Wait(from);
        Wait(to);
        return true;
    }
    bool CreateOrTruncate(const std::string& path) override { return Answer(path, true); }
    std::optional<std::string> ReadTextFile(const std::string& path) const override { return Answer(path, "text"); }
    bool FileExists(const std::string& path) const override { return Answer(path, false); }
    bool ReplaceFileAtomically(const std::string& path, std::string_view) override { return Answer(path, true); }
    std::string CurrentDriveLetter() const override { return Answer(hangCurrentLetter ? "hung/" : "", currentLetter); }

    bool hangCurrentLetter = false;

private:
    template <typename T> T Answer(std::string_view path, T answer) const {
        ++m_gate->started;
        Wait(path);
        return answer;
    }

    void Wait(std::string_view path) const {
        const bool hangs = path == "N:\\" || path == "n:\\" || path == "M:\\" ||
                           path.find("hung/") != std::string_view::npos ||
                           path.find("hung\\") != std::string_view::npos;
        while (hangs && !m_gate->open) {
            std::this_thread::sleep_for(1ms);
        }
    }

    Gate* m_gate;
};

bool WaitFor(const std::function<bool()>& condition) {
    for (int i = 0; i < 500 && !condition(); ++i) {
        std::this_thread::sleep_for(10ms);
    }
    return condition();
}

struct Fixture {
    explicit Fixture(
        std::chrono::milliseconds bound = 50ms, std::function<void(HangingPlatform&)> setUp = [](HangingPlatform&) {})
        : guarded(
              [gate = gate, setUp] {
                  auto platform = std::make_unique<HangingPlatform>(gate);
                  setUp(*platform);
                  return platform;
              },
              bound) {}
    void Open() { gate->open = true; }
    int Started() const { return gate->started; }

    Gate* gate = NewGate();
    // Opens the gate only once the platform has gone, so the platform is destroyed with its operations hanging.
    std::unique_ptr<Gate, void (*)(Gate*)> openAtEnd{gate, [](Gate* opened) { opened->open = true; }};
    GuardedPlatform guarded;
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
    const int started = f.Started();

    // Further queries of the stuck drive fail at once without a second query; other drives still answer.
    for (int i = 0; i < 5; ++i) {
        EXPECT_FALSE(f.guarded.DiskFreeSpace("N:\\"));
        EXPECT_FALSE(f.guarded.DiskFreeSpace("n:\\"));
    }
    EXPECT_EQ(f.Started(), started);
    EXPECT_TRUE(f.guarded.DiskFreeSpace("C:\\"));

    // Once the earlier query has returned, the drive is queried again.
    f.Open();
    ASSERT_TRUE(WaitFor([&] { return !f.guarded.IsStuck("N:\\"); }));
    const auto space = f.guarded.DiskFreeSpace("N:\\");
    ASSERT_TRUE(space);
    EXPECT_EQ(space->freeBytes, 500ull << 20);
}

TEST(GuardedPlatform, CurrentLetterThatHangsIsNoLetterAndStopsTheCurrentVolumeToo) {
    Fixture f(50ms, [](HangingPlatform& platform) { platform.hangCurrentLetter = true; });
    EXPECT_EQ(f.guarded.CurrentDriveLetter(), "");
    EXPECT_FALSE(f.guarded.CurrentDiskFreeSpace());
    f.Open();
    EXPECT_TRUE(WaitFor([&] { return f.guarded.CurrentDriveLetter() == "C"; }));
}

TEST(GuardedPlatform, DriveBatchWaitsOneBoundForAllAndAsksAStuckDriveNoMore) {
    Fixture f(300ms);
    GuardedPlatform& guarded = f.guarded;
    const auto start = std::chrono::steady_clock::now();
    const std::vector<DriveAnswer> answers = guarded.QueryDrives({"N:\\", "C:\\", "M:\\", "c:\\"});
    const auto elapsed = std::chrono::steady_clock::now() - start;
    EXPECT_GE(elapsed, 300ms);
    EXPECT_LT(elapsed, 550ms); // one bound for both hanging drives, not one each
    ASSERT_EQ(answers.size(), 4U);
    for (const std::size_t hung : {0U, 2U}) {
        EXPECT_FALSE(answers[hung].answeredInTime) << hung;
        EXPECT_FALSE(answers[hung].space) << hung;
        EXPECT_EQ(answers[hung].type, DriveType::Remote) << hung;
    }
    for (const std::size_t fine : {1U, 3U}) {
        EXPECT_TRUE(answers[fine].answeredInTime) << fine;
        ASSERT_TRUE(answers[fine].space) << fine;
        EXPECT_EQ(answers[fine].space->freeBytes, 400ull << 20);
        EXPECT_EQ(answers[fine].type, DriveType::Fixed);
    }
    EXPECT_EQ(f.Started(), 4); // two hanging type queries, C's type and capacity once

    // Asked again while their queries are outstanding, the stuck drives answer at once.
    const auto again = std::chrono::steady_clock::now();
    const std::vector<DriveAnswer> second = guarded.QueryDrives({"N:\\", "M:\\"});
    EXPECT_LT(std::chrono::steady_clock::now() - again, 100ms);
    EXPECT_FALSE(second[0].answeredInTime);
    EXPECT_FALSE(second[1].answeredInTime);
    EXPECT_EQ(f.Started(), 4);
}

TEST(GuardedPlatform, HangingTypeQueryKeepsTheLastKnownTypeOrCountsAsRemote) {
    Fixture f(50ms, [](HangingPlatform& platform) { platform.drives['N'].type = DriveType::Removable; });
    EXPECT_EQ(f.guarded.GetDriveType("N:\\"), DriveType::Remote); // nothing known yet
    f.Open();
    ASSERT_TRUE(WaitFor([&] { return !f.guarded.IsStuck("N:\\"); }));
    EXPECT_EQ(f.guarded.GetDriveType("N:\\"), DriveType::Removable);
}

TEST(GuardedPlatform, DestructionWithAQueryStillHangingIsSafe) {
    const auto start = std::chrono::steady_clock::now();
    {
        Fixture f(20ms);
        EXPECT_FALSE(f.guarded.DiskFreeSpace("N:\\"));
    }
    EXPECT_LT(std::chrono::steady_clock::now() - start, 1s);
}

// One file operation and whether it gave the wrapped platform's answer rather than its failed value.
struct FileOperation {
    const char* name;
    std::function<bool(Platform&, const std::string& path)> answered;
};

void PrintTo(const FileOperation& operation, std::ostream* os) {
    *os << operation.name;
}

const FileOperation kFileOperations[] = {
    {"rename", [](Platform& p, const std::string& path) { return p.RenameNoReplace(path, path + "2"); }},
    {"create", [](Platform& p, const std::string& path) { return p.CreateOrTruncate(path); }},
    {"read", [](Platform& p, const std::string& path) { return p.ReadTextFile(path) == "text"; }},
    {"exists", [](Platform& p, const std::string& path) { return !p.FileExists(path); }},
    {"replace", [](Platform& p, const std::string& path) { return p.ReplaceFileAtomically(path, "x"); }},
};

class FolderBoundTest : public ::testing::TestWithParam<FileOperation> {};

TEST_P(FolderBoundTest, OverrunFailsAndTheFolderIsNotAskedAgainUntilItAnswers) {
    Fixture f;
    const std::string path = "/mnt/hung/空容量1 MByte";
    EXPECT_FALSE(GetParam().answered(f.guarded, path));
    EXPECT_TRUE(f.guarded.FolderStuck("/mnt/hung/tarvellin.ini"));
    const int started = f.Started();

    // Every operation in the stuck folder fails at once without reaching it; other folders still answer.
    for (const FileOperation& operation : kFileOperations) {
        EXPECT_FALSE(operation.answered(f.guarded, "/mnt/hung/other")) << operation.name;
    }
    EXPECT_EQ(f.Started(), started);
    EXPECT_TRUE(GetParam().answered(f.guarded, "/mnt/fine/空容量1 MByte"));

    // Once the earlier operation has returned, the folder is asked again.
    f.Open();
    ASSERT_TRUE(WaitFor([&] { return !f.guarded.FolderStuck(path); }));
    EXPECT_TRUE(GetParam().answered(f.guarded, path));
}

INSTANTIATE_TEST_SUITE_P(AllFileOperations, FolderBoundTest, ::testing::ValuesIn(kFileOperations),
                         [](const auto& info) { return std::string(info.param.name); });

// A path whose operation overran, another path, and whether the other path's folder is stuck with it.
struct FolderKeyCase {
    const char* overran;
    const char* probe;
    bool stuck;
};

TEST(GuardedPlatform, FolderIsThePathUpToItsLastSeparatorOfEitherKind) {
    const FolderKeyCase cases[] = {
        {"/mnt/hung/a", "/mnt/hung/b", true},       {"/mnt/hung/a", "/mnt/hung/sub/a", false},
        {"/mnt/hung/a", "/mnt/a", false},           {"D:\\hung\\a", "D:\\hung\\b", true},
        {"D:\\hung\\a", "D:\\hung\\sub\\a", false}, {"share/hung\\a", "share/hung\\b", true},
        {"share/hung\\a", "share/b", false},        {"/mnt/hung/a", "a", false},
    };
    for (const FolderKeyCase& c : cases) {
        Fixture f;
        EXPECT_FALSE(f.guarded.CreateOrTruncate(c.overran));
        EXPECT_EQ(f.guarded.FolderStuck(c.probe), c.stuck) << c.overran << " / " << c.probe;
        f.Open();
    }
}

TEST(GuardedPlatform, MoveNeedsBothFoldersAndAnOverrunLeavesBothStuck) {
    Fixture f;
    EXPECT_FALSE(f.guarded.CreateOrTruncate("/a/hung/x")); // the folder is stuck from now on
    const int started = f.Started();
    EXPECT_FALSE(f.guarded.RenameNoReplace("/a/hung/x", "/b/x"));
    EXPECT_FALSE(f.guarded.RenameNoReplace("/b/x", "/a/hung/x"));
    EXPECT_EQ(f.Started(), started);
    EXPECT_FALSE(f.guarded.FolderStuck("/b/x")); // a refused move leaves the answering folder free
    f.Open();
    ASSERT_TRUE(WaitFor([&] { return !f.guarded.FolderStuck("/a/hung/x"); }));

    Fixture g;
    EXPECT_FALSE(g.guarded.RenameNoReplace("/b/x", "/c/hung/x")); // overruns
    EXPECT_TRUE(g.guarded.FolderStuck("/b/y"));
    EXPECT_TRUE(g.guarded.FolderStuck("/c/hung/y"));
    EXPECT_FALSE(g.guarded.CreateOrTruncate("/b/y"));
    g.Open();
    ASSERT_TRUE(WaitFor([&] { return !g.guarded.FolderStuck("/b/y") && !g.guarded.FolderStuck("/c/hung/y"); }));
    EXPECT_TRUE(g.guarded.CreateOrTruncate("/b/y"));
    EXPECT_TRUE(g.guarded.RenameNoReplace("/b/y", "/c/hung/y"));
}

TEST(GuardedPlatform, StopRequestEndsAWaitEarly) {
    Fixture f(10s);
    GuardedPlatform& guarded = f.guarded;
    std::atomic<bool> stop{false};
    guarded.AbandonWaitsWhen([&] { return stop.load(); });
    std::thread stopper([&] {
        std::this_thread::sleep_for(100ms);
        stop = true;
    });
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(guarded.CreateOrTruncate("/mnt/hung/x"));
    EXPECT_LT(std::chrono::steady_clock::now() - start, 1s);
    EXPECT_TRUE(guarded.FolderStuck("/mnt/hung/x"));
    EXPECT_TRUE(guarded.CreateOrTruncate("/mnt/fine/x")); // an answering folder still answers
    stopper.join();
}

TEST(GuardedPlatform, DestructionDoesNotWaitForAHangingMove) {
    const auto start = std::chrono::steady_clock::now();
    {
        Fixture f(20ms);
        EXPECT_FALSE(f.guarded.RenameNoReplace("/a/x", "/b/hung/x"));
        EXPECT_FALSE(f.guarded.CreateOrTruncate("/b/hung/y"));
    }
    EXPECT_LT(std::chrono::steady_clock::now() - start, 1s);
}

} // namespace
