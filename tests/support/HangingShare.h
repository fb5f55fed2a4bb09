#pragma once

#include <filesystem>
#include <string>

#include <sys/types.h>

// A share that stops answering on demand: a pass-through FUSE filesystem over a backing folder, mounted on
// a folder for the life of the object. Mounting needs root and /dev/fuse; Mounted() tells whether it
// worked, so a test can skip cleanly where it did not.
class HangingShare {
public:
    HangingShare(const std::filesystem::path& backing, const std::filesystem::path& mountPoint);
    // Lets every waiting operation go on, then unmounts.
    ~HangingShare();
    HangingShare(const HangingShare&) = delete;
    HangingShare& operator=(const HangingShare&) = delete;

    bool Mounted() const { return m_mounted; }
    // From now on every operation on the share waits (one its caller gives up on fails with EINTR).
    void Hang();
    // The share answers again, waiting operations included.
    void Answer();

private:
    std::filesystem::path m_mountPoint;
    std::filesystem::path m_flag;
    pid_t m_daemon = -1;
    bool m_mounted = false;
};

#define REQUIRE_SHARE(s)                                                                                               \
    if (!(s).Mounted())                                                                                                \
    GTEST_SKIP() << "needs root and FUSE"
