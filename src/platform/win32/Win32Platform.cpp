#include "Win32Platform.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <ctime>
#include <windows.h>

#include "CodePage.h"

// windows.h names its own functions after these methods.
#undef GetDriveType

namespace {

constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";
constexpr std::string_view kConfigurationName = "\\tarvellin.ini";
// Attributes of a name that is no plain file of ours: a folder, or a link (symbolic link, junction).
constexpr DWORD kNotAPlainFile = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT;

// A UTF-8 path in the ANSI code page; nullopt when no file could have that name in it.
std::optional<std::string> AnsiPath(std::string_view utf8) {
    return win32::Utf8ToCodePageExact(utf8, CP_ACP);
}

std::optional<VolumeSpace> QueryDiskFreeSpace(const char* root) {
    ULARGE_INTEGER availableToCaller{};
    ULARGE_INTEGER totalBytes{};
    ULARGE_INTEGER totalFreeBytes{};
    if (!GetDiskFreeSpaceExA(root, &availableToCaller, &totalBytes, &totalFreeBytes)) {
        return std::nullopt;
    }
    return VolumeSpace{totalBytes.QuadPart, totalFreeBytes.QuadPart};
}

// Closes a file handle when it goes out of scope.
class FileHandle {
public:
    explicit FileHandle(HANDLE handle) : m_handle(handle) {}
    ~FileHandle() { Close(); }
    FileHandle(const FileHandle&) = delete;
    FileHandle& operator=(const FileHandle&) = delete;

