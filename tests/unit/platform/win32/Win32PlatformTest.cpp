#include <gtest/gtest.h>

#include <string>

#include "TempDir.h"
#include "WineEnvironment.h"
#include "platform/win32/CodePage.h"
#include "platform/win32/Win32Platform.h"

// After the project headers: windows.h renames functions that share names with their methods.
#include <windows.h>

#undef GetDriveType

namespace {

// Byte content of a file, read without any conversion; nullopt when it cannot be opened.
std::optional<std::string> RawContent(const std::string& path) {
    const HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return std::nullopt;
    }
    std::string content;
    char buffer[4096];
    DWORD read = 0;
    while (ReadFile(file, buffer, sizeof buffer, &read, nullptr) && read > 0) {
        content.append(buffer, read);
    }
    CloseHandle(file);
    return content;
}

bool Exists(const std::string& path) {
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// Runs a block with another current directory and restores the old one afterwards.
class CurrentDirectoryScope {
public:
    explicit CurrentDirectoryScope(const std::string& directory) : m_old(Win32Platform::CurrentDirectory()) {
        m_changed = SetCurrentDirectoryA(directory.c_str()) != FALSE;
    }
    ~CurrentDirectoryScope() { SetCurrentDirectoryA(m_old.c_str()); }
    CurrentDirectoryScope(const CurrentDirectoryScope&) = delete;
    CurrentDirectoryScope& operator=(const CurrentDirectoryScope&) = delete;
    bool Changed() const { return m_changed; }

private:
    std::string m_old;
    bool m_changed = false;
};

bool AnsiIs932() {
    return GetACP() == 932;
}

const std::string kFree100 = "\xE7\xA9\xBA\xE5\xAE\xB9\xE9\x87\x8F"
                             "100 MByte"; // 空容量100 MByte
const std::string kFree100Cp932 = "\x8B\xF3\x97\x65\x97\xCA"
                                  "100 MByte";

} // namespace

TEST(Win32PlatformStart, CreatePlatformTurnsCriticalErrorBoxesOff) {
    SetErrorMode(0);
    const auto platform = CreatePlatform();
    EXPECT_NE(GetErrorMode() & SEM_FAILCRITICALERRORS, 0u);
    EXPECT_FALSE(platform->UsesDriveTable());
}

TEST(Win32PlatformStart, DriveTableStaysEmptyWhateverIsSet) {
    Win32Platform platform;
    platform.SetDriveTable({{'D', "/mnt/data"}});
    EXPECT_TRUE(platform.DriveTable().empty());
}

TEST(Win32PlatformPaths, ConfigurationPathIsTheStartDirectoryWithTheFileNameAppended) {
    TempDir temp;
    const std::string folder = temp.Path().string();
    struct Case {
        std::string directory;
        std::string expected;
    } cases[] = {
        // At a root the directory already ends in a backslash: two in a row, used unchanged.
        {"C:\\", "C:\\\\tarvellin.ini"},
        {folder, folder + "\\tarvellin.ini"},
    };
    for (const Case& c : cases) {
        std::string path;
        {
            CurrentDirectoryScope scope(c.directory);
            ASSERT_TRUE(scope.Changed()) << c.directory;
            path = Win32Platform().ConfigurationPath();
        }
        EXPECT_EQ(path, c.expected);
    }
}

TEST(Win32PlatformPaths, ConfigurationPathKeepsTheDirectoryOfStartUp) {
    TempDir temp;
    CurrentDirectoryScope scope(temp.Path().string());
    Win32Platform platform;
    SetCurrentDirectoryA("C:\\");
    EXPECT_EQ(platform.ConfigurationPath(), temp.Path().string() + "\\tarvellin.ini");
}

TEST(Win32PlatformPaths, CurrentDriveLetterIsTheFirstCharacterOfTheCurrentDirectory) {
    Win32Platform platform;
    char directory[MAX_PATH] = {};
    ASSERT_GT(GetCurrentDirectoryA(MAX_PATH, directory), 0u);
    EXPECT_EQ(platform.CurrentDriveLetter(), std::string(1, directory[0]));
    CurrentDirectoryScope scope("C:\\");
    EXPECT_EQ(platform.CurrentDriveLetter(), "C");
}

