#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include "DialogDriver.h"
#include "dialogs/CSettingDlg.h"

namespace {

// The folder edits of slots 1 to 9.
constexpr int kFolderIds[] = {1007, 1011, 1014, 1018, 1022, 1023, 1024, 1025, 1026};

// How many folder edits are enabled, and that they are exactly the first ones.
int EnabledPrefix(QWidget& dialog) {
    int enabled = 0;
    bool gap = false;
    for (int id : kFolderIds) {
        const bool on = ControlOf<QLineEdit>(dialog, id)->isEnabled();
        if (on && gap) {
            return -1;
        }
        gap = gap || !on;
        enabled += on ? 1 : 0;
    }
    return enabled;
}

} // namespace

class DriveDlgTest : public QObject {
    Q_OBJECT

private slots:
    void typedLettersAreFiltered_data();
    void typedLettersAreFiltered();
    void clearingLettersDisablesEveryFolder();
    void cancelKeepsLettersAndFoldersTakenAtTheLastLetterChange();
    void okTakesFoldersAndSavesNothing();
    void storedOverlongLettersAreCutWithOneMessage();
    void defaultedFolderShowsTheDriveRoot();
    void openedFromTheSettingsDialogButton();
};

void DriveDlgTest::typedLettersAreFiltered_data() {
    QTest::addColumn<QString>("stored");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<int>("enabledFolders");

    QTest::newRow("two existing drives") << ""
                                         << "DE"
                                         << "DE" << 2;
    QTest::newRow("missing drive vanishes") << ""
                                            << "DQE"
                                            << "DE" << 2;
    QTest::newRow("only a missing drive") << ""
                                          << "Q"
                                          << "" << 0;
    QTest::newRow("missing drive keeps the enabled folders") << "D"
                                                             << "Z"
                                                             << "D" << 1;
    QTest::newRow("lower case is kept") << ""
                                        << "d"
                                        << "d" << 1;
    QTest::newRow("same letter twice") << ""
                                       << "DD"
                                       << "DD" << 2;
    QTest::newRow("nine existing drives") << ""
                                          << "CDEFGHIJK"
                                          << "CDEFGHIJK" << 9;
    QTest::newRow("a tenth letter cannot be typed") << ""
                                                    << "CDEFGHIJKL"
                                                    << "CDEFGHIJK" << 9;
    QTest::newRow("missing drive at the limit") << ""
                                                << "CDEFGHIJQKL"
                                                << "CDEFGHIJK" << 9;
}

void DriveDlgTest::typedLettersAreFiltered() {
    QFETCH(QString, stored);
    QFETCH(QString, typed);
    QFETCH(QString, shown);
    QFETCH(int, enabledFolders);

    DialogMachine machine;
    for (char letter = 'F'; letter <= 'L'; ++letter) {
        machine.platform.AddDrive(letter, 1000, 500);
    }
    machine.monitor->Settings().Directory2 = stored.toStdString();
    CSettingDlg settingDlg(*machine.monitor);
    CDriveDlg& dialog = settingDlg.DriveDialog();
    QString shownAfterTyping;
    int enabledAfterTyping = -2;
    const ModalRun run = RunModalWith(
        &dialog, [&] { return dialog.RunModal(); },
        [&] {
            QLineEdit* letters = ControlOf<QLineEdit>(dialog, 1005);
            letters->setFocus();
            letters->end(false);
            QTest::keyClicks(letters, typed);
            shownAfterTyping = letters->text();
            enabledAfterTyping = EnabledPrefix(dialog);
            QTest::keyClick(letters, Qt::Key_Return); // OK is the default button
        });
    QVERIFY(run.stepRan);
    QVERIFY(!run.timedOut);
    QCOMPARE(run.result, int(QDialog::Accepted));
    QCOMPARE(shownAfterTyping, shown);
    QCOMPARE(enabledAfterTyping, enabledFolders);
    QCOMPARE(machine.monitor->Settings().Directory2, shown.toStdString());
}

void DriveDlgTest::clearingLettersDisablesEveryFolder() {
    DialogMachine machine;
    machine.monitor->Settings().Directory2 = "DE";
    CSettingDlg settingDlg(*machine.monitor);
    CDriveDlg& dialog = settingDlg.DriveDialog();
    QList<int> enabled;
    const ModalRun run = RunModalWith(
        &dialog, [&] { return dialog.RunModal(); },
        [&] {
            enabled << EnabledPrefix(dialog);
            TypeInto(ControlOf<QLineEdit>(dialog, 1005), QString());
            enabled << EnabledPrefix(dialog);
            dialog.reject();
        });
    QVERIFY(run.stepRan);
    QCOMPARE(enabled, (QList<int>{2, 0}));
    QCOMPARE(machine.monitor->Settings().Directory2, std::string());
}

