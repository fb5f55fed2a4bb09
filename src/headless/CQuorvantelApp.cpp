#include "headless/CQuorvantelApp.h"

#include "headless/HeadlessAgent.h"
#include "headless/SignalWatcher.h"
#include "headless/DesktopLoader.h"
#include "platform/DesktopModule.h"
#include "platform/Platform.h"
#include "platform/Session.h"
#include "platform/Sockets.h"
#include "platform/guarded/GuardedPlatform.h"
#include "platform/posix/PollLoop.h"
#include "core/diagnostics/FixedTexts.h"
#include "core/diagnostics/Report.h"

#include <filesystem>
#include <new>
#include <string>

namespace {
// In the working folder: held by the running agent, so a second one there cannot rename the same status files
// and rewrite the same tarvellin.ini.
constexpr const char* kLockFile = "tarvellin.lock";

std::string WorkingFolder() {
    std::error_code error;
    const std::filesystem::path folder = std::filesystem::current_path(error);
    return error ? std::string(".") : folder.string();
}
} // namespace

CQuorvantelApp::CQuorvantelApp(int& argc, char** argv) : m_argc(argc), m_argv(argv) {}

CQuorvantelApp::~CQuorvantelApp() = default;

int CQuorvantelApp::Run() {
    if (!LockWorkingFolder()) {
        return 1;
    }
    if (RunDesktop()) {
        return ExitInstance();
    }
    InitInstance();
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
    host.startUp = [](void* context, EventSource* events, Platform** platform,
                      const char** configurationPath) -> const char* {
        auto* self = static_cast<CQuorvantelApp*>(context);
        const char* failure = self->StartUp(*events);
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

const char* CQuorvantelApp::StartUp(EventSource& events) {
    m_stopSignals = std::make_unique<SignalWatcher>(
        events,
        // A stop request (SIGINT, SIGTERM) ends the loop the agent runs in, as the exit command does: nothing is
        // saved.
        [&events](int /*signalNumber*/) { events.Quit(0); },
        // A reload request (SIGHUP) reads the settings file again, in either mode.
        [this] {
            if (m_reloadAgent) {
                m_reloadAgent();
            }
        });
    if (!NetworkLayerAvailable()) {
        m_exitCode = 1; // a start that failed does not end as a success
        return kSocketsInitFailed;
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
    PollLoop loop;
    if (const char* failure = StartUp(loop); failure != nullptr) {
        WriteLine(failure); // no windows: the failure is one stderr line
        ShutDown();
        return false;
    }
    const std::unique_ptr<Sockets> sockets = CreateSockets();
    {
        HeadlessAgent agent(*m_platform, *m_configurationPath, loop, *sockets);
        agent.Start();
        m_reloadAgent = [&agent] { agent.ReloadSettings(); };
        m_exitCode = loop.Run();
        m_reloadAgent = {};
    }
    ShutDown();
    return false;
}

int CQuorvantelApp::ExitInstance() {
    m_configurationPath.reset();
    return m_exitCode;
}
