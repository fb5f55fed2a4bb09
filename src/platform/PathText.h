#pragma once

#include <string>
#include <string_view>

// The folder of a path: the path up to and with its last separator ('/' or '\'); empty for a bare name, which
// lies in the current directory.
inline std::string FolderOf(std::string_view path) {
    const std::size_t separator = path.find_last_of("/\\");
    return separator == std::string_view::npos ? std::string() : std::string(path.substr(0, separator + 1));
}
