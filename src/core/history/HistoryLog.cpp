#include "core/history/HistoryLog.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace {

constexpr std::string_view kMagic = "TVHISTRY";
constexpr std::uint16_t kFormatVersion = 1;
constexpr std::uint8_t kSampleVersion = 1;
constexpr std::size_t kChecksumAt = kHistoryRecordBytes - 4;
// Samples of ten drives at one a minute.
constexpr std::uint64_t kRecordsPerDay = 10 * 1440;

constexpr std::array<std::uint32_t, 256> kCrcTable = [] {
    std::array<std::uint32_t, 256> table{};
    for (std::uint32_t i = 0; i < 256; ++i) {
        std::uint32_t c = i;
        for (int bit = 0; bit < 8; ++bit) {
            c = (c & 1) != 0 ? 0xEDB88320u ^ (c >> 1) : c >> 1;
        }
        table[i] = c;
    }
    return table;
}();

std::uint32_t Crc32(std::string_view bytes) {
    std::uint32_t crc = 0xFFFFFFFFu;
    for (const char byte : bytes) {
        crc = kCrcTable[(crc ^ static_cast<unsigned char>(byte)) & 0xFFu] ^ (crc >> 8);
    }
    return crc ^ 0xFFFFFFFFu;
}

void Put(std::string& record, std::size_t at, std::uint64_t value, std::size_t bytes) {
    for (std::size_t i = 0; i < bytes; ++i) {
        record[at + i] = static_cast<char>((value >> (8 * i)) & 0xFFu);
    }
}

std::uint64_t Get(std::string_view record, std::size_t at, std::size_t bytes) {
    std::uint64_t value = 0;
    for (std::size_t i = 0; i < bytes; ++i) {
        value |= static_cast<std::uint64_t>(static_cast<unsigned char>(record[at + i])) << (8 * i);
    }
    return value;
}

std::string Sealed(std::string record) {
    Put(record, kChecksumAt, Crc32(std::string_view(record).substr(0, kChecksumAt)), 4);
    return record;
}

bool SealIntact(std::string_view record) {
    return record.size() == kHistoryRecordBytes && Get(record, kChecksumAt, 4) == Crc32(record.substr(0, kChecksumAt));
}

} // namespace

std::string EncodeHistoryHeader() {
    std::string record(kHistoryRecordBytes, '\0');
    std::memcpy(record.data(), kMagic.data(), kMagic.size());
    Put(record, 8, kFormatVersion, 2);
    Put(record, 10, kHistoryRecordBytes, 2);
    return Sealed(std::move(record));
}

std::string EncodeHistorySample(const HistorySample& sample) {
    std::string record(kHistoryRecordBytes, '\0');
    record[0] = static_cast<char>(kSampleVersion);
    record[1] = sample.letter;
    Put(record, 4, static_cast<std::uint64_t>(sample.time), 8);
    Put(record, 12, sample.totalBytes, 8);
    Put(record, 20, sample.freeBytes, 8);
    return Sealed(std::move(record));
}

std::optional<HistorySample> DecodeHistorySample(std::string_view record) {
    if (!SealIntact(record) || static_cast<std::uint8_t>(record[0]) != kSampleVersion) {
        return std::nullopt;
    }
    return HistorySample{static_cast<std::int64_t>(Get(record, 4, 8)), record[1], Get(record, 12, 8),
                         Get(record, 20, 8)};
}

std::uint64_t HistoryRecordsKept(int days) {
    return static_cast<std::uint64_t>(std::max(days, 0)) * kRecordsPerDay;
}

std::uint64_t HistoryFileBoundBytes(int days) {
    return kHistoryRecordBytes * (1 + HistoryRecordsKept(days) + kRecordsPerDay);
}

HistoryLog::HistoryLog(Platform& platform, std::string path) : m_platform(platform), m_path(std::move(path)) {}

std::optional<std::string> HistoryLog::Tell(std::optional<std::string> problem) {
    if (!problem) {
        m_lastProblem.clear();
        return std::nullopt;
    }
    if (*problem == m_lastProblem) {
        return std::nullopt;
    }
    m_lastProblem = *problem;
    return problem;
}

