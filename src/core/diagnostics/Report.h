#pragma once

#include <string_view>

// Writes one diagnostic line to stderr: "tarvellin: " followed by the message (line breaks become blanks).
// The agent's one way to tell its user about a failure it goes on after.
void Report(std::string_view message);

// From now on Report writes nothing: the program is ending, and what fails now fails because it ends.
void SilenceReports();

// Writes the text as one line to stderr exactly as it is, without the prefix (line breaks become blanks).
void WriteLine(std::string_view text);
