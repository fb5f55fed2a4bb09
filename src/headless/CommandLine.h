#pragma once

#include <optional>

// Answers --help, -h and --version on stdout, and refuses any other argument with one line on stderr, before
// anything starts (no port, no file). --folder DIR is taken out of argc and argv: without another argument the
// folder is made when missing and entered. Returns the exit code when the command line was answered (0, or 2
// for a refused argument or a folder that cannot be made or entered); nullopt when the agent is to run.
std::optional<int> AnswerCommandLine(int& argc, char** argv);
