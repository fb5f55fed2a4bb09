#include "FileOperations.h"
#include "PosixPlatform.h"
#include "platform/Session.h"

#include <filesystem>
#include <functional>

#include <fcntl.h>
#include <grp.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "ScopedMount.h"
#include "TempDir.h"

namespace fs = std::filesystem;

namespace {

const char* MethodName(RenameMethod method) {
    switch (method) {
    case RenameMethod::Automatic:
        return "renameat2";
    case RenameMethod::LinkThenUnlink:
        return "link+unlink";
    case RenameMethod::CheckThenRename:
        return "check+rename";
    }
    return "?";
}

class RenameWithoutReplaceTest : public ::testing::TestWithParam<RenameMethod> {
protected:
    TempDir m_dir;
};

TEST_P(RenameWithoutReplaceTest, ExistingTargetIsLeftAloneAndSourceStays) {
    const std::string from = m_dir.Write("空容量100 MByte", "old").string();
    const std::string to = m_dir.Write("空容量90 MByte", "target").string();
    EXPECT_FALSE(RenameWithoutReplace(from, to, GetParam()));
    EXPECT_EQ(m_dir.Read("空容量100 MByte"), "old");
    EXPECT_EQ(m_dir.Read("空容量90 MByte"), "target");
}

TEST_P(RenameWithoutReplaceTest, RenameOntoItselfFailsAndKeepsTheFile) {
    const std::string path = m_dir.Write("空容量5 MByte", "").string();
    EXPECT_FALSE(RenameWithoutReplace(path, path, GetParam()));
    EXPECT_EQ(m_dir.List(), std::vector<std::string>{"空容量5 MByte"});
}

TEST_P(RenameWithoutReplaceTest, MissingSourceFails) {
    EXPECT_FALSE(RenameWithoutReplace(m_dir.Folder() + "absent", m_dir.Folder() + "new", GetParam()));
    EXPECT_TRUE(m_dir.List().empty());
}

TEST_P(RenameWithoutReplaceTest, RenamesWithinAndAcrossFolders) {
    m_dir.Write("a", "x");
    fs::create_directory(m_dir.Path() / "other");
    ASSERT_TRUE(RenameWithoutReplace(m_dir.Folder() + "a", m_dir.Folder() + "b", GetParam()));
    ASSERT_TRUE(RenameWithoutReplace(m_dir.Folder() + "b", m_dir.Folder() + "other/c", GetParam()));
    EXPECT_EQ(m_dir.List(), std::vector<std::string>{"other"});
    EXPECT_EQ(m_dir.Read("other/c"), "x");
}

TEST_P(RenameWithoutReplaceTest, MissingTargetFolderFailsAndKeepsSource) {
    m_dir.Write("a", "x");
    EXPECT_FALSE(RenameWithoutReplace(m_dir.Folder() + "a", m_dir.Folder() + "nowhere/b", GetParam()));
    EXPECT_EQ(m_dir.Read("a"), "x");
}

TEST_P(RenameWithoutReplaceTest, MovesOnlyEmptyFilesOntoAnotherFilesystemAndNeverReplaces) {
    ScopedMount other(m_dir.Path() / "other", "tmpfs", "size=1m");
    REQUIRE_MOUNT(other);
    struct Case {
        const char* source; // content of the file to move
        const char* target; // content of a file already at the new name, or nullptr
        bool moved;
    };
    const Case cases[] = {
        {"", nullptr, true},      // a status file: moved
        {"data", nullptr, false}, // content would be lost: stays where it is
        {"", "existing", false},  // the new name is taken: nothing replaced
    };
    for (const Case& c : cases) {
        const std::string from = m_dir.Write("空容量100 MByte", c.source).string();
        const std::string to = m_dir.Folder() + "other/空容量90 MByte";
        if (c.target != nullptr) {
            m_dir.Write("other/空容量90 MByte", c.target);
        }
        EXPECT_EQ(RenameWithoutReplace(from, to, GetParam()), c.moved) << c.source;
        EXPECT_EQ(fs::exists(from), !c.moved) << c.source;
        EXPECT_EQ(m_dir.Read("other/空容量90 MByte"), c.target != nullptr ? c.target : "") << c.source;
        EXPECT_EQ(fs::exists(to), c.moved || c.target != nullptr) << c.source;
        if (!c.moved) {
            EXPECT_EQ(m_dir.Read("空容量100 MByte"), c.source);
        }
        fs::remove(from);
        fs::remove(to);
    }
}

INSTANTIATE_TEST_SUITE_P(AllMethods, RenameWithoutReplaceTest,
                         ::testing::Values(RenameMethod::Automatic, RenameMethod::LinkThenUnlink,
                                           RenameMethod::CheckThenRename),
                         [](const auto& info) {
                             std::string name = MethodName(info.param);
                             for (char& c : name) {
                                 if (!std::isalnum(static_cast<unsigned char>(c))) {
                                     c = '_';
                                 }
                             }
                             return name;
                         });

TEST(CreateOrTruncate, CreatesEmptyOrTruncatesAndFailsInMissingFolder) {
    TempDir dir;
    const std::string path = dir.Write("status", "some bytes").string();
    ASSERT_TRUE(CreateOrTruncateFile(path));
    EXPECT_EQ(fs::file_size(path), 0u);
    ASSERT_TRUE(CreateOrTruncateFile(dir.Folder() + "fresh"));
    EXPECT_EQ(fs::file_size(dir.Folder() + "fresh"), 0u);
    EXPECT_FALSE(CreateOrTruncateFile(dir.Folder() + "missing/fresh"));
}

// A name in a shared folder taken by somebody else: nothing behind it is followed, emptied or written.
TEST(PlantedNames, AreNeitherFollowedNorEmptiedNorMoved) {
    using Plant = std::function<void(const fs::path& victim, const fs::path& name)>;
    const std::pair<const char*, Plant> cases[] = {
        {"link to a file", [](auto& victim, auto& name) { fs::create_symlink(victim, name); }},
        {"link to a folder",
         [](auto& victim, auto& name) { fs::create_directory_symlink(victim.parent_path(), name); }},
        {"dangling link", [](auto& victim, auto& name) { fs::create_symlink(victim.string() + ".new", name); }},
        {"FIFO", [](auto&, auto& name) { ASSERT_EQ(mkfifo(name.c_str(), 0600), 0); }},
        {"folder", [](auto&, auto& name) { fs::create_directory(name); }},
        {"hard link to a file", [](auto& victim, auto& name) { fs::create_hard_link(victim, name); }},
    };
    for (const auto& [label, plant] : cases) {
        SCOPED_TRACE(label);
        TempDir dir;
        const fs::path victim = dir.Write("home/authorized_keys", "secret");
        const std::string ours = dir.Write("share/空容量100 MByte", "").string();
        const fs::path name = dir.Path() / "share/空容量99 MByte";
        plant(victim, name);
        const fs::file_type planted = fs::symlink_status(name).type();
        const bool regular = planted == fs::file_type::regular;
        EXPECT_FALSE(CreateOrTruncateFile(name));
        EXPECT_FALSE(RenameWithoutReplace(ours, name));
        EXPECT_EQ(LockInstance(name).outcome == InstanceLock::Outcome::Unavailable, !regular);
        EXPECT_EQ(RenameWithoutReplace(name, ours + ".moved"), regular); // a name of a file moves harmlessly
        EXPECT_EQ(fs::symlink_status(regular ? ours + ".moved" : name.string()).type(), planted);
        EXPECT_EQ(dir.Read("home/authorized_keys"), "secret");
        EXPECT_EQ(dir.List("home"), std::vector<std::string>{"authorized_keys"});
    }
}

TEST(LockInstance, NamesTheHolderAsTheSystemTellsItNotAsTheFileSays) {
    TempDir dir;
    // An earlier holder's id, left by a holder that could not write the file.
    const std::string path = dir.Write("tarvellin.lock", "1\n").string();
    const int holder = open(path.c_str(), O_RDONLY | O_CLOEXEC); // a lock of its own, as another agent's
    ASSERT_EQ(flock(holder, LOCK_EX), 0);
    const InstanceLock lock = LockInstance(path);
    EXPECT_EQ(lock.outcome, InstanceLock::Outcome::HeldByAnother);
    EXPECT_EQ(lock.ownerPid, getpid());
    close(holder);
}

TEST(ReadWholeFile, BoundsTheSizeAndRefusesNonFiles) {
    TempDir dir;
    dir.Write("small", "12345");
    EXPECT_EQ(ReadWholeFile(dir.Folder() + "small", 5), "12345");
    EXPECT_EQ(ReadWholeFile(dir.Folder() + "small", 4), std::nullopt);
    EXPECT_EQ(ReadWholeFile(dir.Folder() + "absent"), std::nullopt);
    EXPECT_EQ(ReadWholeFile(dir.Path().string()), std::nullopt);
    ASSERT_EQ(mkfifo((dir.Folder() + "fifo").c_str(), 0600), 0);
    EXPECT_EQ(ReadWholeFile(dir.Folder() + "fifo"), std::nullopt); // returns instead of waiting for a writer
}

class ReplaceFileTest : public ::testing::Test {
protected:
    TempDir m_dir;
    std::string Path(const std::string& name) const { return m_dir.Folder() + name; }
};

TEST_F(ReplaceFileTest, ReplacesContentKeepsModeAndLeavesNoTemporary) {
    m_dir.Write("tarvellin.ini", "[Setting]\nPort=1\n");
    ASSERT_EQ(chmod(Path("tarvellin.ini").c_str(), 0640), 0);
    ASSERT_TRUE(ReplaceFileContent(Path("tarvellin.ini"), "[Setting]\nPort=8085\n"));
    EXPECT_EQ(m_dir.Read("tarvellin.ini"), "[Setting]\nPort=8085\n");
    EXPECT_EQ(fs::status(Path("tarvellin.ini")).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    EXPECT_EQ(m_dir.List(), std::vector<std::string>{"tarvellin.ini"});
}

TEST_F(ReplaceFileTest, OrphanedTemporariesOfEndedProcessesAreRemoved) {
    // A process that ended between naming its temporary and the rename left one behind; a live process's
    // temporary and files that merely look similar stay.
    pid_t ended = fork();
    if (ended == 0) {
        _exit(0);
    }
    waitpid(ended, nullptr, 0);
    const std::string live = ".tarvellin.ini." + std::to_string(getppid()) + "-0";
    const std::string orphan = ".tarvellin.ini." + std::to_string(ended) + "-3";
    for (const std::string& name : {live, orphan, std::string(".tarvellin.ini.backup"), std::string(".other.1-0")}) {
        m_dir.Write(name, "partial");
    }
    ASSERT_TRUE(ReplaceFileContent(Path("tarvellin.ini"), "[Setting]\n"));
    EXPECT_EQ(m_dir.List(), (std::vector<std::string>{".other.1-0", live, ".tarvellin.ini.backup", "tarvellin.ini"}));
}

TEST_F(ReplaceFileTest, NewFileGetsDefaultModeLessUmask) {
    ASSERT_TRUE(ReplaceFileContent(Path("new.ini"), "x"));
    struct stat info {};
    ASSERT_EQ(stat(Path("new.ini").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777u, 0666u & ~CurrentUmask());
}

TEST_F(ReplaceFileTest, SymbolicLinkKeepsPointingAtTheReplacedFile) {
    fs::create_directory(m_dir.Path() / "real");
    m_dir.Write("real/tarvellin.ini", "old");
    fs::create_symlink("real/tarvellin.ini", m_dir.Path() / "tarvellin.ini");
    ASSERT_TRUE(ReplaceFileContent(Path("tarvellin.ini"), "new"));
    EXPECT_TRUE(fs::is_symlink(m_dir.Path() / "tarvellin.ini"));
    EXPECT_EQ(m_dir.Read("real/tarvellin.ini"), "new");
    EXPECT_EQ(m_dir.List("real"), std::vector<std::string>{"tarvellin.ini"});
}

TEST_F(ReplaceFileTest, FailsWithoutTouchingAFolderInTheWay) {
    fs::create_directory(m_dir.Path() / "tarvellin.ini");
    m_dir.Write("tarvellin.ini/keep", "k");
    EXPECT_FALSE(ReplaceFileContent(Path("tarvellin.ini"), "x"));
    EXPECT_EQ(m_dir.Read("tarvellin.ini/keep"), "k");
    EXPECT_EQ(m_dir.List(), std::vector<std::string>{"tarvellin.ini"});
    EXPECT_FALSE(ReplaceFileContent(Path("missing/tarvellin.ini"), "x"));
}

// Runs the check in a child process that file permissions bind (as the user "nobody" when the test runs as
// root); its exit code: 0 when the check held, 1 when not, 2 when the child could not drop its rights.
int AsUnprivilegedUser(const std::function<bool()>& check) {
    const pid_t child = fork();
    if (child == 0) {
        if (geteuid() == 0 && (setgroups(0, nullptr) != 0 || setgid(65534) != 0 || setuid(65534) != 0)) {
            _exit(2);
        }
        _exit(check() ? 0 : 1);
    }
    int status = 0;
    return child > 0 && waitpid(child, &status, 0) == child && WIFEXITED(status) ? WEXITSTATUS(status) : 2;
}

struct ReadOnlyFolderCase {
    const char* name;
    unsigned fileMode; // 0: no file
    std::string before;
    std::string after;
    bool saved;
};

void PrintTo(const ReadOnlyFolderCase& c, std::ostream* os) {
    *os << c.name;
}

class ReadOnlyFolderTest : public ::testing::TestWithParam<ReadOnlyFolderCase> {};

// A folder that takes no new file (a shared configuration folder) gets no temporary; a writable file in it
// is written in place, a read-only or missing one is left as it is.
TEST_P(ReadOnlyFolderTest, WritableFileIsWrittenInPlace) {
    const ReadOnlyFolderCase& c = GetParam();
    TempDir dir;
    fs::permissions(dir.Path(), fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                                    fs::perms::others_read | fs::perms::others_exec);
    const fs::path folder = dir.Path() / "ro";
    fs::create_directory(folder);
    const std::string path = (folder / "tarvellin.ini").string();
    if (c.fileMode != 0) {
        dir.Write("ro/tarvellin.ini", c.before);
        ASSERT_EQ(chmod(path.c_str(), c.fileMode), 0);
    }
    ASSERT_EQ(chmod(folder.c_str(), 0555), 0);

    const int result = AsUnprivilegedUser([&] { return ReplaceFileContent(path, c.after); });
    chmod(folder.c_str(), 0755);
    ASSERT_NE(result, 2) << "could not drop to an unprivileged user";
    EXPECT_EQ(result == 0, c.saved);
    EXPECT_EQ(dir.Read("ro/tarvellin.ini"), c.saved ? c.after : c.before);
    EXPECT_EQ(dir.List("ro").size(), c.fileMode != 0 ? 1u : 0u); // no temporary left
}

const std::string kShortSettings = "[Setting]\nPort=1\n";
const std::string kLongSettings = "; comment\n[Setting]\nPort=8085\nPath=\"/srv/share/\"\n";

INSTANTIATE_TEST_SUITE_P(Table, ReadOnlyFolderTest,
                         ::testing::Values(ReadOnlyFolderCase{"Longer", 0666, kShortSettings, kLongSettings, true},
                                           ReadOnlyFolderCase{"Shorter", 0666, kLongSettings, kShortSettings, true},
                                           ReadOnlyFolderCase{"ReadOnlyFile", 0444, kShortSettings, kLongSettings,
                                                              false},
                                           ReadOnlyFolderCase{"NoFile", 0, "", kLongSettings, false}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(PlatformFiles, FileBehindAFolderThatCannotBeSearchedCountsAsExisting) {
    TempDir dir;
    dir.Write("closed/tarvellin.ini", "x");
    fs::create_directory(dir.Path() / "open");
    ASSERT_EQ(chmod((dir.Path() / "closed").c_str(), 0600), 0);
    PosixPlatform platform;
    EXPECT_EQ(AsUnprivilegedUser([&] { return platform.FileExists(dir.Folder() + "closed/tarvellin.ini"); }), 0);
    EXPECT_EQ(AsUnprivilegedUser([&] { return !platform.FileExists(dir.Folder() + "open/absent"); }), 0);
    chmod((dir.Path() / "closed").c_str(), 0700);
}

TEST(PlatformFiles, LocalMinuteIsInRange) {
    PosixPlatform platform;
    const int minute = platform.LocalMinute();
    EXPECT_GE(minute, 0);
    EXPECT_LE(minute, 59);
}

} // namespace

TEST(DataFiles, AppendReadAndRewriteOnlyOwnRegularFiles) {
    TempDir dir;
    const std::string path = dir.Folder() + "tarvellin.history";
    EXPECT_EQ(ReadDataFileRange(path, 0, 8).status, DataFileRead::Status::Missing);
    EXPECT_EQ(AppendDataFileBytes(path, "0123"), "");
    EXPECT_EQ(AppendDataFileBytes(path, "4567"), "");
    const DataFileRead part = ReadDataFileRange(path, 2, 4);
    EXPECT_EQ(part.status, DataFileRead::Status::Read);
    EXPECT_EQ(part.size, 8u);
    EXPECT_EQ(part.bytes, "2345");
    EXPECT_EQ(RewriteDataFileContent(path, "H", 5, 8), "");
    EXPECT_EQ(dir.Read("tarvellin.history"), "H567");
    EXPECT_EQ(dir.List(), std::vector<std::string>{"tarvellin.history"}); // no temporary left

    // A link, a folder or another user's file at the name is refused with its reason and left as it is.
    fs::create_symlink(path, dir.Path() / "link");
    fs::create_directory(dir.Path() / "folder");
    struct Case {
        std::string name;
        std::string reason;
    };
    std::vector<Case> cases = {{"link", "symbolic link"}, {"folder", "not a regular file"}};
    if (geteuid() == 0) {
        const std::string foreign = dir.Write("foreign", "theirs").string();
        ASSERT_EQ(chown(foreign.c_str(), 65534, 65534), 0);
        cases.push_back({"foreign", "another user"});
    }
    for (const Case& c : cases) {
        const std::string target = dir.Folder() + c.name;
        EXPECT_NE(ReadDataFileRange(target, 0, 8).failure.find(c.reason), std::string::npos) << c.name;
        EXPECT_NE(AppendDataFileBytes(target, "x").find(c.reason), std::string::npos) << c.name;
        EXPECT_NE(RewriteDataFileContent(target, "x", 0, 0).find(c.reason), std::string::npos) << c.name;
    }
    EXPECT_EQ(dir.Read("tarvellin.history"), "H567");
    EXPECT_TRUE(fs::is_symlink(dir.Path() / "link"));
    if (geteuid() == 0) {
        EXPECT_EQ(dir.Read("foreign"), "theirs");
    }
}
