#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "TempDir.h"
#include "platform/win32/Win32Platform.h"

// After the project headers: windows.h renames functions that share names with their methods.
#include <windows.h>

namespace {

const std::string kFolder = "\xE7\x8A\xB6\xE6\x85\x8B"; // 状態
const std::string kFolderCp932 = "\x8F\xF3\x91\xD4";
const std::string kFree100 = "\xE7\xA9\xBA\xE5\xAE\xB9\xE9\x87\x8F"
                             "100 MByte"; // 空容量100 MByte
const std::string kFree99 = "\xE7\xA9\xBA\xE5\xAE\xB9\xE9\x87\x8F"
                            "99 MByte";
const std::string kFree99Cp932 = "\x8B\xF3\x97\x65\x97\xCA"
                                 "99 MByte";

// Names in a folder as the "A" functions give them (ANSI bytes), without "." and "..".
std::vector<std::string> AnsiNames(const std::string& ansiFolder) {
    std::vector<std::string> names;
    WIN32_FIND_DATAA entry{};
    const HANDLE find = FindFirstFileA((ansiFolder + "*").c_str(), &entry);
    if (find == INVALID_HANDLE_VALUE) {
        return names;
    }
    do {
        const std::string name = entry.cFileName;
        if (name != "." && name != "..") {
            names.push_back(name);
        }
    } while (FindNextFileA(find, &entry));
    FindClose(find);
    return names;
}

void RemoveAll(const std::string& ansiFolder) {
    for (const std::string& name : AnsiNames(ansiFolder)) {
        DeleteFileA((ansiFolder + name).c_str());
    }
    RemoveDirectoryA(ansiFolder.c_str());
}

} // namespace

// A status file in a folder with a Japanese name, created and renamed through the platform. With
// TARVELLIN_CP932_NAMES_DIR set the result stays there, so the names on disk can be checked from outside.
TEST(Cp932FileNames, StatusFileIsCreatedAndRenamedUnderItsShiftJisName) {
    if (GetACP() != 932) {
        GTEST_SKIP() << "the ANSI code page is " << GetACP() << ", not 932";
    }
    std::unique_ptr<TempDir> temp;
    std::string base;
    if (const char* kept = std::getenv("TARVELLIN_CP932_NAMES_DIR")) {
        base = std::string(kept) + "\\";
        CreateDirectoryA(kept, nullptr);
    } else {
        temp = std::make_unique<TempDir>();
        base = temp->Folder();
    }
    RemoveAll(base + kFolderCp932 + "\\");

    Win32Platform platform;
    const std::string folder = base + kFolder + "\\";
    ASSERT_TRUE(CreateDirectoryA((base + kFolderCp932).c_str(), nullptr));
    ASSERT_TRUE(platform.CreateOrTruncate(folder + kFree100));
    ASSERT_TRUE(platform.RenameNoReplace(folder + kFree100, folder + kFree99));
    // An unchanged free text: the file keeps its name.
    EXPECT_TRUE(platform.RenameNoReplace(folder + kFree99, folder + kFree99));

    EXPECT_EQ(AnsiNames(base + kFolderCp932 + "\\"), std::vector<std::string>{kFree99Cp932});
    EXPECT_EQ(AnsiNames(base), std::vector<std::string>{kFolderCp932});
    if (temp) {
        RemoveAll(base + kFolderCp932 + "\\");
    }
}
