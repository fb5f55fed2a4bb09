#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include "DialogDriver.h"
#include "desktop/CSettingDlg.h"

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
    void keysAndButtonsReachTheModel_data();
    void keysAndButtonsReachTheModel();
    void openingMessageStandsOverItsDialog();
    void openedFromTheSettingsDialogButton();
};

// Letters typed one by one: each change reaches the model, and the edit takes no tenth letter.
void DriveDlgTest::typedLettersAreFiltered_data() {
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<int>("enabledFolders");

    QTest::newRow("missing drive vanishes") << "DQE"
                                            << "DE" << 2;
    QTest::newRow("a tenth letter cannot be typed") << "CDEFGHIJKL"
                                                    << "CDEFGHIJK" << 9;
    QTest::newRow("missing drive at the limit") << "CDEFGHIJQKL"
                                                << "CDEFGHIJK" << 9;
}

void DriveDlgTest::typedLettersAreFiltered() {
    QFETCH(QString, typed);
    QFETCH(QString, shown);
    QFETCH(int, enabledFolders);

    DialogMachine machine;
    for (char letter = 'F'; letter <= 'L'; ++letter) {
        machine.platform.AddDrive(letter, 1000, 500);
    }
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

void DriveDlgTest::keysAndButtonsReachTheModel_data() {
    QTest::addColumn<QString>("action");
    QTest::addColumn<int>("result");

    QTest::newRow("button OK") << "click-1" << int(QDialog::Accepted);
    QTest::newRow("Enter on the default button") << "enter" << int(QDialog::Accepted);
    QTest::newRow("Enter on the focused Cancel") << "enter-on-2" << int(QDialog::Rejected);
    QTest::newRow("button Cancel") << "click-2" << int(QDialog::Rejected);
    QTest::newRow("Esc") << "esc" << int(QDialog::Rejected);
    QTest::newRow("close box") << "close" << int(QDialog::Rejected);
}

void DriveDlgTest::keysAndButtonsReachTheModel() {
    QFETCH(QString, action);
    QFETCH(int, result);

    DialogMachine machine;
    machine.monitor->Settings().Directory2 = "D";
    CSettingDlg settingDlg(*machine.monitor);
    CDriveDlg& dialog = settingDlg.DriveDialog();
    const ModalRun run = RunModalWith(
        &dialog, [&] { return dialog.RunModal(); },
        [&] {
            QLineEdit* folder = ControlOf<QLineEdit>(dialog, 1007);
            TypeInto(folder, QStringLiteral("/srv/d/"));
            if (action == "click-1") {
                QTest::mouseClick(ControlOf<QPushButton>(dialog, 1), Qt::LeftButton);
            } else if (action == "enter") {
                QTest::keyClick(folder, Qt::Key_Return);
            } else if (action == "enter-on-2") {
                ControlOf<QPushButton>(dialog, 2)->setFocus();
                QTest::keyClick(ControlOf<QPushButton>(dialog, 2), Qt::Key_Return);
            } else if (action == "click-2") {
                QTest::mouseClick(ControlOf<QPushButton>(dialog, 2), Qt::LeftButton);
            } else if (action == "esc") {
                QTest::keyClick(folder, Qt::Key_Escape);
            } else if (action == "close") {
                dialog.close();
            }
        });
    QVERIFY(run.stepRan);
    QVERIFY(!run.timedOut);
    QCOMPARE(run.result, result);
    // The folder's edit is bound to the first slot's folder.
    QCOMPARE(machine.monitor->Settings().Path2To10.at(0),
             std::string(result == int(QDialog::Accepted) ? "/srv/d/" : ""));
}

void DriveDlgTest::openingMessageStandsOverItsDialog() {
    DialogMachine machine;
    machine.monitor->Settings().Directory2 = "CDECDECDECDE";
    CSettingDlg settingDlg(*machine.monitor);
    CDriveDlg& dialog = settingDlg.DriveDialog();
    MessageBoxCloser closer;
    const ModalRun run = RunModalWith(
        &dialog, [&] { return dialog.RunModal(); }, [&] { dialog.reject(); });
    QVERIFY(run.stepRan);
    QCOMPARE(closer.OverTheirDialog(), QList<bool>{true});
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
