#include "agent/HeadlessAgent.h"

#include "net/CommandListener.h"
#include "report/Report.h"

namespace {
constexpr int kTickMs = 100;
}

int WriteWarningLine(const std::string& text) {
    WriteLine(text);
    return 1;
}

HeadlessAgent::HeadlessAgent(Platform& platform, const std::string& configurationPath, QObject* parent)
    : QObject(parent), m_monitor(platform, configurationPath), m_rules(m_monitor),
      m_listener(new CommandListener(m_monitor, this)) {
    m_timer.setInterval(kTickMs);
    connect(&m_timer, &QTimer::timeout, this, &HeadlessAgent::OnTick);
}

HeadlessAgent::~HeadlessAgent() = default;

void HeadlessAgent::Start() {
    m_timer.start();
    m_rules.Initialise([this](int port) { m_listener->StartListening(port); });
}

void HeadlessAgent::OnTick() {
    m_rules.Tick(WriteWarningLine);
}
