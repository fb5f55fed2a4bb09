#include "AgentService.h"

#include <winsock2.h>
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>
#include <new>

#include "EventLog.h"
#include "WindowEventSource.h"
#include "WorkingFolder.h"
#include "core/agent/AgentCore.h"
#include "core/agent/AgentDriver.h"
#include "core/agent/StartLine.h"
#include "core/net/CommandListener.h"
#include "platform/Platform.h"
#include "platform/Sockets.h"
#include "platform/guarded/GuardedPlatform.h"
#include "core/diagnostics/Report.h"

namespace {

constexpr UINT_PTR kTickTimer = 1;
constexpr const wchar_t* kWindowClass = L"tarvellin.service";

// The state shared between the service manager's thread (the control handler) and the agent's thread.
struct ServiceState {
    SERVICE_STATUS_HANDLE handle = nullptr;
    std::mutex mutex;
    SERVICE_STATUS status{};
    std::atomic<bool> stopRequested{false};
    std::atomic<HWND> window{nullptr};
    std::wstring folder;
};
ServiceState g_service;

void SetState(DWORD state, DWORD exitCode = NO_ERROR, DWORD waitHintMs = 0) {
    std::lock_guard lock(g_service.mutex);
    SERVICE_STATUS& status = g_service.status;
    status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
    status.dwCurrentState = state;
    status.dwControlsAccepted = state == SERVICE_RUNNING ? SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_SHUTDOWN : 0;
    status.dwWin32ExitCode = exitCode;
    status.dwWaitHint = waitHintMs;
    status.dwCheckPoint = state == SERVICE_RUNNING || state == SERVICE_STOPPED ? 0 : status.dwCheckPoint + 1;
    SetServiceStatus(g_service.handle, &status);
}

// Stop and shutdown come on the service manager's thread: the agent's thread is told through its window, and a
// wait of the guarded platform for a hung drive or folder ends at once (stopRequested).
DWORD WINAPI ControlHandler(DWORD control, DWORD /*eventType*/, void* /*eventData*/, void* /*context*/) {
    switch (control) {
    case SERVICE_CONTROL_STOP:
    case SERVICE_CONTROL_SHUTDOWN:
        g_service.stopRequested = true;
        SetState(SERVICE_STOP_PENDING, NO_ERROR, 1000);
        if (HWND window = g_service.window.load(); window != nullptr) {
            PostMessageW(window, WM_CLOSE, 0, 0);
        }
        return NO_ERROR;
    case SERVICE_CONTROL_INTERROGATE:
        return NO_ERROR;
    default:
        return ERROR_CALL_NOT_IMPLEMENTED;
    }
}

// The agent of the service: the core and the command port on a message-only window of the agent's thread,
// which carries the tick timer and the sockets' events.
class ServiceAgent final : private AgentPresenter {
public:
    ServiceAgent(HINSTANCE instance, Platform& platform, const std::string& configurationPath)
        : m_core(platform, configurationPath, *this),
          m_driver(m_core, [this](std::chrono::milliseconds delay) { Arm(delay); }) {
        m_window = CreateWindowExW(0, kWindowClass, L"tarvellin", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, instance, this);
    }
    ~ServiceAgent() override {
        m_listener.reset();
        if (m_window != nullptr) {
            DestroyWindow(m_window);
        }
    }
    ServiceAgent(const ServiceAgent&) = delete;
    ServiceAgent& operator=(const ServiceAgent&) = delete;

    HWND Window() const { return m_window; }

    void Start() {
        m_sockets = CreateSockets();
        m_events = std::make_unique<WindowEventSource>(m_window);
        m_listener = std::make_unique<CommandListener>(m_core.GetMonitor(), *m_events, *m_sockets);
        int listening = 0;
        m_driver.Start([this, &listening](int port, const std::string& address) {
            listening = m_listener->StartListening(port, address) ? port : 0;
        });
        Report("service " + StartLine(m_core.GetMonitor(), listening));
    }

    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
        if (message == WM_NCCREATE) {
            SetWindowLongPtrW(window, GWLP_USERDATA,
                              reinterpret_cast<LONG_PTR>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams));
        }
        auto* self = reinterpret_cast<ServiceAgent*>(GetWindowLongPtrW(window, GWLP_USERDATA));
        if (self != nullptr) {
            if (message == WM_TIMER && g_service.stopRequested) {
                return 0; // no new refresh once a stop is under way
            }
            if (self->m_events && self->m_events->OnMessage(message, wParam, lParam)) {
                return 0; // the command port's
            }
            switch (message) {
            case WM_TIMER:
                self->OnTimer(static_cast<UINT_PTR>(wParam));
                return 0;
            case WM_CLOSE:
                PostQuitMessage(0);
                return 0;
            default:
                break;
            }
        }
        return DefWindowProcW(window, message, wParam, lParam);
    }

