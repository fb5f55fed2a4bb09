#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

class Monitor;
struct MonitorSettings;

// The outcome of one network request.
enum class ReplyKind {
    NotFound,
    UpdateAccepted,
};

// Most bytes one receive takes of a request; the rest of a longer request is never looked at.
inline constexpr std::size_t kMaxRequestBytes = 1024;
// Size of each request field including its terminating NUL: a field holds at most 99 bytes.
inline constexpr std::size_t kRequestFieldSize = 100;

// The bare status line of a refused request, 22 bytes, without line end.
inline constexpr std::string_view kNotFoundLine = "HTTP/1.1 404 Not Found";
// Head of the page that answers an accepted update (UTF-8 here; 44 bytes in code page 932).
inline constexpr std::string_view kUpdateAcceptedHead = "<html><body>データ更新受け付けました<BR><BR>";

// The three fields the path parser fills, as sent (no unescaping).
struct RequestFields {
    std::string command;
    std::string value;
    std::string password;
    bool overlong = false; // some field would have exceeded 99 bytes: the request matches no rule

    friend bool operator==(const RequestFields&, const RequestFields&) = default;
};

// The received text as the decision sees it: up to the first NUL, at most kMaxRequestBytes bytes.
std::string_view RequestText(std::string_view received);
// The head of an HTTP/1.1 response: the status line, the header lines (each ending in CR LF), Content-Length
// and "Connection: close", then the empty line.
std::string HttpHead(std::string_view statusLine, std::string_view headerLines, std::size_t contentLength);
// True when the text begins with exactly "GET" (case-sensitive); false for shorter texts.
bool IsGetMethod(std::string_view text);
// Splits the path (the request text from its sixth byte on) into command, value and password; scans stop
// at the end of the text. Never fails; an oversized field sets overlong.
RequestFields ParsePath(std::string_view path);
// True when the password field equals Pass exactly; the time taken depends on the lengths only.
bool PasswordMatches(std::string_view given, std::string_view pass);
// Decides what a received request asks for, from the settings as they are now; changes nothing. passAsSent is
// Pass in the bytes a request gives it by (Platform::AsRequestBytes), nullopt when no request can give it.
ReplyKind DecideRequest(std::string_view received, const MonitorSettings& settings,
                        const std::optional<std::string>& passAsSent);
// As above, with a request giving Pass by its UTF-8 bytes.
ReplyKind DecideRequest(std::string_view received, const MonitorSettings& settings);

// The one-line status page of the main drive after the head, in code page 932.
std::string StatusPage(std::string_view head, const Monitor& monitor);
// The bytes to send for a kind from the readings as they are, in code page 932; changes nothing. With
// [Http] Headers=1 the reply is a complete HTTP/1.1 response.
std::string ComposeReply(ReplyKind kind, const Monitor& monitor);
// As ComposeReply, but UpdateAccepted first runs one refresh cycle: the one reply that changes the monitor.
std::string ReplyText(ReplyKind kind, Monitor& monitor);
// True when the command port reads requests: NetWork is 1, or [Http] Metrics is 1 (the read-only endpoints).
bool ReadsRequests(const MonitorSettings& settings);
// True when a request that was read may be a scrape, whose head is then read to its end.
bool ReadsScrapes(const MonitorSettings& settings);
