#include "headless/CQuorvantelApp.h"

#include "headless/HeadlessAgent.h"
#include "headless/SignalWatcher.h"
#include "headless/DesktopLoader.h"
#include "headless/DesktopModule.h"
#include "platform/Platform.h"
#include "platform/Session.h"
#include "platform/guarded/GuardedPlatform.h"
#include "core/diagnostics/Report.h"

#include <QCoreApplication>
#include <QHostAddress>
#include <QUdpSocket>

#include <filesystem>
#include <new>
#include <string>

namespace {
constexpr const char* kSocketFailure = "Windows ｿｹｯﾄの初期化に失敗しました。";
constexpr const char* kOutOfMemory = "メモリ不足エラーです。";
constexpr const char* kAppName = "tarvellin";
// In the working folder: held by the running agent, so a second one there cannot rename the same status files
// and rewrite the same tarvellin.ini.
constexpr const char* kLockFile = "tarvellin.lock";

std::string WorkingFolder() {
    std::error_code error;
    const std::filesystem::path folder = std::filesystem::current_path(error);
    return error ? std::string(".") : folder.string();
}
} // namespace

bool NetworkLayerAvailable() {
    QUdpSocket probe;
    return probe.bind(QHostAddress(QHostAddress::AnyIPv4), 0) || probe.bind(QHostAddress(QHostAddress::AnyIPv6), 0);
}

CQuorvantelApp::CQuorvantelApp(int& argc, char** argv) : m_argc(argc), m_argv(argv) {}

CQuorvantelApp::~CQuorvantelApp() = default;

int CQuorvantelApp::Run() {
    if (!LockWorkingFolder()) {
        return 1;
    }
    if (RunDesktop()) {
        return ExitInstance();
    }
    // No display (or no module): only one application object may exist, and only now is it made.
    m_qtApp = std::make_unique<QCoreApplication>(m_argc, m_argv);
    QCoreApplication::setApplicationName(QString::fromLatin1(kAppName));
    InitInstance();
    ShutDown();
    return ExitInstance();
}

bool CQuorvantelApp::LockWorkingFolder() {
    const InstanceLock lock = LockInstance(kLockFile);
    switch (lock.outcome) {
    case InstanceLock::Outcome::Taken:
        return true;
    case InstanceLock::Outcome::HeldByAnother:
        Report("another tarvellin" +
               (lock.ownerPid > 0 ? " (pid " + std::to_string(lock.ownerPid) + ")" : std::string()) +
               " already runs in " + WorkingFolder() + "; not starting a second one");
        return false;
    case InstanceLock::Outcome::Unavailable:
        break;
    }
    // A folder that takes no new file can still hold a writable tarvellin.ini: the agent runs, unguarded.
    Report(std::string("no lock in ") + WorkingFolder() + " (" + kLockFile + ": " + lock.failure +
           "); a second agent started here would not be refused");
    return true;
}

bool CQuorvantelApp::RunDesktop() {
    if (!DisplayMayExist()) {
        return false;
    }
    const DesktopEntry entry = LoadDesktopModule();
    if (entry == nullptr) {
        return false;
    }
    DesktopHost host{};
    host.version = kDesktopModuleVersion;
    host.argc = &m_argc;
    host.argv = m_argv;
    host.context = this;
    host.startUp = [](void* context, Platform** platform, const char** configurationPath) -> const char* {
        auto* self = static_cast<CQuorvantelApp*>(context);
        const char* failure = self->StartUp();
        if (failure == nullptr) {
            *platform = self->m_platform.get();
            *configurationPath = self->m_configurationPath->c_str();
        }
        return failure;
    };
    host.shutDown = [](void* context) { static_cast<CQuorvantelApp*>(context)->ShutDown(); };
    host.setReloadTarget = [](void* context, void (*reload)(void* target), void* target) {
        auto* self = static_cast<CQuorvantelApp*>(context);
        self->m_reloadAgent = reload == nullptr ? std::function<void()>() : [reload, target] { reload(target); };
    };
    int exitCode = 1;
    const int outcome = entry(&host, &exitCode);
    if (outcome == kDesktopRan) {
        m_mode = AgentMode::Desktop;
        m_exitCode = exitCode;
        return true;
    }
    if (outcome != kDesktopNoDisplay) {
        Report("desktop module of another version; running without windows");
    }
    return false;
}

const char* CQuorvantelApp::StartUp() {
    // A stop request (SIGINT, SIGTERM) ends the loop the agent runs in, as the exit command does: nothing is
    // saved.
    m_stopSignals = std::make_unique<SignalWatcher>();
    QObject::connect(m_stopSignals.get(), &SignalWatcher::StopRequested, QCoreApplication::instance(),
                     [] { QCoreApplication::exit(0); });
    // A reload request (SIGHUP) reads the settings file again, in either mode.
    QObject::connect(m_stopSignals.get(), &SignalWatcher::ReloadRequested, QCoreApplication::instance(), [this] {
        if (m_reloadAgent) {
            m_reloadAgent();
        }
    });
    if (!NetworkLayerAvailable()) {
        m_exitCode = 1; // a start that failed does not end as a success
        return kSocketFailure;
    }
    try {
        // Drive queries and file operations are bounded in time and run in worker processes, so a hung drive or
        // share can neither freeze the agent nor hold up its end; a stop request ends a wait at once.
        auto guarded = std::make_unique<GuardedPlatform>(&CreatePlatform);
        guarded->AbandonWaitsWhen([] {
            if (!StopRequestArrived()) {
                return false;
            }
            // An operation cut short by the stop has not failed on its own: nothing more to tell.
            SilenceReports();
            return true;
        });
        m_platform = std::move(guarded);
        m_configurationPath = m_platform->ConfigurationPath();
    } catch (const std::bad_alloc&) {
        m_platform.reset();
        m_exitCode = 1;
        return kOutOfMemory;
    }
    return nullptr;
}

void CQuorvantelApp::ShutDown() {
    m_stopSignals.reset();
    m_platform.reset();
}

bool CQuorvantelApp::InitInstance() {
    if (const char* failure = StartUp(); failure != nullptr) {
        WriteLine(failure); // no windows: the failure is one stderr line
        return false;
    }
    HeadlessAgent agent(*m_platform, *m_configurationPath);
    agent.Start();
    m_reloadAgent = [&agent] { agent.ReloadSettings(); };
    m_exitCode = QCoreApplication::exec();
    m_reloadAgent = {};
    return false;
}

int CQuorvantelApp::ExitInstance() {
    m_configurationPath.reset();
    return m_exitCode;
}
