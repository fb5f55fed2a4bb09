// A pass-through filesystem over a backing folder that stops answering on demand, as a network share whose
// server went away: while the flag file exists, every operation waits, and a request it has read is answered
// even when its caller is interrupted or killed meanwhile (as sshfs waits for its server), so a process blocked
// in it cannot end until the share answers again. Requests are answered in the order they came, as one
// connection to a server answers them.
//
// Usage: tarvellin-hanging-fs <backing folder> <flag file> <mount point> [fuse options]
#define FUSE_USE_VERSION 31

#include <fuse.h>

#include <cerrno>
#include <climits>
#include <condition_variable>
#include <cstdint>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace {

std::string g_backing;
std::string g_flag;

std::mutex g_orderMutex;
std::condition_variable g_turnChanged;
std::uint64_t g_nextTicket = 0;
std::uint64_t g_turn = 0;

// Held for the whole of one request: waits while the share hangs, then for the earlier requests to be answered.
class InOrder {
public:
    InOrder() {
        std::unique_lock lock(g_orderMutex);
        m_ticket = g_nextTicket++;
        lock.unlock();
        while (access(g_flag.c_str(), F_OK) == 0) {
            usleep(10000);
        }
        lock.lock();
        g_turnChanged.wait(lock, [this] { return g_turn == m_ticket; });
    }
    ~InOrder() {
        {
            std::lock_guard lock(g_orderMutex);
            ++g_turn;
        }
        g_turnChanged.notify_all();
    }
    InOrder(const InOrder&) = delete;
    InOrder& operator=(const InOrder&) = delete;

private:
    std::uint64_t m_ticket = 0;
};

std::string Backing(const char* path) {
    return g_backing + path;
}

int Result(int value) {
    return value < 0 ? -errno : value;
}

int DescriptorOf(const fuse_file_info* info) {
    return static_cast<int>(info->fh);
}

#define ANSWER_WHEN_UP() const InOrder turn

int GetAttr(const char* path, struct stat* info, fuse_file_info* file) {
    ANSWER_WHEN_UP();
    return Result(file != nullptr ? fstat(DescriptorOf(file), info) : lstat(Backing(path).c_str(), info));
}

int Access(const char* path, int mask) {
    ANSWER_WHEN_UP();
    return Result(access(Backing(path).c_str(), mask));
}

int ReadLink(const char* path, char* buffer, size_t size) {
    ANSWER_WHEN_UP();
    const ssize_t length = readlink(Backing(path).c_str(), buffer, size - 1);
    if (length < 0) {
        return -errno;
    }
    buffer[length] = '\0';
    return 0;
}

int ReadDir(const char* path, void* buffer, fuse_fill_dir_t fill, off_t, fuse_file_info*, fuse_readdir_flags) {
    ANSWER_WHEN_UP();
    DIR* dir = opendir(Backing(path).c_str());
    if (dir == nullptr) {
        return -errno;
    }
    while (const dirent* entry = readdir(dir)) {
        struct stat info {};
        info.st_ino = entry->d_ino;
        info.st_mode = static_cast<mode_t>(DTTOIF(entry->d_type));
        if (fill(buffer, entry->d_name, &info, 0, static_cast<fuse_fill_dir_flags>(0)) != 0) {
            break;
        }
    }
    closedir(dir);
    return 0;
}

int MakeDir(const char* path, mode_t mode) {
    ANSWER_WHEN_UP();
    return Result(mkdir(Backing(path).c_str(), mode));
}

int Unlink(const char* path) {
    ANSWER_WHEN_UP();
    return Result(unlink(Backing(path).c_str()));
}

int RemoveDir(const char* path) {
    ANSWER_WHEN_UP();
    return Result(rmdir(Backing(path).c_str()));
}

int SymLink(const char* target, const char* path) {
    ANSWER_WHEN_UP();
    return Result(symlink(target, Backing(path).c_str()));
}

int Rename(const char* from, const char* to, unsigned int flags) {
    ANSWER_WHEN_UP();
    return Result(static_cast<int>(
        syscall(SYS_renameat2, AT_FDCWD, Backing(from).c_str(), AT_FDCWD, Backing(to).c_str(), flags)));
}

