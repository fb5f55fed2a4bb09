#pragma once

#include <string>

// Installs this program as the service "tarvellin" (started with Windows, as LocalSystem) that runs with
// --service run and, when folder is not empty, --folder and the folder as a full path; an installed service
// gets the new command line. Registers the event-log source. Empty on success, otherwise one line (UTF-8).
std::string InstallAgentService(const std::wstring& folder);

// Stops the service (waiting a few seconds for it), removes it and its event-log source; its settings and
// status files stay. Empty on success or when it is not installed, otherwise one line (UTF-8).
std::string UninstallAgentService();
