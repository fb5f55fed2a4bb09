#pragma once

#include <string>

// The name of the Windows service, in the service manager and for --service install and uninstall.
inline constexpr const wchar_t* kServiceName = L"tarvellin";

// Runs the agent as the service the service manager started (--service run): the headless agent (status
// files, the command port with its page and /metrics, the automatic refresh) in the folder (made when
// missing; %ProgramData%\tarvellin when empty), without a tray and without boxes: a warning goes to the event
// log and to stderr. It answers stop and shutdown at once, a wait for a hung share included. Returns the
// process's exit code: 0 once the service has stopped, 1 when the service manager did not start it.
int RunAgentService(const std::wstring& folder);
