#include "MountTable.h"

#include <charconv>
#include <functional>
#include <unordered_map>

namespace {

// Splits a line into fields separated by blanks or tabs.
std::vector<std::string_view> SplitFields(std::string_view line) {
    std::vector<std::string_view> fields;
    std::size_t pos = 0;
    while (pos < line.size()) {
        while (pos < line.size() && (line[pos] == ' ' || line[pos] == '\t')) {
            ++pos;
        }
        const std::size_t start = pos;
        while (pos < line.size() && line[pos] != ' ' && line[pos] != '\t') {
            ++pos;
        }
        if (pos > start) {
            fields.push_back(line.substr(start, pos - start));
        }
    }
    return fields;
}

// Calls the visitor with each line of the text, without its line end.
void ForEachLine(std::string_view text, const std::function<void(std::string_view)>& visit) {
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        if (!line.empty() && line.back() == '\r') {
            line.remove_suffix(1);
        }
        visit(line);
        if (end == std::string_view::npos) {
            break;
        }
        text.remove_prefix(end + 1);
    }
}

template <typename Number> bool ParseNumber(std::string_view text, Number& value) {
    const auto result = std::from_chars(text.data(), text.data() + text.size(), value);
    return result.ec == std::errc() && result.ptr == text.data() + text.size();
}

} // namespace

std::string UnescapeMountField(std::string_view field) {
    std::string result;
    result.reserve(field.size());
    for (std::size_t i = 0; i < field.size(); ++i) {
        if (field[i] == '\\' && i + 3 < field.size()) {
            int value = 0;
            bool octal = true;
            for (std::size_t k = 1; octal && k <= 3; ++k) {
                const char c = field[i + k];
                octal = c >= '0' && c <= '7';
                value = value * 8 + (c - '0');
            }
            if (octal && value <= 0xFF) {
                result.push_back(static_cast<char>(value));
                i += 3;
                continue;
            }
        }
        result.push_back(field[i]);
    }
    return result;
}

std::vector<MountEntry> ParseMountInfo(std::string_view text) {
    std::vector<MountEntry> mounts;
    ForEachLine(text, [&](std::string_view line) {
        const std::vector<std::string_view> fields = SplitFields(line);
        // id parent major:minor root mountpoint options [optional...] - type source superoptions
        std::size_t separator = 6;
        while (separator < fields.size() && fields[separator] != "-") {
            ++separator;
        }
        if (fields.size() < 9 || separator + 2 >= fields.size()) {
            return;
        }
        MountEntry entry;
        const std::string_view device = fields[2];
        const std::size_t colon = device.find(':');
        if (!ParseNumber(fields[0], entry.id) || !ParseNumber(fields[1], entry.parentId) ||
            colon == std::string_view::npos || !ParseNumber(device.substr(0, colon), entry.major) ||
            !ParseNumber(device.substr(colon + 1), entry.minor)) {
            return;
        }
        entry.root = UnescapeMountField(fields[3]);
        entry.mountPoint = UnescapeMountField(fields[4]);
        entry.options = std::string(fields[5]);
        entry.fsType = UnescapeMountField(fields[separator + 1]);
        entry.source = UnescapeMountField(fields[separator + 2]);
        if (separator + 3 < fields.size()) {
            entry.superOptions = std::string(fields[separator + 3]);
        }
        if (entry.mountPoint.empty() || entry.mountPoint[0] != '/') {
            return;
        }
        mounts.push_back(std::move(entry));
    });
    return mounts;
}

