#include "WorkingFolder.h"

#include <windows.h>
#include <shlobj.h>

#include "WideText.h"

std::wstring FullFolderPath(const std::wstring& folder) {
    std::wstring expanded(32768, L'\0');
    const DWORD expandedLength =
        ExpandEnvironmentStringsW(folder.c_str(), expanded.data(), static_cast<DWORD>(expanded.size()));
    expanded = expandedLength > 0 && expandedLength <= expanded.size() ? expanded.c_str() : folder;
    std::wstring full(32768, L'\0');
    const DWORD fullLength = GetFullPathNameW(expanded.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
    return fullLength > 0 && fullLength < full.size() ? full.c_str() : expanded;
}

std::string EnterWorkingFolder(const std::wstring& folder) {
    const std::wstring full = FullFolderPath(folder);
    // SHCreateDirectoryExW makes the parents too; a folder that is there already is no failure.
    const int made = SHCreateDirectoryExW(nullptr, full.c_str(), nullptr);
    if (made != ERROR_SUCCESS && made != ERROR_ALREADY_EXISTS && made != ERROR_FILE_EXISTS) {
        return "cannot make the folder '" + Utf8Of(full) + "': " + SystemMessage(static_cast<DWORD>(made));
    }
    if (!SetCurrentDirectoryW(full.c_str())) {
        return "cannot enter the folder '" + Utf8Of(full) + "': " + SystemMessage(GetLastError());
    }
    return {};
}

std::wstring ServiceDefaultFolder() {
    wchar_t programData[MAX_PATH] = {};
    if (FAILED(SHGetFolderPathW(nullptr, CSIDL_COMMON_APPDATA, nullptr, SHGFP_TYPE_CURRENT, programData))) {
        return {};
    }
    return std::wstring(programData) + L"\\tarvellin";
}
