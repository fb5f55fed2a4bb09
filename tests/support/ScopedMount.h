#pragma once

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include <sys/mount.h>
#include <unistd.h>

// A filesystem mounted on a folder for the life of the object. Mounting needs root; Mounted() tells
// whether it worked, so a test can skip cleanly where it did not.
class ScopedMount {
public:
    // Mounts a filesystem without a device, such as tmpfs with "size=1m".
    ScopedMount(const std::filesystem::path& folder, const char* type, const char* options) : m_folder(folder) {
        std::filesystem::create_directories(folder);
        m_mounted = geteuid() == 0 && mount(type, folder.c_str(), type, 0, options) == 0;
    }
    // Mounts an image file through a loop device with mount(8).
    ScopedMount(const std::filesystem::path& folder, const std::filesystem::path& image) : m_folder(folder) {
        std::filesystem::create_directories(folder);
        const std::string command = "mount -o loop '" + image.string() + "' '" + folder.string() + "' 2>/dev/null";
        m_mounted = geteuid() == 0 && std::system(command.c_str()) == 0;
    }
    enum class Bind { ReadWrite, ReadOnly };
    // Bind-mounts a file or a folder onto target (an empty file or folder is made there when missing).
    ScopedMount(const std::filesystem::path& source, const std::filesystem::path& target, Bind mode)
        : m_folder(target) {
        if (std::filesystem::is_directory(source)) {
            std::filesystem::create_directories(target);
        } else if (!std::filesystem::exists(target)) {
            std::ofstream{target};
        }
        m_mounted = geteuid() == 0 && mount(source.c_str(), target.c_str(), nullptr, MS_BIND, nullptr) == 0;
        if (m_mounted && mode == Bind::ReadOnly &&
            mount(nullptr, target.c_str(), nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY, nullptr) != 0) {
            Unmount();
        }
    }
    ~ScopedMount() { Unmount(); }
    ScopedMount(const ScopedMount&) = delete;
    ScopedMount& operator=(const ScopedMount&) = delete;

    bool Mounted() const { return m_mounted; }
    // Changes the mount's flags and options, e.g. MS_RDONLY; false when that failed.
    bool Remount(const char* type, unsigned long flags, const char* options) {
        return mount(type, m_folder.c_str(), type, MS_REMOUNT | flags, options) == 0;
    }
    void Unmount() {
        if (m_mounted) {
            umount2(m_folder.c_str(), MNT_DETACH);
            m_mounted = false;
        }
    }

private:
    std::filesystem::path m_folder;
    bool m_mounted = false;
};

#define REQUIRE_MOUNT(m)                                                                                               \
    if (!(m).Mounted())                                                                                                \
    GTEST_SKIP() << "needs root and mount()"
