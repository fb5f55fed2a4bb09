#include "EventLog.h"

#include <windows.h>

#include "WideText.h"

namespace eventlog {

bool Write(Kind kind, const std::string& text) {
    HANDLE source = RegisterEventSourceW(nullptr, kSource);
    if (source == nullptr) {
        return false;
    }
    const WORD type = kind == Kind::Error     ? EVENTLOG_ERROR_TYPE
                      : kind == Kind::Warning ? EVENTLOG_WARNING_TYPE
                                              : EVENTLOG_INFORMATION_TYPE;
    const std::wstring wide = Widen(text);
    const wchar_t* strings[] = {wide.c_str()};
    // Event 1 of the program's message table is the text itself ("%1").
    const BOOL written = ReportEventW(source, type, 0, 1, nullptr, 1, 0, strings, nullptr);
    DeregisterEventSource(source);
    return written != FALSE;
}

} // namespace eventlog