void DriveDlgTest::cancelKeepsLettersAndFoldersTakenAtTheLastLetterChange() {
    for (const bool escape : {false, true}) {
        DialogMachine machine;
        MonitorSettings& settings = machine.monitor->Settings();
        settings.Directory2 = "D";
        CSettingDlg settingDlg(*machine.monitor);
        CDriveDlg& dialog = settingDlg.DriveDialog();
        const ModalRun run = RunModalWith(
            &dialog, [&] { return dialog.RunModal(); },
            [&] {
                QLineEdit* letters = ControlOf<QLineEdit>(dialog, 1005);
                TypeInto(ControlOf<QLineEdit>(dialog, 1007), QStringLiteral("/srv/d/"));
                letters->end(false);
                QTest::keyClicks(letters, QStringLiteral("E")); // takes the folder typed so far
                TypeInto(ControlOf<QLineEdit>(dialog, 1011), QStringLiteral("/srv/e/"));
                if (escape) {
                    QTest::keyClick(letters, Qt::Key_Escape);
                } else {
                    QTest::mouseClick(ControlOf<QPushButton>(dialog, 2), Qt::LeftButton);
                }
            });
        QVERIFY(run.stepRan);
        QVERIFY(!run.timedOut);
        QCOMPARE(run.result, int(QDialog::Rejected));
        QCOMPARE(settings.Directory2, std::string("DE"));
        QCOMPARE(settings.Path2To10.at(0), std::string("/srv/d/"));
        QCOMPARE(settings.Path2To10.at(1), std::string());
    }
}

void DriveDlgTest::okTakesFoldersAndSavesNothing() {
    DialogMachine machine;
    MonitorSettings& settings = machine.monitor->Settings();
    settings.Directory2 = "DE";
    CSettingDlg settingDlg(*machine.monitor);
    CDriveDlg& dialog = settingDlg.DriveDialog();
    const ModalRun run = RunModalWith(
        &dialog, [&] { return dialog.RunModal(); },
        [&] {
            TypeInto(ControlOf<QLineEdit>(dialog, 1011), QStringLiteral("/srv/e/"));
            QTest::mouseClick(ControlOf<QPushButton>(dialog, 1), Qt::LeftButton);
        });
    QVERIFY(run.stepRan);
    QCOMPARE(run.result, int(QDialog::Accepted));
    QCOMPARE(settings.Path2To10.at(1), std::string("/srv/e/"));
    QCOMPARE(machine.platform.saves, 0);
    QVERIFY(machine.StatusFiles().empty());
}

void DriveDlgTest::storedOverlongLettersAreCutWithOneMessage() {
    DialogMachine machine;
    machine.monitor->Settings().Directory2 = "CDECDECDECDE";
    CSettingDlg settingDlg(*machine.monitor);
    CDriveDlg& dialog = settingDlg.DriveDialog();
    MessageBoxCloser closer;
    QString shown;
    const ModalRun run = RunModalWith(
        &dialog, [&] { return dialog.RunModal(); },
        [&] {
            shown = ControlOf<QLineEdit>(dialog, 1005)->text();
            QTest::keyClick(ControlOf<QLineEdit>(dialog, 1005), Qt::Key_Return);
        });
    QVERIFY(run.stepRan);
    QCOMPARE(closer.Texts(), QStringList{QStringLiteral("9 文字以内で入力してください。")});
    QCOMPARE(closer.OverTheirDialog(), QList<bool>{true});
    QCOMPARE(shown, QStringLiteral("CDECDECDE"));
    QCOMPARE(run.result, int(QDialog::Accepted));
    QCOMPARE(machine.monitor->Settings().Directory2, std::string("CDECDECDE"));
}

void DriveDlgTest::defaultedFolderShowsTheDriveRoot() {
    DialogMachine machine;
    MonitorSettings& settings = machine.monitor->Settings();
    settings.OtherDrive = 1;
    settings.Directory2 = "E";
    const std::string rootOfE = machine.dir.Folder() + "e/";
    machine.platform.drives.at('E').folder = rootOfE;
    machine.monitor->RefreshCycle();
    CSettingDlg settingDlg(*machine.monitor);
    CDriveDlg& dialog = settingDlg.DriveDialog();
    QString shown;
    const ModalRun run = RunModalWith(
        &dialog, [&] { return dialog.RunModal(); },
        [&] {
            shown = ControlOf<QLineEdit>(dialog, 1007)->text();
            dialog.reject();
        });
    QVERIFY(run.stepRan);
    QCOMPARE(shown, QString::fromStdString(rootOfE));
}

void DriveDlgTest::openedFromTheSettingsDialogButton() {
    DialogMachine machine;
    machine.monitor->Settings().OtherDrive = 1;
    CSettingDlg settingDlg(*machine.monitor);
    CDriveDlg& dialog = settingDlg.DriveDialog();
    bool driveDialogRan = false;
    const ModalRun run = RunModalWith(
        &settingDlg, [&] { return settingDlg.RunModal(); },
        [&] {
            ModalStep inner(&dialog, [&] {
                driveDialogRan = true;
                QTest::keyClicks(ControlOf<QLineEdit>(dialog, 1005), QStringLiteral("E"));
                QTest::mouseClick(ControlOf<QPushButton>(dialog, 2), Qt::LeftButton);
            });
            QTest::mouseClick(ControlOf<QPushButton>(settingDlg, 1001), Qt::LeftButton);
            settingDlg.close();
        });
    QVERIFY(run.stepRan);
    QVERIFY(!run.timedOut);
    QVERIFY(driveDialogRan);
    QCOMPARE(machine.monitor->Settings().Directory2, std::string("E"));
}

QTEST_MAIN(DriveDlgTest)
#include "DriveDlgTest.moc"