int Link(const char* from, const char* to) {
    ANSWER_WHEN_UP();
    return Result(link(Backing(from).c_str(), Backing(to).c_str()));
}

int ChangeMode(const char* path, mode_t mode, fuse_file_info*) {
    ANSWER_WHEN_UP();
    return Result(chmod(Backing(path).c_str(), mode));
}

int ChangeOwner(const char* path, uid_t user, gid_t group, fuse_file_info*) {
    ANSWER_WHEN_UP();
    return Result(lchown(Backing(path).c_str(), user, group));
}

int Truncate(const char* path, off_t size, fuse_file_info* file) {
    ANSWER_WHEN_UP();
    return Result(file != nullptr ? ftruncate(DescriptorOf(file), size) : truncate(Backing(path).c_str(), size));
}

int SetTimes(const char* path, const timespec times[2], fuse_file_info*) {
    ANSWER_WHEN_UP();
    return Result(utimensat(AT_FDCWD, Backing(path).c_str(), times, AT_SYMLINK_NOFOLLOW));
}

int Create(const char* path, mode_t mode, fuse_file_info* file) {
    ANSWER_WHEN_UP();
    const int fd = open(Backing(path).c_str(), file->flags, mode);
    if (fd < 0) {
        return -errno;
    }
    file->fh = static_cast<uint64_t>(fd);
    return 0;
}

int Open(const char* path, fuse_file_info* file) {
    ANSWER_WHEN_UP();
    const int fd = open(Backing(path).c_str(), file->flags);
    if (fd < 0) {
        return -errno;
    }
    file->fh = static_cast<uint64_t>(fd);
    return 0;
}

int Read(const char*, char* buffer, size_t size, off_t offset, fuse_file_info* file) {
    ANSWER_WHEN_UP();
    return Result(static_cast<int>(pread(DescriptorOf(file), buffer, size, offset)));
}

int Write(const char*, const char* buffer, size_t size, off_t offset, fuse_file_info* file) {
    ANSWER_WHEN_UP();
    return Result(static_cast<int>(pwrite(DescriptorOf(file), buffer, size, offset)));
}

int StatFs(const char* path, struct statvfs* info) {
    ANSWER_WHEN_UP();
    return Result(statvfs(Backing(path).c_str(), info));
}

int Release(const char*, fuse_file_info* file) {
    // Closing never waits: the kernel sends it after the caller has gone.
    close(DescriptorOf(file));
    return 0;
}

int Sync(const char*, int dataOnly, fuse_file_info* file) {
    ANSWER_WHEN_UP();
    return Result(dataOnly != 0 ? fdatasync(DescriptorOf(file)) : fsync(DescriptorOf(file)));
}

void* Init(fuse_conn_info*, fuse_config* config) {
    // No caching: every access reaches this process, so a hang is seen at once.
    config->entry_timeout = 0;
    config->attr_timeout = 0;
    config->negative_timeout = 0;
    config->use_ino = 1;
    return nullptr;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 4) {
        return 2;
    }
    g_backing = argv[1];
    g_flag = argv[2];
    while (!g_backing.empty() && g_backing.back() == '/') {
        g_backing.pop_back();
    }

    fuse_operations operations{};
    operations.getattr = GetAttr;
    operations.access = Access;
    operations.readlink = ReadLink;
    operations.readdir = ReadDir;
    operations.mkdir = MakeDir;
    operations.unlink = Unlink;
    operations.rmdir = RemoveDir;
    operations.symlink = SymLink;
    operations.rename = Rename;
    operations.link = Link;
    operations.chmod = ChangeMode;
    operations.chown = ChangeOwner;
    operations.truncate = Truncate;
    operations.utimens = SetTimes;
    operations.create = Create;
    operations.open = Open;
    operations.read = Read;
    operations.write = Write;
    operations.statfs = StatFs;
    operations.release = Release;
    operations.fsync = Sync;
    operations.init = Init;

    // Foreground, with the mount point and any further options given after it.
    std::vector<char*> arguments{argv[0], const_cast<char*>("-f")};
    for (int i = 3; i < argc; ++i) {
        arguments.push_back(argv[i]);
    }
    umask(0);
    return fuse_main(static_cast<int>(arguments.size()), arguments.data(), &operations, nullptr);
}
