#include "TempDir.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <fstream>
#include <random>
#include <sstream>

#include "Utf8Path.h"

namespace fs = std::filesystem;

TempDir::TempDir() {
    static std::atomic<unsigned> counter{0};
    std::random_device random;
    const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
    for (;;) {
        std::ostringstream name;
        name << "tarvellin-test-" << random() << '-' << stamp << '-' << counter++;
        m_path = fs::temp_directory_path() / name.str();
        std::error_code error;
        if (fs::create_directory(m_path, error)) {
            break;
        }
    }
}

TempDir::~TempDir() {
    std::error_code error;
    // A test may have taken the write permission away; give it back so the folder can go.
    fs::permissions(m_path, fs::perms::owner_all, fs::perm_options::add, error);
    for (const auto& entry : fs::recursive_directory_iterator(m_path, error)) {
        if (entry.is_directory(error)) {
            fs::permissions(entry.path(), fs::perms::owner_all, fs::perm_options::add, error);
        }
    }
    fs::remove_all(m_path, error);
}

std::string TempDir::Folder() const {
    return Utf8Text(m_path / "");
}

fs::path TempDir::Write(const std::string& relative, const std::string& content) const {
    const fs::path file = m_path / Utf8Path(relative);
    fs::create_directories(file.parent_path());
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out << content;
    return file;
}

std::string TempDir::Read(const std::string& relative) const {
    std::ifstream in(m_path / Utf8Path(relative), std::ios::binary);
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}

std::vector<std::string> TempDir::List(const std::string& relative) const {
    std::vector<std::string> names;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(m_path / Utf8Path(relative), error)) {
        names.push_back(Utf8Text(entry.path().filename()));
    }
    std::sort(names.begin(), names.end());
    return names;
}
