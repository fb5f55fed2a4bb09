#pragma once

#include <string>

// Expands %VARIABLES% in the folder, makes it with its parents when missing and makes it the current
// directory, where the program keeps tarvellin.ini. Empty on success, otherwise one line (UTF-8) saying what
// failed.
std::string EnterWorkingFolder(const std::wstring& folder);

// The folder the service works in when --folder names none: %ProgramData%\tarvellin. Empty when the system
// names no such folder.
std::wstring ServiceDefaultFolder();

// The folder as a full path with %VARIABLES% expanded (a service starts elsewhere than its installer).
std::wstring FullFolderPath(const std::wstring& folder);