TEST(Win32PlatformPaths, FolderOfRootIsTheRootItself) {
    Win32Platform platform;
    EXPECT_EQ(platform.FolderOfRoot("C:\\"), "C:\\");
    EXPECT_EQ(platform.FolderOfRoot("q:\\"), "q:\\");
}

TEST(Win32PlatformFiles, RenameNeverReplacesAnExistingTarget) {
    TempDir temp;
    const std::string folder = temp.Folder();
    WriteRaw(folder + "old", "old content");
    WriteRaw(folder + "taken", "kept");
    Win32Platform platform;

    EXPECT_FALSE(platform.RenameNoReplace(folder + "old", folder + "taken"));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
    EXPECT_EQ(RawContent(folder + "old"), "old content");
    EXPECT_EQ(RawContent(folder + "taken"), "kept");
}

TEST(Win32PlatformFiles, RenameMovesOrFailsAsTheFileSystemAllows) {
    TempDir temp;
    const std::string folder = temp.Folder();
    ASSERT_TRUE(CreateDirectoryA((folder + "sub").c_str(), nullptr));
    Win32Platform platform;
    struct Case {
        const char* from;
        const char* to;
        bool moved;
    } cases[] = {
        {"a", "b", true},                // plain rename
        {"b", "sub\\c", true},           // move into another folder
        {"missing", "d", false},         // no source
        {"sub\\c", "nowhere\\e", false}, // no target folder
        {"sub", "f", false},             // a folder is no status file of ours
    };
    WriteRaw(folder + "a", "status");
    for (const Case& c : cases) {
        EXPECT_EQ(platform.RenameNoReplace(folder + c.from, folder + c.to), c.moved) << c.from << " -> " << c.to;
        if (c.moved) {
            EXPECT_FALSE(Exists(folder + c.from));
            EXPECT_EQ(RawContent(folder + c.to), "status");
        }
    }
}

TEST(Win32PlatformFiles, OnlyAnEmptyFileMovesToAnotherVolumeAndNothingIsReplaced) {
    const auto volumes = WineVolumes();
    if (volumes.empty()) {
        GTEST_SKIP() << "no drive letter on a volume of its own (TARVELLIN_WINE_VOLUMES)";
    }
    TempDir temp;
    const std::string from = temp.Folder() + "status";
    const std::string to = RootOf(volumes.begin()->first) + "moved status";
    Win32Platform platform;
    struct Case {
        const char* source;
        bool taken; // an empty file already has the new name
        bool moved;
    } cases[] = {
        {"", false, true},      // a status file: moved
        {"data", false, false}, // content would be lost: stays where it is
        {"", true, false},      // the new name is taken: nothing replaced
    };
    for (const Case& c : cases) {
        WriteRaw(from, c.source);
        if (c.taken) {
            WriteRaw(to, "");
        }
        EXPECT_EQ(platform.RenameNoReplace(from, to), c.moved) << c.source;
        EXPECT_EQ(RawContent(from), c.moved ? std::nullopt : std::optional<std::string>(c.source)) << c.source;
        EXPECT_EQ(Exists(to), c.moved || c.taken) << c.source;
        DeleteFileA(from.c_str());
        DeleteFileA(to.c_str());
    }
}

TEST(Win32PlatformFiles, CreateOrTruncateLeavesAnEmptyFile) {
    TempDir temp;
    const std::string folder = temp.Folder();
    WriteRaw(folder + "full", "something");
    Win32Platform platform;

    EXPECT_TRUE(platform.CreateOrTruncate(folder + "new"));
    EXPECT_EQ(RawContent(folder + "new"), "");
    EXPECT_TRUE(platform.CreateOrTruncate(folder + "full"));
    EXPECT_EQ(RawContent(folder + "full"), "");
    EXPECT_FALSE(platform.CreateOrTruncate(folder + "missing\\file"));
    ASSERT_TRUE(CreateDirectoryA((folder + "folder").c_str(), nullptr));
    EXPECT_FALSE(platform.CreateOrTruncate(folder + "folder"));
    EXPECT_FALSE(platform.CreateOrTruncate(folder + std::string("nul\0byte", 8)));
}