private:
    void Arm(std::chrono::milliseconds delay) {
        if (m_window != nullptr) {
            SetTimer(m_window, kTickTimer,
                     static_cast<UINT>(std::max<std::chrono::milliseconds::rep>(0, delay.count())), nullptr);
        }
    }
    void OnTimer(UINT_PTR id) {
        if (id == kTickTimer) {
            m_driver.OnTimer();
        }
    }
    void ShowStatus(const std::string& /*tipText*/, int /*level*/) override {}
    // No box in a service: the warning goes to the event log, and as one line to stderr.
    int ShowWarning(const std::string& text) override {
        eventlog::Write(eventlog::Kind::Warning, text);
        WriteLine(text);
        return 1;
    }
    // A drive's limit state: the event log, as a warning, and one line on stderr.
    void Announce(const std::string& text) override {
        eventlog::Write(eventlog::Kind::Warning, text);
        Report(text);
    }

    AgentCore m_core;
    // The command port, on the window's messages: made with the window.
    std::unique_ptr<Sockets> m_sockets;
    std::unique_ptr<WindowEventSource> m_events;
    std::unique_ptr<CommandListener> m_listener;
    HWND m_window = nullptr;
    AgentDriver m_driver;
};

// The agent's thread: the folder, the agent and its message loop, until a stop.
DWORD RunAgent() {
    const std::wstring folder = g_service.folder.empty() ? ServiceDefaultFolder() : g_service.folder;
    if (const std::string failure = EnterWorkingFolder(folder); !failure.empty()) {
        Report(failure);
        eventlog::Write(eventlog::Kind::Error, "tarvellin: " + failure);
        return ERROR_PATH_NOT_FOUND;
    }
    WSADATA sockets{};
    if (WSAStartup(MAKEWORD(2, 2), &sockets) != 0) {
        eventlog::Write(eventlog::Kind::Error, "tarvellin: Windows Sockets cannot be initialised");
        return ERROR_NETWORK_UNREACHABLE;
    }
    HINSTANCE instance = GetModuleHandleW(nullptr);
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = &ServiceAgent::WindowProc;
    windowClass.hInstance = instance;
    windowClass.lpszClassName = kWindowClass;
    RegisterClassW(&windowClass);
    DWORD exitCode = NO_ERROR;
    try {
        GuardedPlatform platform{&CreatePlatform};
        platform.AbandonWaitsWhen([] { return g_service.stopRequested.load(); });
        ServiceAgent agent(instance, platform, platform.ConfigurationPath());
        g_service.window = agent.Window();
        if (agent.Window() == nullptr) {
            exitCode = GetLastError();
        } else if (!g_service.stopRequested) {
            agent.Start();
            if (!g_service.stopRequested) {
                SetState(SERVICE_RUNNING);
            }
            MSG message{};
            while (!g_service.stopRequested && GetMessageW(&message, nullptr, 0, 0) > 0) {
                DispatchMessageW(&message);
            }
        }
        g_service.window = nullptr;
        // What fails from here on fails because the service ends.
        SilenceReports();
    } catch (const std::bad_alloc&) {
        eventlog::Write(eventlog::Kind::Error, "tarvellin: out of memory");
        exitCode = ERROR_NOT_ENOUGH_MEMORY;
    }
    WSACleanup();
    return exitCode;
}

void WINAPI ServiceMain(DWORD /*argc*/, wchar_t** /*argv*/) {
    g_service.handle = RegisterServiceCtrlHandlerExW(kServiceName, &ControlHandler, nullptr);
    if (g_service.handle == nullptr) {
        return;
    }
    // The first measurement may wait for slow drives.
    SetState(SERVICE_START_PENDING, NO_ERROR, 10000);
    const DWORD exitCode = RunAgent();
    SetState(SERVICE_STOPPED, exitCode);
}

} // namespace

int RunAgentService(const std::wstring& folder) {
    g_service.folder = folder;
    wchar_t name[] = L"tarvellin";
    const SERVICE_TABLE_ENTRYW table[] = {{name, &ServiceMain}, {nullptr, nullptr}};
    if (!StartServiceCtrlDispatcherW(table)) {
        Report("--service run is for the service manager; install the service with --service install");
        return 1;
    }
    return 0;
}