    bool IsValid() const { return m_handle != INVALID_HANDLE_VALUE; }
    HANDLE Get() const { return m_handle; }
    bool Close() {
        if (!IsValid()) {
            return true;
        }
        const bool closed = CloseHandle(m_handle) != FALSE;
        m_handle = INVALID_HANDLE_VALUE;
        return closed;
    }

private:
    HANDLE m_handle;
};

bool WriteAll(HANDLE file, std::string_view bytes) {
    while (!bytes.empty()) {
        const DWORD chunk = bytes.size() > (1u << 30) ? (1u << 30) : static_cast<DWORD>(bytes.size());
        DWORD written = 0;
        if (!WriteFile(file, bytes.data(), chunk, &written, nullptr) || written == 0) {
            return false;
        }
        bytes.remove_prefix(written);
    }
    return true;
}

bool MoveTo(HANDLE file, std::uint64_t offset) {
    LARGE_INTEGER position{};
    position.QuadPart = static_cast<LONGLONG>(offset);
    return SetFilePointerEx(file, position, nullptr, FILE_BEGIN) != FALSE;
}

// Writes the bytes into the existing file itself, for a folder that takes no new file. The part beyond the
// old end goes first: it is the part that needs new room, and when it does not fit, cutting the file back
// to its old length leaves the old content whole.
bool WriteInPlace(const char* path, std::string_view bytes) {
    FileHandle file(
        CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    LARGE_INTEGER size{};
    if (!file.IsValid() || !GetFileSizeEx(file.Get(), &size)) {
        return false;
    }
    const auto oldSize = static_cast<std::uint64_t>(size.QuadPart);
    if (bytes.size() > oldSize) {
        if (!MoveTo(file.Get(), oldSize) || !WriteAll(file.Get(), bytes.substr(oldSize))) {
            if (MoveTo(file.Get(), oldSize)) {
                SetEndOfFile(file.Get());
            }
            return false;
        }
    }
    const bool written = MoveTo(file.Get(), 0) &&
                         WriteAll(file.Get(), bytes.substr(0, std::min<std::uint64_t>(oldSize, bytes.size()))) &&
                         MoveTo(file.Get(), bytes.size()) && SetEndOfFile(file.Get()) && FlushFileBuffers(file.Get());
    return file.Close() && written;
}

// Content of a settings file for the disk: the ANSI code page, as the profile functions keep it. Only a
// character without an ANSI form (typed into a dialog) makes it UTF-8 behind a byte-order mark, so that
// nothing is lost. U+FFFD stands for bytes the read found without a meaning: it is written as '?'.
std::string FileBytesOf(std::string_view utf8Content) {
    if (GetACP() == CP_UTF8) {
        return std::string(utf8Content);
    }
    constexpr std::string_view kReplacement = "\xEF\xBF\xBD";
    std::string content(utf8Content);
    for (std::size_t at = content.find(kReplacement); at != std::string::npos; at = content.find(kReplacement, at)) {
        content.replace(at, kReplacement.size(), "?");
    }
    if (auto ansi = win32::Utf8ToCodePageExact(content, CP_ACP)) {
        return std::move(*ansi);
    }
    if (utf8Content.find('\0') != std::string_view::npos || !win32::IsValidInCodePage(utf8Content, CP_UTF8)) {
        return win32::Utf8ToCodePage(utf8Content, CP_ACP);
    }
    std::string bytes(kUtf8Bom);
    bytes.append(utf8Content);
    return bytes;
}

// A file cannot be renamed onto another volume. Status files are empty, so one is moved there by creating
// the new name (never replacing a file) and removing the old one; a file with content is never moved this
// way, as it would be lost (a copying move would carry any file).
bool MoveEmptyFile(const std::string& ansiFrom, const std::string& ansiTo) {
    // Nobody may write into the source while it is checked and removed.
    FileHandle source(CreateFileA(ansiFrom.c_str(), GENERIC_READ | DELETE, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    BY_HANDLE_FILE_INFORMATION info{};
    if (!source.IsValid() || !GetFileInformationByHandle(source.Get(), &info) ||
        (info.dwFileAttributes & kNotAPlainFile) != 0 || info.nFileSizeHigh != 0 || info.nFileSizeLow != 0) {
        return false;
    }
    FileHandle target(CreateFileA(ansiTo.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                  CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!target.IsValid() || !target.Close()) {
        return false;
    }
    FILE_DISPOSITION_INFO disposition{};
    disposition.DeleteFile = TRUE;
    if (!SetFileInformationByHandle(source.Get(), FileDispositionInfo, &disposition, sizeof disposition)) {
        DeleteFileA(ansiTo.c_str()); // back to the one name we started with
        return false;
    }
    return source.Close();
}

} // namespace

std::unique_ptr<Platform> CreatePlatform() {
    // A drive without a medium answers a query with a failure, never with a system message box.
    SetErrorMode(SEM_FAILCRITICALERRORS);
    return std::make_unique<Win32Platform>();
}

Win32Platform::Win32Platform() {
    const std::string directory = CurrentDirectory();
    // No separator is tested for: at a drive root the path holds two backslashes, which Windows takes.
    m_configurationPath =
        directory.empty() ? std::string(kConfigurationName.substr(1)) : directory + std::string(kConfigurationName);
}

std::string Win32Platform::CurrentDirectory() {
    std::string buffer(MAX_PATH, '\0');
    for (int attempt = 0; attempt < 4; ++attempt) {
        const DWORD length = GetCurrentDirectoryA(static_cast<DWORD>(buffer.size()), buffer.data());
        if (length == 0) {
            return {};
        }
        if (length < buffer.size()) {
            buffer.resize(length);
            return win32::CodePageToUtf8(buffer, CP_ACP);
        }
        // Too small: length is the size needed, terminating zero included.
        buffer.assign(length, '\0');
    }
    return {};
}

std::optional<VolumeSpace> Win32Platform::DiskFreeSpace(std::string_view root) const {
    const auto ansiRoot = AnsiPath(root);
    if (!ansiRoot) {
        return std::nullopt;
    }
    return QueryDiskFreeSpace(ansiRoot->c_str());
}

std::optional<VolumeSpace> Win32Platform::CurrentDiskFreeSpace() const {
    return QueryDiskFreeSpace(nullptr);
}

DriveType Win32Platform::GetDriveType(std::string_view root) const {
    const auto ansiRoot = AnsiPath(root);
    if (!ansiRoot) {
        return DriveType::NoRootDir;
    }
    const UINT type = GetDriveTypeA(ansiRoot->c_str());
    if (type > static_cast<UINT>(DriveType::RamDisk)) {
        return DriveType::Unknown;
    }
    return static_cast<DriveType>(type);
}

std::string Win32Platform::CurrentDriveLetter() const {
    const std::string directory = CurrentDirectory();
    return directory.empty() ? std::string() : directory.substr(0, 1);
}

std::string Win32Platform::FolderOfRoot(std::string_view root) const {
    return std::string(root);
}

std::string Win32Platform::ConfigurationPath() const {
    return m_configurationPath;
}

bool Win32Platform::RenameNoReplace(const std::string& from, const std::string& to) {
    const auto ansiFrom = AnsiPath(from);
    const auto ansiTo = AnsiPath(to);
    if (!ansiFrom || !ansiTo) {
        return false;
    }
    // Only a plain file is moved: a link (a reparse point) or a folder at the old name is somebody else's.
    const DWORD attributes = GetFileAttributesA(ansiFrom->c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & kNotAPlainFile) != 0) {
        return false;
    }
    // Without MOVEFILE_REPLACE_EXISTING an existing target, a link included, fails the move
    // (ERROR_ALREADY_EXISTS).
    if (MoveFileExA(ansiFrom->c_str(), ansiTo->c_str(), 0)) {
        return true;
    }
    return GetLastError() == ERROR_NOT_SAME_DEVICE && MoveEmptyFile(*ansiFrom, *ansiTo);
}

bool Win32Platform::CreateOrTruncate(const std::string& path) {
    const auto ansiPath = AnsiPath(path);
    if (!ansiPath) {
        return false;
    }
    // The folder may be writable by others: a link (a reparse point) planted at the name is opened as itself,
    // never followed, and only a plain file of our own is emptied.
    FileHandle file(CreateFileA(ansiPath->c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    BY_HANDLE_FILE_INFORMATION info{};
    if (!file.IsValid() || GetFileType(file.Get()) != FILE_TYPE_DISK ||
        !GetFileInformationByHandle(file.Get(), &info) || (info.dwFileAttributes & kNotAPlainFile) != 0) {
        return false;
    }
    // A file with content and further names may be somebody else's file linked in here.
    const bool hasContent = info.nFileSizeHigh != 0 || info.nFileSizeLow != 0;
    if (hasContent && info.nNumberOfLinks > 1) {
        return false;
    }
    // Marked as written now, as a newly created file would be.
    FILETIME now{};
    GetSystemTimeAsFileTime(&now);
    return SetEndOfFile(file.Get()) && SetFileTime(file.Get(), nullptr, nullptr, &now) && file.Close();
}

bool Win32Platform::FileExists(const std::string& path) const {
    const auto ansiPath = AnsiPath(path);
    if (!ansiPath) {
        return false; // no file can have that name
    }
    if (GetFileAttributesA(ansiPath->c_str()) != INVALID_FILE_ATTRIBUTES) {
        return true;
    }
    // A path that cannot be looked at (access denied) may well hold a file.
    const DWORD error = GetLastError();
    return error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND;
}

std::optional<std::string> Win32Platform::ReadTextFile(const std::string& path) const {
    const auto ansiPath = AnsiPath(path);
    if (!ansiPath) {
        return std::nullopt;
    }
    FileHandle file(CreateFileA(ansiPath->c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.IsValid()) {
        return std::nullopt;
    }
    std::string bytes;
    char chunk[64 * 1024];
    for (;;) {
        DWORD read = 0;
        if (!ReadFile(file.Get(), chunk, sizeof chunk, &read, nullptr)) {
            return std::nullopt;
        }
        if (read == 0) {
            break;
        }
        // The conversion takes int lengths; no settings file comes near that.
        if (bytes.size() + read > static_cast<std::size_t>(INT_MAX) / 4) {
            return std::nullopt;
        }
        bytes.append(chunk, read);
    }
    // A byte-order mark says UTF-8 (as Wine's profile functions take it); without one the file is in the ANSI
    // code page, also where its bytes happen to form valid UTF-8 (half-width katakana often do).
    if (bytes.starts_with(kUtf8Bom)) {
        return bytes.substr(kUtf8Bom.size());
    }
    return win32::CodePageToUtf8(bytes, CP_ACP);
}

std::string Win32Platform::TextLineToUtf8(std::string_view line) const {
    return std::string(line); // the file was converted as a whole when it was read
}

ProfileConventions Win32Platform::SettingsFileConventions() const {
    // GetPrivateProfileString removes one pair of enclosing quotes; WritePrivateProfileString ends lines in CRLF.
    return ProfileConventions{true, "\r\n"};
}

bool Win32Platform::ReplaceFileAtomically(const std::string& path, std::string_view utf8Content) {
    const auto ansiPath = AnsiPath(path);
    if (!ansiPath) {
        return false;
    }
    // A read-only settings file stays as it is (Wine would replace it).
    const DWORD attributes = GetFileAttributesA(ansiPath->c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) != 0) {
        return false;
    }
    const std::string bytes = FileBytesOf(utf8Content);
    const std::string temporary = *ansiPath + "." + std::to_string(GetCurrentProcessId()) + ".tmp";
    {
        FileHandle file(
            CreateFileA(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file.IsValid()) {
            // A folder that takes no new file but holds a writable settings file (a shared configuration):
            // the file itself is written.
            const bool refused = GetLastError() == ERROR_ACCESS_DENIED;
            return refused && attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0 &&
                   WriteInPlace(ansiPath->c_str(), bytes);
        }
        const bool written = WriteAll(file.Get(), bytes) && FlushFileBuffers(file.Get());
        if (!file.Close() || !written) {
            DeleteFileA(temporary.c_str());
            return false;
        }
    }
    if (!MoveFileExA(temporary.c_str(), ansiPath->c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        DeleteFileA(temporary.c_str());
        return false;
    }
    return true;
}

int Win32Platform::MillisecondsToNextMinute() const {
    SYSTEMTIME local{};
    ::GetLocalTime(&local);
    return 60000 - (static_cast<int>(local.wSecond) % 60) * 1000 - static_cast<int>(local.wMilliseconds);
}

int Win32Platform::LocalMinute() const {
    __time64_t now = _time64(nullptr);
    if (now == -1) {
        return -1;
    }
    std::tm local{};
    if (_localtime64_s(&local, &now) != 0) {
        return -1;
    }
    return local.tm_min;
}

std::string Win32Platform::ToCodePage932(std::string_view utf8) const {
    return win32::Utf8ToCodePage(utf8, 932);
}

std::optional<std::string> Win32Platform::AsRequestBytes(std::string_view utf8) const {
    // The bytes the settings file holds; a character without an ANSI form cannot be sent, not even as '?'.
    return win32::Utf8ToCodePageExact(utf8, CP_ACP);
}

bool Win32Platform::UsesDriveTable() const {
    return false;
}

std::vector<DriveMapping> Win32Platform::DriveTable() const {
    return {};
}

void Win32Platform::SetDriveTable(std::vector<DriveMapping> /*table*/) {}
