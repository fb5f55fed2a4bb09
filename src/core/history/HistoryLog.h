#pragma once

#include <cstdint>
#include <deque>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Platform.h"

// Name of the history file, beside tarvellin.ini.
inline constexpr std::string_view kHistoryFileName = "tarvellin.history";

// One measurement of one drive.
struct HistorySample {
    std::int64_t time = 0; // seconds since 1970-01-01 UTC
    char letter = 0;       // upper case
    std::uint64_t totalBytes = 0;
    std::uint64_t freeBytes = 0;

    friend bool operator==(const HistorySample&, const HistorySample&) = default;
};

// The file is a run of fixed-size little-endian records, appended only. The first is the header:
//   0..7 "TVHISTRY", 8..9 format version, 10..11 record size (32), 12..27 zero, 28..31 CRC-32 of 0..27.
// Each further record is one sample:
//   0 record version (1), 1 drive letter, 2..3 zero, 4..11 time, 12..19 total bytes, 20..27 free bytes,
//   28..31 CRC-32 of 0..27.
// A record with a bad checksum (torn or damaged) or of a later version is skipped; a torn last record is
// cut off before the next append, so later records stay aligned.
inline constexpr std::size_t kHistoryRecordBytes = 32;

std::string EncodeHistoryHeader();
std::string EncodeHistorySample(const HistorySample& sample);
// The sample of a record; nullopt for a bad checksum, another record version or a record of another size.
std::optional<HistorySample> DecodeHistorySample(std::string_view record);

// Samples kept in the file for [History] Days: ten drives at one sample a minute for that many days
// (Days * 14400). Before an append would take the file past HistoryFileBoundBytes, a day of such samples more
// plus the header, 32 * (1 + (Days + 1) * 14400) bytes (184,780,832 bytes, 176.2 MiB, at 400 days), the file is
// rewritten down to its newest HistoryRecordsKept records. With fewer drives the kept records reach further back.
// The rewrite starts kHistoryRewriteEarlyRecords before the bound: a rewrite that fails (a slow disk that does
// not copy the file within the time bound) is tried again after kHistoryRewriteRetrySeconds, and appends go on
// meanwhile as long as they stay within the bound; past it, samples are not kept until a rewrite succeeds.
std::uint64_t HistoryRecordsKept(int days);
std::uint64_t HistoryFileBoundBytes(int days);
inline constexpr std::uint64_t kHistoryRewriteEarlyRecords = 3 * 600; // three hours of ten drives
inline constexpr std::int64_t kHistoryRewriteRetrySeconds = 3600;

// How far back samples stay in memory for the forecast.
inline constexpr std::int64_t kHistoryMemorySeconds = 7 * 86400;

// One drive's free space at one time, for the trend.
struct FreePoint {
    std::int64_t time = 0;
    std::uint64_t freeBytes = 0;
};

// The history file and the recent samples in memory. Every file operation goes through the platform (the
// time-bounded one in the agent). Nothing is read or written before the first Append.
class HistoryLog {
public:
    HistoryLog(Platform& platform, std::string path);

    // Appends the samples (taken at now) to the file and to memory, first reading the file's recent part when
    // that has not been done; drops the oldest records by an atomic rewrite once the file passes its bound.
    // Returns one line for the user when something failed that was not told the last time (nullopt when all
    // went well or the same failure was told already). A file that is not a history file of this format is
    // never written; the history then stays off.
    std::optional<std::string> Append(const std::vector<HistorySample>& samples, int days, std::int64_t now);

    // The drive's samples of the last seven days held in memory, oldest first.
    std::vector<FreePoint> Recent(char letter) const;

private:
    enum class State { Unread, Ready, Foreign };

    // Reads the header and the recent records; the failure when it cannot.
    std::optional<std::string> Load(std::int64_t now);
    void Remember(const HistorySample& sample, std::int64_t now);
    std::optional<std::string> Tell(std::optional<std::string> problem);

    Platform& m_platform;
    std::string m_path;
    State m_state = State::Unread;
    std::uint64_t m_size = 0; // bytes of whole records in the file, its header included
    std::map<char, std::deque<FreePoint>> m_recent;
    std::string m_lastProblem;
    std::int64_t m_rewriteAgainAt = 0; // after a failed rewrite: the next is not tried before then
};