TEST(Win32PlatformFiles, ReadTextFileGivesUtf8WhateverTheFileHolds) {
    if (!AnsiIs932()) {
        GTEST_SKIP() << "the ANSI code page is " << GetACP() << ", not 932";
    }
    TempDir temp;
    const std::string folder = temp.Folder();
    struct Case {
        const char* name;
        std::string bytes;
        std::string utf8;
    } cases[] = {
        {"ansi", "[Setting]\r\nFilename=" + kFree100Cp932 + "\r\n", "[Setting]\r\nFilename=" + kFree100 + "\r\n"},
        {"bom",
         "\xEF\xBB\xBF"
         "Filename=" +
             kFree100,
         "Filename=" + kFree100},
        // Half-width katakana (ﾏｲ) whose Shift-JIS bytes happen to form valid UTF-8: still the ANSI code page.
        {"katakana", "Path=\xCF\xB2", "Path=\xEF\xBE\x8F\xEF\xBD\xB2"},
        {"empty", "", ""},
    };
    Win32Platform platform;
    for (const Case& c : cases) {
        WriteRaw(folder + c.name, c.bytes);
        EXPECT_EQ(platform.ReadTextFile(folder + c.name), c.utf8) << c.name;
    }
    EXPECT_EQ(platform.ReadTextFile(folder + "missing"), std::nullopt);
}

TEST(Win32PlatformFiles, ReplaceFileAtomicallyKeepsTheFileInTheAnsiCodePage) {
    if (!AnsiIs932()) {
        GTEST_SKIP() << "the ANSI code page is " << GetACP() << ", not 932";
    }
    TempDir temp;
    const std::string path = temp.Folder() + "tarvellin.ini";
    WriteRaw(path, "old");
    Win32Platform platform;

    ASSERT_TRUE(platform.ReplaceFileAtomically(path, "[Setting]\r\nFilename=" + kFree100 + "\r\n"));
    EXPECT_EQ(RawContent(path), "[Setting]\r\nFilename=" + kFree100Cp932 + "\r\n");
    EXPECT_EQ(platform.ReadTextFile(path), "[Setting]\r\nFilename=" + kFree100 + "\r\n");
    EXPECT_EQ(temp.List(), std::vector<std::string>{"tarvellin.ini"});
}

TEST(Win32PlatformFiles, ReplaceFileAtomicallyWritesUtf8OnlyForACharacterWithoutAnsiForm) {
    if (!AnsiIs932()) {
        GTEST_SKIP() << "the ANSI code page is " << GetACP() << ", not 932";
    }
    TempDir temp;
    const std::string path = temp.Folder() + "tarvellin.ini";
    const std::string emoji = "Path=\"D:\\\xF0\x9F\x93\x81\\\"\r\n"; // a folder named with an emoji
    Win32Platform platform;
    ASSERT_TRUE(platform.ReplaceFileAtomically(path, emoji));
    EXPECT_EQ(RawContent(path), "\xEF\xBB\xBF" + emoji);
    EXPECT_EQ(platform.ReadTextFile(path), emoji);
    // Bytes the read found without a meaning (U+FFFD) do not make the file UTF-8.
    ASSERT_TRUE(platform.ReplaceFileAtomically(path, "A=\xEF\xBF\xBD" + kFree100 + "\r\n"));
    EXPECT_EQ(RawContent(path), "A=?" + kFree100Cp932 + "\r\n");
}

TEST(Win32PlatformFiles, ReplaceFileAtomicallyLeavesTheOldFileWholeOnFailure) {
    TempDir temp;
    const std::string folder = temp.Folder();
    Win32Platform platform;

    EXPECT_FALSE(platform.ReplaceFileAtomically(folder + "missing\\tarvellin.ini", "x"));

    // A read-only settings file is not replaced, and no temporary file is left beside it.
    const std::string path = folder + "tarvellin.ini";
    WriteRaw(path, "old settings");
    ASSERT_TRUE(SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_READONLY));
    EXPECT_FALSE(platform.ReplaceFileAtomically(path, "new settings"));
    EXPECT_EQ(RawContent(path), "old settings");
    EXPECT_EQ(temp.List(), std::vector<std::string>{"tarvellin.ini"});
    SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
}

