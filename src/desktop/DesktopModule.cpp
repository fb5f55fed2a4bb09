#include "platform/DesktopModule.h"

#include "desktop/CChildDlg.h"
#include "desktop/CQuorvantelDlg.h"
#include "desktop/DisplayProbe.h"
#include "desktop/DialogMetrics.h"
#include "desktop/QtEventSource.h"
#include "core/diagnostics/FixedTexts.h"

#include <QApplication>
#include <QMessageBox>

#include <type_traits>

namespace {

// A start-up failure: a warning box with OK.
void ShowStartupMessage(const char* utf8Text) {
    QMessageBox box(QMessageBox::Warning, QString::fromLatin1(kAppName), QString::fromUtf8(utf8Text), QMessageBox::Ok);
    box.exec();
}

void ReloadAgent(void* agent) {
    static_cast<CChildDlg*>(agent)->ReloadSettings();
}

int RunDesktop(const DesktopHost& host) {
    QApplication app(*host.argc, host.argv);
    QApplication::setQuitOnLastWindowClosed(false); // closing a dialog never ends the agent
    QCoreApplication::setApplicationName(QString::fromLatin1(kAppName));
    UseDialogFontEverywhere();
    Platform* platform = nullptr;
    const char* configurationPath = nullptr;
    int exitCode = 1; // a start that failed does not end as a success
    // The stop and reload requests are watched on it from the start-up until the shut-down.
    QtEventSource events;
    if (const char* failure = host.startUp(host.context, &events, &platform, &configurationPath); failure != nullptr) {
        ShowStartupMessage(failure);
    } else {
        // The launcher is never shown; its run is the tray agent's run, whose loop is the program's.
        CQuorvantelDlg launcher(*platform, configurationPath);
        launcher.SetAgentObserver([&host](CChildDlg* agent) {
            host.setReloadTarget(host.context, agent != nullptr ? &ReloadAgent : nullptr, agent);
        });
        exitCode = launcher.RunModal();
    }
    host.shutDown(host.context);
    return exitCode;
}

} // namespace

int DesktopMain(const DesktopHost* host, int* exitCode) {
    static_assert(std::is_same_v<decltype(&DesktopMain), DesktopEntry>);
    if (host == nullptr || exitCode == nullptr || host->version != kDesktopModuleVersion) {
        return kDesktopWrongVersion;
    }
    if (!DisplayConnects(*host->argc, host->argv)) {
        return kDesktopNoDisplay;
    }
    *exitCode = RunDesktop(*host);
    return kDesktopRan;
}
