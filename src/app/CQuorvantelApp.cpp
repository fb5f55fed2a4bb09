#include "app/CQuorvantelApp.h"

#include "agent/HeadlessAgent.h"
#include "agent/SignalWatcher.h"
#include "app/CQuorvantelDlg.h"
#include "platform/Platform.h"

#include <QApplication>
#include <QHostAddress>
#include <QMessageBox>
#include <QUdpSocket>

#include <cstdio>
#include <new>

namespace {
constexpr const char* kSocketFailure = "Windows ｿｹｯﾄの初期化に失敗しました。";
constexpr const char* kOutOfMemory = "メモリ不足エラーです。";
constexpr const char* kAppName = "tarvellin";
} // namespace

bool NetworkLayerAvailable() {
    QUdpSocket probe;
    return probe.bind(QHostAddress(QHostAddress::AnyIPv4), 0) || probe.bind(QHostAddress(QHostAddress::AnyIPv6), 0);
}

CQuorvantelApp::CQuorvantelApp(int& argc, char** argv) : m_mode(ChooseAgentMode(argc, argv)) {
    // No QApplication without a display: its platform plugin would abort the process.
    if (m_mode == AgentMode::Desktop) {
        auto* app = new QApplication(argc, argv);
        QApplication::setQuitOnLastWindowClosed(false); // closing a dialog never ends the agent
        m_qtApp.reset(app);
    } else {
        m_qtApp = std::make_unique<QCoreApplication>(argc, argv);
    }
    QCoreApplication::setApplicationName(QString::fromLatin1(kAppName));
}

CQuorvantelApp::~CQuorvantelApp() = default;

int CQuorvantelApp::Run() {
    // SIGINT and SIGTERM end the loop the agent runs in, as the exit command does: nothing is saved.
    SignalWatcher stopSignals;
    QObject::connect(&stopSignals, &SignalWatcher::StopRequested, m_qtApp.get(), [] { QCoreApplication::exit(0); });
    InitInstance();
    return ExitInstance();
}

bool CQuorvantelApp::InitInstance() {
    if (!NetworkLayerAvailable()) {
        ShowStartupMessage(kSocketFailure);
        m_exitCode = 1; // a start that failed does not end as a success
        return false;
    }
    try {
        m_platform = CreatePlatform();
        m_configurationPath = m_platform->ConfigurationPath();
    } catch (const std::bad_alloc&) {
        ShowStartupMessage(kOutOfMemory);
        m_exitCode = 1;
        return false;
    }

    if (m_mode == AgentMode::Desktop) {
        // The launcher is never shown; its run is the tray agent's run, whose loop is the program's.
        CQuorvantelDlg launcher(*m_platform, *m_configurationPath);
        m_exitCode = launcher.RunModal();
    } else {
        HeadlessAgent agent(*m_platform, *m_configurationPath);
        agent.Start();
        m_exitCode = QCoreApplication::exec();
    }
    return false;
}

int CQuorvantelApp::ExitInstance() {
    m_configurationPath.reset();
    return m_exitCode;
}

void CQuorvantelApp::ShowStartupMessage(const char* utf8Text) const {
    if (m_mode == AgentMode::Desktop) {
        QMessageBox box(QMessageBox::Warning, QString::fromLatin1(kAppName), QString::fromUtf8(utf8Text),
                        QMessageBox::Ok);
        box.exec();
    } else {
        std::fprintf(stderr, "%s\n", utf8Text);
    }
}
