// A probe of what the installer and the service leave in the Wine session:
//   tarvellin_wine_system link <file.lnk>            prints the shortcut's target and arguments, a line each
//   tarvellin_wine_system manifest <file.exe>         prints the program's manifest (RT_MANIFEST 1)
//   tarvellin_wine_system service <name> start       starts the service, waits until it runs, prints its state
//   tarvellin_wine_system service <name> stop        stops it, waits until it has stopped, prints the state and
//                                                    the milliseconds from the stop request to the stopped state
// Texts are UTF-8. Exit status 0 when done, 1 when it failed, 2 on wrong arguments.
#include <windows.h>
#include <shlobj.h>
#include <shobjidl.h>

#include <cstdio>
#include <string>

namespace {

void PrintLine(const wchar_t* text) {
    std::string utf8(4 * std::wcslen(text) + 1, '\0');
    const int length =
        WideCharToMultiByte(CP_UTF8, 0, text, -1, utf8.data(), static_cast<int>(utf8.size()), nullptr, nullptr);
    utf8.resize(length > 0 ? static_cast<std::size_t>(length - 1) : 0);
    std::printf("%s\n", utf8.c_str());
}

int PrintLink(const wchar_t* file) {
    if (FAILED(CoInitialize(nullptr))) {
        return 1;
    }
    IShellLinkW* link = nullptr;
    IPersistFile* persist = nullptr;
    wchar_t target[MAX_PATH] = {};
    wchar_t arguments[1024] = {};
    bool read = SUCCEEDED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                           reinterpret_cast<void**>(&link))) &&
                SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&persist))) &&
                SUCCEEDED(persist->Load(file, STGM_READ)) &&
                SUCCEEDED(link->GetPath(target, MAX_PATH, nullptr, SLGP_RAWPATH)) &&
                SUCCEEDED(link->GetArguments(arguments, static_cast<int>(std::size(arguments))));
    if (read) {
        PrintLine(target);
        PrintLine(arguments);
    }
    if (persist != nullptr) {
        persist->Release();
    }
    if (link != nullptr) {
        link->Release();
    }
    CoUninitialize();
    return read ? 0 : 1;
}

int PrintManifest(const wchar_t* file) {
    HMODULE module = LoadLibraryExW(file, nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    HRSRC resource = module == nullptr ? nullptr : FindResourceW(module, MAKEINTRESOURCEW(1), RT_MANIFEST);
    HGLOBAL loaded = resource == nullptr ? nullptr : LoadResource(module, resource);
    const void* bytes = loaded == nullptr ? nullptr : LockResource(loaded);
    if (bytes != nullptr) {
        std::fwrite(bytes, 1, SizeofResource(module, resource), stdout);
    }
    if (module != nullptr) {
        FreeLibrary(module);
    }
    return bytes != nullptr ? 0 : 1;
}

// Waits up to the time for the state; returns the state reached last.
DWORD WaitForState(SC_HANDLE service, DWORD wanted, DWORD timeoutMs) {
    SERVICE_STATUS status{};
    const ULONGLONG deadline = GetTickCount64() + timeoutMs;
    while (QueryServiceStatus(service, &status) && status.dwCurrentState != wanted && GetTickCount64() < deadline) {
        Sleep(10);
    }
    return status.dwCurrentState;
}

int ControlTheService(const wchar_t* name, const std::wstring& verb) {
    SC_HANDLE manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT);
    SC_HANDLE service =
        manager == nullptr ? nullptr : OpenServiceW(manager, name, SERVICE_START | SERVICE_STOP | SERVICE_QUERY_STATUS);
    int result = 1;
    if (service != nullptr && verb == L"start") {
        if (StartServiceW(service, 0, nullptr)) {
            const DWORD state = WaitForState(service, SERVICE_RUNNING, 30000);
            std::printf("state %lu\n", state);
            result = state == SERVICE_RUNNING ? 0 : 1;
        }
    } else if (service != nullptr && verb == L"stop") {
        SERVICE_STATUS status{};
        const ULONGLONG asked = GetTickCount64();
        if (ControlService(service, SERVICE_CONTROL_STOP, &status)) {
            std::printf("state %lu\n", status.dwCurrentState);
            const DWORD state = WaitForState(service, SERVICE_STOPPED, 10000);
            std::printf("state %lu after %llu ms\n", state, GetTickCount64() - asked);
            result = state == SERVICE_STOPPED ? 0 : 1;
        }
    }
    if (service == nullptr) {
        std::printf("error %lu\n", GetLastError());
    }
    if (service != nullptr) {
        CloseServiceHandle(service);
    }
    if (manager != nullptr) {
        CloseServiceHandle(manager);
    }
    return result;
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    const std::wstring verb = argc > 1 ? argv[1] : L"";
    if (verb == L"link" && argc == 3) {
        return PrintLink(argv[2]);
    }
    if (verb == L"manifest" && argc == 3) {
        return PrintManifest(argv[2]);
    }
    if (verb == L"service" && argc == 4) {
        return ControlTheService(argv[2], argv[3]);
    }
    return 2;
}
