#include "headless/HeadlessAgent.h"

#include "core/agent/StartLine.h"
#include "core/diagnostics/Report.h"

int WriteWarningLine(const std::string& text) {
    WriteLine(text);
    return 1;
}

HeadlessAgent::HeadlessAgent(Platform& platform, const std::string& configurationPath, EventSource& events,
                             Sockets& sockets)
    : m_loop(platform, configurationPath, *this, events, sockets) {}

HeadlessAgent::~HeadlessAgent() = default;

void HeadlessAgent::Start() {
    m_loop.Start();
    Report(StartLine(m_loop.GetMonitor(), m_loop.Listener().ListeningPort()));
}

int HeadlessAgent::ShowWarning(const std::string& text) {
    return WriteWarningLine(text);
}

void HeadlessAgent::Announce(const std::string& text) {
    Report(text);
}

void HeadlessAgent::TellForecast(const std::string& text) {
    Report(text);
}
