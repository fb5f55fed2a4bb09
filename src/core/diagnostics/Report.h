#pragma once

#include <string>
#include <string_view>

class Platform;

// Writes one diagnostic line to stderr: "tarvellin: " followed by the message (line breaks become blanks).
// The agent's one way to tell its user about a failure it goes on after.
void Report(std::string_view message);

// From now on Report writes nothing: the program is ending, and what fails now fails because it ends.
void SilenceReports();

// Writes the text as one line to stderr exactly as it is, without the prefix (line breaks become blanks).
void WriteLine(std::string_view text);

// Reports a failure once: "failed: reason" when the reason differs from the one reported last (reported, which
// then holds it), and workingAgain once when the reason is empty again.
void ReportChange(std::string& reported, const std::string& reason, const std::string& failed,
                  const std::string& workingAgain);

// Why an operation on the path failed: its folder did not answer within the time bound, or else otherwise.
std::string FailureReason(const Platform& platform, const std::string& path, const char* otherwise);
