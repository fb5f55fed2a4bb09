#include "ServiceInstaller.h"

#include <windows.h>

#include <chrono>
#include <thread>

#include "AgentService.h"
#include "WideText.h"
#include "WorkingFolder.h"

namespace {

constexpr const wchar_t* kEventSourceKey = L"SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\tarvellin";
constexpr const wchar_t* kDescription =
    L"Publishes the free capacity of disk drives as status files and on a TCP port (tarvellin without a tray).";

// Closes a service-manager handle when it goes out of scope.
struct ServiceHandle {
    SC_HANDLE handle;
    explicit ServiceHandle(SC_HANDLE h) : handle(h) {}
    ~ServiceHandle() {
        if (handle != nullptr) {
            CloseServiceHandle(handle);
        }
    }
    ServiceHandle(const ServiceHandle&) = delete;
    ServiceHandle& operator=(const ServiceHandle&) = delete;
};

std::wstring ProgramPath() {
    std::wstring path(32768, L'\0');
    const DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    path.resize(length < path.size() ? length : 0);
    return path;
}

std::string Failure(const char* what) {
    return std::string(what) + ": " + SystemMessage(GetLastError());
}

void RegisterEventSource(const std::wstring& program) {
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, kEventSourceKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr) !=
        ERROR_SUCCESS) {
        return; // the entries are written all the same, only shown without their message file
    }
    const DWORD types = EVENTLOG_ERROR_TYPE | EVENTLOG_WARNING_TYPE | EVENTLOG_INFORMATION_TYPE;
    RegSetValueExW(key, L"EventMessageFile", 0, REG_EXPAND_SZ, reinterpret_cast<const BYTE*>(program.c_str()),
                   static_cast<DWORD>((program.size() + 1) * sizeof(wchar_t)));
    RegSetValueExW(key, L"TypesSupported", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&types), sizeof(types));
    RegCloseKey(key);
}

} // namespace

std::string InstallAgentService(const std::wstring& folder) {
    const std::wstring program = ProgramPath();
    if (program.empty()) {
        return Failure("cannot name the program's path");
    }
    std::wstring commandLine = L"\"" + program + L"\" --service run";
    if (!folder.empty()) {
        commandLine += L" --folder \"" + FullFolderPath(folder) + L"\"";
    }
    ServiceHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CREATE_SERVICE | SC_MANAGER_CONNECT));
    if (manager.handle == nullptr) {
        return Failure("cannot reach the service manager (run it as an administrator)");
    }
    ServiceHandle service(CreateServiceW(manager.handle, kServiceName, L"tarvellin", SERVICE_ALL_ACCESS,
                                         SERVICE_WIN32_OWN_PROCESS, SERVICE_AUTO_START, SERVICE_ERROR_NORMAL,
                                         commandLine.c_str(), nullptr, nullptr, nullptr, nullptr, nullptr));
    if (service.handle == nullptr && GetLastError() == ERROR_SERVICE_EXISTS) {
        // Installed before: it takes the new command line (another folder, a moved program).
        service.handle = OpenServiceW(manager.handle, kServiceName, SERVICE_CHANGE_CONFIG);
        if (service.handle == nullptr ||
            !ChangeServiceConfigW(service.handle, SERVICE_NO_CHANGE, SERVICE_AUTO_START, SERVICE_NO_CHANGE,
                                  commandLine.c_str(), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr)) {
            return Failure("cannot change the installed service");
        }
    }
    if (service.handle == nullptr) {
        return Failure("cannot install the service");
    }
    SERVICE_DESCRIPTIONW description{const_cast<wchar_t*>(kDescription)};
    ChangeServiceConfig2W(service.handle, SERVICE_CONFIG_DESCRIPTION, &description);
    RegisterEventSource(program);
    return {};
}

std::string UninstallAgentService() {
    ServiceHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
    if (manager.handle == nullptr) {
        return Failure("cannot reach the service manager (run it as an administrator)");
    }
    ServiceHandle service(OpenServiceW(manager.handle, kServiceName, SERVICE_STOP | SERVICE_QUERY_STATUS | DELETE));
    if (service.handle == nullptr) {
        return GetLastError() == ERROR_SERVICE_DOES_NOT_EXIST ? std::string() : Failure("cannot open the service");
    }
    SERVICE_STATUS status{};
    if (ControlService(service.handle, SERVICE_CONTROL_STOP, &status)) {
        using namespace std::chrono;
        const auto deadline = steady_clock::now() + seconds(5);
        while (QueryServiceStatus(service.handle, &status) && status.dwCurrentState != SERVICE_STOPPED &&
               steady_clock::now() < deadline) {
            std::this_thread::sleep_for(milliseconds(50));
        }
    }
    if (!DeleteService(service.handle)) {
        return Failure("cannot remove the service");
    }
    RegDeleteKeyW(HKEY_LOCAL_MACHINE, kEventSourceKey);
    return {};
}
