#pragma once

#include <string>

class Monitor;

// The line a headless agent writes once it runs, after its settings load and first measurement: the settings
// file, the main drive (letter, folder, free text), where the status file goes and when a refresh runs, and
// what the command port does with a request (or why there is none). listeningPort is the port listened on,
// 0 when there is no listener. Without the "tarvellin: " prefix.
std::string StartLine(const Monitor& monitor, int listeningPort);

// The line of a settings reload: the file read, and a Port changed in it, which takes effect at the next start
// (listenedPort is the Port read at start). Without the "tarvellin: " prefix.
std::string ReloadLine(const std::string& configurationPath, int listenedPort, int port);