std::optional<std::string> HistoryLog::Load(std::int64_t now) {
    const std::string name(kHistoryFileName);
    const DataFileRead head = m_platform.ReadDataFile(m_path, 0, kHistoryRecordBytes);
    if (head.status == DataFileRead::Status::Refused) {
        return name + " cannot be read: " + head.failure + "; no samples are kept meanwhile";
    }
    m_recent.clear();
    if (head.status == DataFileRead::Status::Missing || head.size == 0) {
        m_size = 0;
        m_state = State::Ready;
        return std::nullopt;
    }
    const bool ours = head.bytes.size() == kHistoryRecordBytes && SealIntact(head.bytes) &&
                      std::string_view(head.bytes).starts_with(kMagic);
    if (!ours && head.size >= kHistoryRecordBytes) {
        m_state = State::Foreign;
        return name + " is not a history file of tarvellin; it is left alone and no history is kept";
    }
    if (ours && Get(head.bytes, 10, 2) != kHistoryRecordBytes) {
        m_state = State::Foreign;
        return name + " was written by a later tarvellin; it is left alone and no history is kept";
    }
    m_size = head.size - head.size % kHistoryRecordBytes;
    if (m_size != head.size) {
        // A record torn by a crash: cut off, so the next append starts on a record boundary.
        const std::string failure = m_platform.RewriteDataFile(m_path, EncodeHistoryHeader(),
                                                               ours ? kHistoryRecordBytes : 0, ours ? m_size : 0);
        if (!failure.empty()) {
            return name + " cannot be repaired after a torn record: " + failure;
        }
        m_size = std::max<std::uint64_t>(m_size, kHistoryRecordBytes);
    }
    const std::uint64_t wanted = (kHistoryMemorySeconds / 86400) * kRecordsPerDay * kHistoryRecordBytes;
    const std::uint64_t from = std::max<std::uint64_t>(kHistoryRecordBytes, m_size > wanted ? m_size - wanted : 0);
    const DataFileRead tail = m_platform.ReadDataFile(m_path, from, m_size - from);
    if (tail.status != DataFileRead::Status::Read) {
        return name + " cannot be read: " + tail.failure + "; no samples are kept meanwhile";
    }
    for (std::size_t at = 0; at + kHistoryRecordBytes <= tail.bytes.size(); at += kHistoryRecordBytes) {
        if (const auto sample = DecodeHistorySample(std::string_view(tail.bytes).substr(at, kHistoryRecordBytes))) {
            Remember(*sample, now);
        }
    }
    m_state = State::Ready;
    return std::nullopt;
}

void HistoryLog::Remember(const HistorySample& sample, std::int64_t now) {
    if (sample.time < now - kHistoryMemorySeconds || sample.time > now) {
        return;
    }
    std::deque<FreePoint>& points = m_recent[sample.letter];
    // A clock set back: the samples from the later times go, so the points stay in time order.
    while (!points.empty() && points.back().time >= sample.time) {
        points.pop_back();
    }
    points.push_back({sample.time, sample.freeBytes});
    while (!points.empty() && points.front().time < now - kHistoryMemorySeconds) {
        points.pop_front();
    }
}

std::optional<std::string> HistoryLog::Append(const std::vector<HistorySample>& samples, int days, std::int64_t now) {
    if (m_state == State::Unread) {
        if (auto problem = Load(now)) {
            return Tell(std::move(problem));
        }
    }
    if (m_state == State::Foreign || samples.empty()) {
        return std::nullopt;
    }
    std::string bytes = m_size == 0 ? EncodeHistoryHeader() : std::string();
    for (const HistorySample& sample : samples) {
        bytes += EncodeHistorySample(sample);
    }
    const std::string name(kHistoryFileName);
    const std::uint64_t bound = HistoryFileBoundBytes(days);
    const bool full = m_size + bytes.size() > bound;
    if (m_size != 0 && m_size + bytes.size() + kHistoryRewriteEarlyRecords * kHistoryRecordBytes > bound) {
        // The oldest records go first, so the file never passes its bound. A rewrite that failed is not tried
        // every minute: on a disk too slow to copy the file in time each try would start another copy.
        if (now < m_rewriteAgainAt && now >= m_rewriteAgainAt - kHistoryRewriteRetrySeconds) {
            if (full) {
                return Tell(name + " is at its bound and cannot drop its oldest samples yet; no samples are kept "
                                   "meanwhile");
            }
        } else {
            const std::uint64_t kept = HistoryRecordsKept(days) * kHistoryRecordBytes;
            const std::uint64_t keepFrom =
                std::max<std::uint64_t>(kHistoryRecordBytes, m_size - std::min(m_size, kept));
            if (const std::string failure = m_platform.RewriteDataFile(m_path, EncodeHistoryHeader(), keepFrom, m_size);
                !failure.empty()) {
                m_state = State::Unread; // it may still finish: read the file again before the next append
                m_rewriteAgainAt = now + kHistoryRewriteRetrySeconds;
                return Tell(name + " cannot drop its oldest samples: " + failure);
            }
            m_size = kHistoryRecordBytes + (m_size - keepFrom);
        }
    }
    if (const std::string failure = m_platform.AppendToDataFile(m_path, bytes); !failure.empty()) {
        m_state = State::Unread; // part of it may be there: read again before the next append
        return Tell(name + " cannot be written: " + failure);
    }
    m_size += bytes.size();
    for (const HistorySample& sample : samples) {
        Remember(sample, now);
    }
    return Tell(std::nullopt);
}

std::vector<FreePoint> HistoryLog::Recent(char letter) const {
    const auto it = m_recent.find(letter);
    return it == m_recent.end() ? std::vector<FreePoint>()
                                : std::vector<FreePoint>(it->second.begin(), it->second.end());
}
