#include "agent/HeadlessAgent.h"

#include "report/Report.h"

int WriteWarningLine(const std::string& text) {
    WriteLine(text);
    return 1;
}

HeadlessAgent::HeadlessAgent(Platform& platform, const std::string& configurationPath, QObject* parent)
    : QObject(parent), m_loop(platform, configurationPath, *this) {}

HeadlessAgent::~HeadlessAgent() = default;

int HeadlessAgent::ShowWarning(const std::string& text) {
    return WriteWarningLine(text);
}
