#pragma once

#include <filesystem>
#include <string>
#include <vector>

// A fresh folder under the system's temporary folder, removed with everything in it on destruction.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& Path() const { return m_path; }
    // The folder as text, ending in the separator, ready to be joined with a file name.
    std::string Folder() const;
    // Writes a file below the folder (creating its parent folders) and returns its path.
    std::filesystem::path Write(const std::string& relative, const std::string& content) const;
    // Content of a file below the folder; empty when it cannot be read.
    std::string Read(const std::string& relative) const;
    // Names of the entries directly in a folder below this one (or in this one), sorted.
    std::vector<std::string> List(const std::string& relative = {}) const;

private:
    std::filesystem::path m_path;
};