TEST(Win32PlatformFiles, ReplaceFileAtomicallyWritesInPlaceWhereNoTemporaryCanBeMade) {
    TempDir temp;
    const std::string path = temp.Folder() + "tarvellin.ini";
    // A folder where the temporary file would go: creating it is refused as in a folder without the right
    // to add files.
    const std::string blocker = path + "." + std::to_string(GetCurrentProcessId()) + ".tmp";
    ASSERT_TRUE(CreateDirectoryA(blocker.c_str(), nullptr));
    WriteRaw(path, "[Setting]\r\nPort=1\r\n");
    Win32Platform platform;
    for (const std::string content : {"; longer than before\r\n[Setting]\r\nPort=8085\r\n", "[Setting]\r\n"}) {
        EXPECT_TRUE(platform.ReplaceFileAtomically(path, content));
        EXPECT_EQ(RawContent(path), content);
    }
    RemoveDirectoryA(blocker.c_str());
    EXPECT_EQ(temp.List(), std::vector<std::string>{"tarvellin.ini"});
}

TEST(Win32PlatformTexts, ToCodePage932GivesShiftJisBytes) {
    Win32Platform platform;
    struct Case {
        std::string utf8;
        std::string cp932;
    } cases[] = {
        // The head of the page that answers an accepted refresh: 44 bytes.
        {"<html><body>\xE3\x83\x87\xE3\x83\xBC\xE3\x82\xBF\xE6\x9B\xB4\xE6\x96\xB0\xE5\x8F\x97\xE3\x81\x91"
         "\xE4\xBB\x98\xE3\x81\x91\xE3\x81\xBE\xE3\x81\x97\xE3\x81\x9F<BR><BR>",
         "<html><body>\x83\x66\x81\x5B\x83\x5E\x8D\x58\x90\x56\x8E\xF3\x82\xAF\x95\x74\x82\xAF\x82\xDC\x82\xB5\x82\xBD"
         "<BR><BR>"},
        {kFree100, kFree100Cp932},
        {"\xEF\xBD\xBF\xEF\xBD\xB9\xEF\xBD\xAF\xEF\xBE\x84", "\xBF\xB9\xAF\xC4"}, // half-width katakana
        {"\xF0\x9F\x98\x80", "?"},                                                // outside the BMP: one '?'
        {"a\xC3\xA9z", "a?z"},                                                    // no look-alike 'e' either
        {"a\xFF"
         "b",
         "a?b"}, // malformed UTF-8
        {"", ""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(platform.ToCodePage932(c.utf8), c.cp932) << c.utf8;
    }
    EXPECT_EQ(platform.ToCodePage932(cases[0].utf8).size(), 44u);
}

TEST(Win32PlatformTexts, ExactConversionRefusesWhatCannotNameAFile) {
    struct Case {
        std::string utf8;
        std::optional<std::string> cp932;
    } cases[] = {
        {kFree100, kFree100Cp932},
        {"C:\\share\\", "C:\\share\\"},
        {"\xC2\xA5", std::nullopt},         // the yen sign has only a best-fit look-alike: the backslash
        {"\xF0\x9F\x98\x80", std::nullopt}, // no Shift-JIS form
        {"a\xFF", std::nullopt},            // malformed UTF-8
        {std::string("a\0b", 3), std::nullopt},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(win32::Utf8ToCodePageExact(c.utf8, 932), c.cp932) << c.utf8;
    }
    EXPECT_EQ(win32::CodePageToUtf8(kFree100Cp932, 932), kFree100);
}

TEST(Win32PlatformTime, LocalMinuteIsTheMinuteOfTheLocalClock) {
    Win32Platform platform;
    SYSTEMTIME before{};
    GetLocalTime(&before);
    const int minute = platform.LocalMinute();
    SYSTEMTIME after{};
    GetLocalTime(&after);
    EXPECT_TRUE(minute == before.wMinute || minute == after.wMinute) << minute;
}
