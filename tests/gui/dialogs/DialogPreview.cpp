// Developer tool: shows one of the settings dialogs on a made-up machine and saves a picture of it.
// Usage: tarvellin_dialog_preview settings|drive|network <picture.png>

#include <QApplication>
#include <QDialog>
#include <QPixmap>
#include <QTimer>

#include <cstdio>
#include <string>

#include "FakePlatform.h"
#include "TempDir.h"
#include "core/capacity/Monitor.h"
#include "desktop/CSettingDlg.h"

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    if (argc != 3) {
        std::fputs("usage: tarvellin_dialog_preview settings|drive|network <picture.png>\n", stderr);
        return 2;
    }
    const std::string which = argv[1];
    const QString picture = QString::fromLocal8Bit(argv[2]);

    TempDir folder;
    FakePlatform platform;
    platform.AddDrive('C', 476940, 123456);
    platform.AddDrive('D', 953868, 512000);
    platform.AddDrive('E', 1907729, 1000000, DriveType::Remote);
    platform.configurationPath = folder.Folder() + "tarvellin.ini";
    Monitor monitor(platform, platform.configurationPath);
    MonitorSettings& settings = monitor.Settings();
    settings.Path = folder.Folder();
    settings.Directory = "C";
    settings.Auto = 1;
    settings.Time = 10;
    settings.NetWork = 1;
    settings.Keikoku = 1;
    settings.OtherDrive = 1;
    settings.Directory2 = "DE";
    // Every status file goes into the temporary folder.
    settings.Path2To10.at(0) = folder.Folder() + "d-share/";
    settings.Path2To10.at(1) = folder.Folder() + "e-root/";
    settings.Pass = "secret";
    monitor.RefreshCycle();

    CSettingDlg dialog(monitor);
    QDialog* shown = &dialog;
    if (which == "drive") {
        shown = &dialog.DriveDialog();
    } else if (which == "network") {
        shown = &dialog.NetworkDialog();
    } else if (which != "settings") {
        std::fputs("unknown dialog\n", stderr);
        return 2;
    }

    bool saved = false;
    QTimer::singleShot(800, shown, [&] {
        saved = shown->grab().save(picture);
        shown->reject();
    });
    if (shown == &dialog) {
        dialog.RunModal();
    } else if (shown == &dialog.DriveDialog()) {
        dialog.DriveDialog().RunModal();
    } else {
        dialog.NetworkDialog().Model().m_port = settings.Port;
        dialog.NetworkDialog().Model().m_password = settings.Pass;
        dialog.NetworkDialog().RunModal();
    }
    return saved ? 0 : 1;
}
