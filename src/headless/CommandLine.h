#pragma once

#include <optional>

// Answers --help, -h and --version on stdout, and refuses any other argument with one line on stderr, before
// anything starts (no port, no file). Returns the exit code when the command line was answered (0, or 2 for a
// refused argument); nullopt without arguments, when the agent is to run.
std::optional<int> AnswerCommandLine(int argc, char** argv);
