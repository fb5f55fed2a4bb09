#include "FakePlatform.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "Utf8Path.h"
#include "platform/PathText.h"

namespace fs = std::filesystem;

FakePlatform::Drive& FakePlatform::AddDrive(char letter, long long totalMB, long long freeMB, DriveType type) {
    Drive& drive = drives[static_cast<char>(std::toupper(static_cast<unsigned char>(letter)))];
    drive.type = type;
    drive.space = VolumeSpace{static_cast<std::uint64_t>(totalMB) << 20, static_cast<std::uint64_t>(freeMB) << 20};
    return drive;
}

const FakePlatform::Drive* FakePlatform::DriveOf(std::string_view root) const {
    if (root.size() != 3 || root[1] != ':' || root[2] != '\\') {
        return nullptr;
    }
    const auto it = drives.find(static_cast<char>(std::toupper(static_cast<unsigned char>(root[0]))));
    return it == drives.end() ? nullptr : &it->second;
}

std::optional<VolumeSpace> FakePlatform::DiskFreeSpace(std::string_view root) const {
    ++capacityQueries;
    const Drive* drive = DriveOf(root);
    return drive && !DriveStuck(root) ? drive->space : std::nullopt;
}

bool FakePlatform::DriveStuck(std::string_view root) const {
    const char letter = root.empty() ? '\0' : static_cast<char>(std::toupper(static_cast<unsigned char>(root[0])));
    return letter != '\0' && stuckDrives.find(letter) != std::string::npos;
}

std::optional<VolumeSpace> FakePlatform::CurrentDiskFreeSpace() const {
    ++capacityQueries;
    return currentLetter.empty() ? std::nullopt : DiskFreeSpace(currentLetter + ":\\");
}

DriveType FakePlatform::GetDriveType(std::string_view root) const {
    ++driveTypeQueries;
    const Drive* drive = DriveOf(root);
    return drive ? drive->type : DriveType::NoRootDir;
}

std::string FakePlatform::FolderOfRoot(std::string_view root) const {
    const Drive* drive = DriveOf(root);
    return drive && !drive->folder.empty() ? drive->folder : std::string(root);
}

bool FakePlatform::RenameNoReplace(const std::string& from, const std::string& to) {
    std::error_code error;
    if (failRename || !fs::exists(Utf8Path(from), error) || fs::exists(Utf8Path(to), error)) {
        return false;
    }
    fs::rename(Utf8Path(from), Utf8Path(to), error);
    return !error;
}

bool FakePlatform::CreateOrTruncate(const std::string& path) {
    if (failCreate) {
        return false;
    }
    std::ofstream out(Utf8Path(path), std::ios::binary | std::ios::trunc);
    return static_cast<bool>(out);
}

bool FakePlatform::FolderStuck(const std::string& path) const {
    return !stuckFolder.empty() && FolderOf(path) == stuckFolder;
}

bool FakePlatform::FileExists(const std::string& path) const {
    std::error_code error;
    return fs::exists(Utf8Path(path), error);
}

std::optional<std::string> FakePlatform::ReadTextFile(const std::string& path) const {
    if (failRead) {
        return std::nullopt;
    }
    std::ifstream in(Utf8Path(path), std::ios::binary);
    if (!in) {
        return std::nullopt;
    }
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}

std::string FakePlatform::TextLineToUtf8(std::string_view line) const {
    return lineDecoder ? lineDecoder(line) : std::string(line);
}

bool FakePlatform::ReplaceFileAtomically(const std::string& path, std::string_view utf8Content) {
    ++saves;
    if (failSave) {
        return false;
    }
    std::ofstream out(Utf8Path(path), std::ios::binary | std::ios::trunc);
    out << utf8Content;
    return static_cast<bool>(out);
}

std::string FakePlatform::ToCodePage932(std::string_view utf8) const {
    return encoder ? encoder(utf8) : std::string(utf8);
}

DataFileRead FakePlatform::ReadDataFile(const std::string& path, std::uint64_t offset, std::uint64_t length) const {
    DataFileRead read;
    const auto it = dataFiles.find(path);
    if (!dataFileRefusal.empty() || it == dataFiles.end()) {
        read.status = dataFileRefusal.empty() ? DataFileRead::Status::Missing : DataFileRead::Status::Refused;
        read.failure = dataFileRefusal;
        return read;
    }
    read.status = DataFileRead::Status::Read;
    read.size = it->second.size();
    read.bytes = offset < read.size ? it->second.substr(offset, length) : std::string();
    return read;
}

std::string FakePlatform::AppendToDataFile(const std::string& path, std::string_view bytes) {
    if (dataFileRefusal.empty()) {
        dataFiles[path] += bytes;
    }
    return dataFileRefusal;
}

std::string FakePlatform::RewriteDataFile(const std::string& path, std::string_view head, std::uint64_t keepFrom,
                                          std::uint64_t keepTo) {
    if (!dataFileRefusal.empty()) {
        return dataFileRefusal;
    }
    if (!rewriteRefusal.empty()) {
        ++refusedRewrites;
        return rewriteRefusal;
    }
    ++dataFileRewrites;
    const std::string old = dataFiles[path];
    keepTo = std::min<std::uint64_t>(keepTo, old.size());
    dataFiles[path] = std::string(head) + (keepFrom < keepTo ? old.substr(keepFrom, keepTo - keepFrom) : "");
    return {};
}