std::vector<MountEntry> VisibleMounts(const std::vector<MountEntry>& mounts) {
    std::unordered_map<int, std::size_t> byId;
    for (std::size_t i = 0; i < mounts.size(); ++i) {
        byId[mounts[i].id] = i;
    }
    // A mount sits on another's root when its parent is that mount and both have the same mount point;
    // what hung below the lower one is gone from view.
    const auto stacksOn = [&](std::size_t upper, std::size_t lower) {
        return upper != lower && mounts[upper].parentId == mounts[lower].id &&
               mounts[upper].mountPoint == mounts[lower].mountPoint;
    };
    const auto stackedUpon = [&](std::size_t i) {
        for (std::size_t k = 0; k < mounts.size(); ++k) {
            if (stacksOn(k, i)) {
                return true;
            }
        }
        return false;
    };
    // Covered by a sibling: another child of the same parent on the same folder (the later one wins) or
    // on a folder above (it was mounted later, or it would be the parent).
    const auto coveredBySibling = [&](std::size_t i) {
        for (std::size_t k = 0; k < mounts.size(); ++k) {
            const MountEntry& other = mounts[k];
            if (k != i && other.parentId == mounts[i].parentId && other.parentId != other.id &&
                IsFolderPrefix(other.mountPoint, mounts[i].mountPoint) &&
                (other.mountPoint != mounts[i].mountPoint || k > i)) {
                return true;
            }
        }
        return false;
    };
    std::vector<int> state(mounts.size(), 0); // 0 unknown, 1 reachable, 2 not, 3 being decided
    const std::function<bool(std::size_t)> reachable = [&](std::size_t i) -> bool {
        if (state[i] == 3) {
            return false; // a cycle of parents: treat as unreachable
        }
        if (state[i] != 0) {
            return state[i] == 1;
        }
        state[i] = 3;
        bool result = !coveredBySibling(i);
        const auto parent = byId.find(mounts[i].parentId);
        if (result && parent != byId.end() && parent->second != i) {
            result = reachable(parent->second) && (!stackedUpon(parent->second) || stacksOn(i, parent->second));
        }
        state[i] = result ? 1 : 2;
        return result;
    };
    const auto visible = [&](std::size_t i) { return reachable(i) && !stackedUpon(i); };
    std::vector<MountEntry> result;
    for (std::size_t i = 0; i < mounts.size(); ++i) {
        if (visible(i)) {
            result.push_back(mounts[i]);
        }
    }
    return result;
}

std::vector<FstabEntry> ParseFstab(std::string_view text) {
    std::vector<FstabEntry> entries;
    ForEachLine(text, [&](std::string_view line) {
        const std::vector<std::string_view> fields = SplitFields(line);
        if (fields.size() < 3 || fields[0].front() == '#') {
            return;
        }
        FstabEntry entry{UnescapeMountField(fields[0]), UnescapeMountField(fields[1]), UnescapeMountField(fields[2]),
                         fields.size() > 3 ? std::string(fields[3]) : std::string("defaults")};
        entry.mountPoint = NormalizeFolder(entry.mountPoint);
        if (entry.mountPoint.empty() || entry.fsType == "swap") {
            return;
        }
        entries.push_back(std::move(entry));
    });
    return entries;
}

std::string NormalizeFolder(std::string_view path) {
    if (path.empty() || path[0] != '/') {
        return {};
    }
    std::vector<std::string_view> parts;
    std::size_t pos = 0;
    while (pos < path.size()) {
        const std::size_t end = std::min(path.find('/', pos), path.size());
        const std::string_view part = path.substr(pos, end - pos);
        if (part == "..") {
            if (!parts.empty()) {
                parts.pop_back();
            }
        } else if (!part.empty() && part != ".") {
            parts.push_back(part);
        }
        pos = end + 1;
    }
    std::string result;
    for (const std::string_view part : parts) {
        result += '/';
        result += part;
    }
    return result.empty() ? std::string("/") : result;
}

bool IsFolderPrefix(std::string_view prefix, std::string_view path) {
    if (prefix == "/") {
        return !path.empty() && path[0] == '/';
    }
    return path.substr(0, prefix.size()) == prefix && (path.size() == prefix.size() || path[prefix.size()] == '/');
}

int MountHolding(const std::vector<MountEntry>& mounts, std::string_view folder) {
    int best = -1;
    for (std::size_t i = 0; i < mounts.size(); ++i) {
        if (IsFolderPrefix(mounts[i].mountPoint, folder) &&
            (best < 0 || mounts[i].mountPoint.size() >= mounts[static_cast<std::size_t>(best)].mountPoint.size())) {
            best = static_cast<int>(i);
        }
    }
    return best;
}

int FstabEntryHolding(const std::vector<FstabEntry>& entries, std::string_view folder) {
    int best = -1;
    for (std::size_t i = 0; i < entries.size(); ++i) {
        if (IsFolderPrefix(entries[i].mountPoint, folder) &&
            (best < 0 || entries[i].mountPoint.size() >= entries[static_cast<std::size_t>(best)].mountPoint.size())) {
            best = static_cast<int>(i);
        }
    }
    return best;
}
