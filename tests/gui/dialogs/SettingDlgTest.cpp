#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include "DialogDriver.h"
#include "desktop/CSettingDlg.h"

namespace {

const std::string kFreeTextOfD = "空容量150000 MByte"; // drive D of DialogMachine

} // namespace

class SettingDlgTest : public QObject {
    Q_OBJECT

private slots:
    void directoryTakesAtMostTenTypedCharacters();
    void pasteBeyondTheLimitKeepsTheCharactersThatFit_data();
    void pasteBeyondTheLimitKeepsTheCharactersThatFit();
    void openingMessagesStandOverTheirDialog();
    void failingControlTakesTheFocus();
    void keysAndButtonsReachTheModel_data();
    void keysAndButtonsReachTheModel();
    void enableRulesFollowTheirCheckBoxes_data();
    void enableRulesFollowTheirCheckBoxes();
    void hiddenControlsAreNeverShownOrEnabled();
    void tabOrderIsResourceOrder();
    void networkButtonRunsTheNetworkDialog();
    void closeForExitEndsBothDialogs();
    void secondRunWhileOpenIsRefused();
};

void SettingDlgTest::directoryTakesAtMostTenTypedCharacters() {
    DialogMachine machine;
    CSettingDlg dialog(*machine.monitor);
    QString shown;
    const ModalRun run = RunModalWith(
        &dialog, [&] { return dialog.RunModal(); },
        [&] {
            QLineEdit* edit = ControlOf<QLineEdit>(dialog, 1011);
            TypeInto(edit, QStringLiteral("ABCDEFGHIJKL"));
            shown = edit->text();
            QTest::keyClick(edit, Qt::Key_Escape);
        });
    QVERIFY(run.stepRan);
    QCOMPARE(shown, QStringLiteral("ABCDEFGHIJ"));
    QCOMPARE(run.result, int(QDialog::Accepted));
    QCOMPARE(machine.monitor->Settings().Directory, std::string("ABCDEFGHIJ"));
}

void SettingDlgTest::pasteBeyondTheLimitKeepsTheCharactersThatFit_data() {
    QTest::addColumn<QString>("before");
    QTest::addColumn<int>("selectFrom");
    QTest::addColumn<int>("selectLength");
    QTest::addColumn<QString>("pasted");
    QTest::addColumn<QString>("after");

    QTest::newRow("into an empty field") << "" << 0 << 0 << "ABCDEFGHIJKL"
                                         << "ABCDEFGHIJ";
    QTest::newRow("in the middle") << "ABC" << 1 << 0 << "XYZXYZXYZ"
                                   << "AXYZXYZXBC";
    QTest::newRow("over a selection") << "ABCDE" << 1 << 3 << "XYZXYZXYZ"
                                      << "AXYZXYZXYE";
    QTest::newRow("into a full field") << "ABCDEFGHIJ" << 10 << 0 << "K"
                                       << "ABCDEFGHIJ";
    QTest::newRow("within the limit") << "AB" << 2 << 0 << "CD"
                                      << "ABCD";
}

void SettingDlgTest::pasteBeyondTheLimitKeepsTheCharactersThatFit() {
    QFETCH(QString, before);
    QFETCH(int, selectFrom);
    QFETCH(int, selectLength);
    QFETCH(QString, pasted);
    QFETCH(QString, after);

    DialogMachine machine;
    machine.monitor->Settings().Directory = before.toStdString();
    CSettingDlg dialog(*machine.monitor);
    QString shown;
    const ModalRun run = RunModalWith(
        &dialog, [&] { return dialog.RunModal(); },
        [&] {
            QLineEdit* edit = ControlOf<QLineEdit>(dialog, 1011);
            edit->setFocus();
            edit->setSelection(selectFrom, selectLength);
            QApplication::clipboard()->setText(pasted);
            edit->paste();
            shown = edit->text();
            dialog.close();
        });
    QVERIFY(run.stepRan);
    QCOMPARE(shown, after);
}

// A stored value that fails validation brings its messages while the dialog starts.
void SettingDlgTest::openingMessagesStandOverTheirDialog() {
    DialogMachine machine;
    machine.monitor->Settings().Keikoku = 1;
    machine.monitor->Settings().Nokori = 1000000001;
    CSettingDlg dialog(*machine.monitor);
    MessageBoxCloser closer;
    QWidget* focus = nullptr;
    const ModalRun run = RunModalWith(
        &dialog, [&] { return dialog.RunModal(); },
        [&] {
            focus = dialog.focusWidget();
            dialog.close();
        });
    QVERIFY(run.stepRan);
    QCOMPARE(closer.OverTheirDialog(), QList<bool>(4, true));
    // The run's focus on the first tab stop comes after the opening's messages.
    QCOMPARE(focus, static_cast<QWidget*>(ControlOf<QPushButton>(dialog, 1000)));
}

// Each row ends or refreshes the dialog one way; a refresh is seen by its settings save.
void SettingDlgTest::keysAndButtonsReachTheModel_data() {
    QTest::addColumn<QString>("action");
    QTest::addColumn<bool>("ends");
    QTest::addColumn<int>("result");
    QTest::addColumn<bool>("refreshes");

    QTest::newRow("Enter") << "enter" << true << int(QDialog::Accepted) << true;
    QTest::newRow("Enter on the update button") << "enter-on-1009" << true << int(QDialog::Accepted) << true;
    QTest::newRow("button OK") << "click-1000" << true << int(QDialog::Accepted) << true;
    QTest::newRow("Alt+O") << "alt-o" << true << int(QDialog::Accepted) << true;
    QTest::newRow("Esc") << "esc" << true << int(QDialog::Accepted) << false;
    QTest::newRow("close box") << "close" << true << int(QDialog::Rejected) << false;
    QTest::newRow("button update") << "click-1009" << false << int(QDialog::Rejected) << true;
    QTest::newRow("Alt+S") << "alt-s" << false << int(QDialog::Rejected) << true;
}

void SettingDlgTest::keysAndButtonsReachTheModel() {
    QFETCH(QString, action);
    QFETCH(bool, ends);
    QFETCH(int, result);
    QFETCH(bool, refreshes);

    DialogMachine machine;
    CSettingDlg dialog(*machine.monitor);
    MessageBoxCloser closer;
    bool openAfterAction = false;
    QString freeShown;
    const ModalRun run = RunModalWith(
        &dialog, [&] { return dialog.RunModal(); },
        [&] {
            QVERIFY(QTest::qWaitForWindowActive(&dialog));
            QLineEdit* time = ControlOf<QLineEdit>(dialog, 1007);
            time->setFocus();
            if (action == "enter") {
                QTest::keyClick(time, Qt::Key_Return);
            } else if (action == "enter-on-1009") {
                QTest::keyClick(ControlOf<QPushButton>(dialog, 1009), Qt::Key_Enter);
            } else if (action == "click-1000") {
                QTest::mouseClick(ControlOf<QPushButton>(dialog, 1000), Qt::LeftButton);
            } else if (action == "alt-o") {
                QTest::keyClick(&dialog, Qt::Key_O, Qt::AltModifier);
            } else if (action == "esc") {
                QTest::keyClick(time, Qt::Key_Escape);
            } else if (action == "close") {
                dialog.close();
            } else if (action == "click-1009") {
                QTest::mouseClick(ControlOf<QPushButton>(dialog, 1009), Qt::LeftButton);
            } else if (action == "alt-s") {
                QTest::keyClick(&dialog, Qt::Key_S, Qt::AltModifier);
            }
            // A mnemonic clicks its button with a short animation.
            QTest::qWait(300);
            openAfterAction = dialog.isVisible();
            freeShown = ControlOf<QLabel>(dialog, 1004)->text();
            dialog.close();
        });

    QVERIFY(run.stepRan);
    QVERIFY(!run.timedOut);
    QVERIFY(closer.Texts().isEmpty());
    QCOMPARE(openAfterAction, !ends);
    QCOMPARE(run.result, result);
    QCOMPARE(machine.platform.saves, refreshes ? 1 : 0);
    if (!ends) {
        // The refresh's new text reaches its static control.
        QCOMPARE(freeShown, QString::fromStdString(kFreeTextOfD));
    }
}

void SettingDlgTest::enableRulesFollowTheirCheckBoxes_data() {
    QTest::addColumn<int>("checkId");
    QTest::addColumn<int>("dependentId");

    QTest::newRow("Auto") << 1006 << 1007;
    QTest::newRow("NetWork") << 1013 << 1019;
    QTest::newRow("Keikoku") << 1016 << 1018;
    QTest::newRow("OtherDrive") << 1020 << 1001;
}

// A click on each check box reaches its rule, which enables or disables the control bound to its id.
void SettingDlgTest::enableRulesFollowTheirCheckBoxes() {
    QFETCH(int, checkId);
    QFETCH(int, dependentId);

    DialogMachine machine;
    MonitorSettings& settings = machine.monitor->Settings();
    settings.Auto = settings.NetWork = settings.Keikoku = settings.OtherDrive = 1;
    CSettingDlg dialog(*machine.monitor);
    QList<bool> enabled;
    const ModalRun run = RunModalWith(
        &dialog, [&] { return dialog.RunModal(); },
        [&] {
            QWidget* dependent = dialog.findChild<QWidget*>(QStringLiteral("control%1").arg(dependentId));
            QCheckBox* check = ControlOf<QCheckBox>(dialog, checkId);
            enabled << dependent->isEnabled();
            ClickCheck(check);
            enabled << dependent->isEnabled();
            dialog.close();
        });
    QVERIFY(run.stepRan);
    QCOMPARE(enabled, (QList<bool>{true, false}));
}

void SettingDlgTest::failingControlTakesTheFocus() {
    DialogMachine machine;
    machine.monitor->Settings().Keikoku = 1;
    CSettingDlg dialog(*machine.monitor);
    MessageBoxCloser closer;
    QWidget* focus = nullptr;
    QString selected;
    const ModalRun run = RunModalWith(
        &dialog, [&] { return dialog.RunModal(); },
        [&] {
            QLineEdit* nokori = ControlOf<QLineEdit>(dialog, 1018);
            TypeInto(nokori, QStringLiteral("x"));
            QTest::keyClick(ControlOf<QLineEdit>(dialog, 1005), Qt::Key_Escape);
            focus = dialog.focusWidget();
            selected = nokori->selectedText();
            dialog.close();
        });
    QVERIFY(run.stepRan);
    QCOMPARE(closer.Texts().size(), 1);
    QCOMPARE(closer.OverTheirDialog(), QList<bool>{true});
    QCOMPARE(focus, static_cast<QWidget*>(ControlOf<QLineEdit>(dialog, 1018)));
    QCOMPARE(selected, QStringLiteral("x"));
}

void SettingDlgTest::hiddenControlsAreNeverShownOrEnabled() {
    DialogMachine machine;
    CSettingDlg dialog(*machine.monitor);
    QList<bool> states;
    const ModalRun run = RunModalWith(
        &dialog, [&] { return dialog.RunModal(); },
        [&] {
            ClickCheck(ControlOf<QCheckBox>(dialog, 1013));
            for (int id : {1014, 1015}) {
                QWidget* hidden = dialog.findChild<QWidget*>(QStringLiteral("control%1").arg(id));
                states << (hidden != nullptr) << hidden->isVisible() << hidden->isEnabled();
            }
            dialog.close();
        });
    QVERIFY(run.stepRan);
    QCOMPARE(states, (QList<bool>{true, false, false, true, false, false}));
}

void SettingDlgTest::tabOrderIsResourceOrder() {
    DialogMachine machine;
    machine.monitor->Settings().Auto = 1;
    machine.monitor->Settings().NetWork = 1;
    machine.monitor->Settings().Keikoku = 1;
    machine.monitor->Settings().OtherDrive = 1;
    CSettingDlg dialog(*machine.monitor);
    QStringList order;
    const ModalRun run = RunModalWith(
        &dialog, [&] { return dialog.RunModal(); },
        [&] {
            QWidget* first = ControlOf<QPushButton>(dialog, 1000);
            QWidget* widget = first;
            do {
                if ((widget->focusPolicy() & Qt::TabFocus) && widget->isVisible() && widget->isEnabled()) {
                    order << widget->objectName();
                }
                widget = widget->nextInFocusChain();
            } while (widget != first && order.size() < 40);
            dialog.close();
        });
    QVERIFY(run.stepRan);
    QCOMPARE(order, (QStringList{"control1000", "control1005", "control1006", "control1007", "control1009",
                                 "control1011", "control1012", "control1013", "control1016", "control1018",
                                 "control1019", "control1020", "control1001"}));
}

// Button 1019 runs the network settings dialog over this one, its controls showing the copied-in values.
void SettingDlgTest::networkButtonRunsTheNetworkDialog() {
    DialogMachine machine;
    MonitorSettings& settings = machine.monitor->Settings();
    settings.NetWork = 1;
    settings.Port = 8085;
    settings.Pass = "pw";
    settings.NetKoushin = 0;
    settings.EnbChange = 1;
    CSettingDlg dialog(*machine.monitor);
    CNetSet& network = dialog.NetworkDialog();
    QStringList shown;
    const ModalRun run = RunModalWith(
        &dialog, [&] { return dialog.RunModal(); },
        [&] {
            ModalStep inner(&network, [&] {
                shown << ControlOf<QLineEdit>(network, 1005)->text() << ControlOf<QLineEdit>(network, 1007)->text()
                      << QString::number(ControlOf<QCheckBox>(network, 1006)->isChecked())
                      << QString::number(ControlOf<QCheckBox>(network, 1012)->isChecked());
                TypeInto(ControlOf<QLineEdit>(network, 1005), QStringLiteral("9000"));
                QTest::keyClick(ControlOf<QLineEdit>(network, 1005), Qt::Key_Escape);
            });
            QTest::mouseClick(ControlOf<QPushButton>(dialog, 1019), Qt::LeftButton);
            dialog.close();
        });
    QVERIFY(run.stepRan);
    QVERIFY(!run.timedOut);
    QCOMPARE(shown, (QStringList{"8085", "pw", "0", "1"}));
    QCOMPARE(settings.Port, 9000);
}

// The exit command ends both nested runs.
void SettingDlgTest::closeForExitEndsBothDialogs() {
    DialogMachine machine;
    machine.monitor->Settings().NetWork = 1;
    CSettingDlg dialog(*machine.monitor);
    CNetSet& network = dialog.NetworkDialog();
    int networkResult = -1;
    const ModalRun run = RunModalWith(
        &dialog, [&] { return dialog.RunModal(); },
        [&] {
            ModalStep inner(&network, [&] {
                // The tray's exit command, arriving while both dialogs run.
                QTimer::singleShot(0, &dialog, [&] { dialog.CloseForExit(); });
            });
            connect(&network, &QDialog::finished, &dialog, [&](int result) { networkResult = result; });
            QTest::mouseClick(ControlOf<QPushButton>(dialog, 1019), Qt::LeftButton);
        });
    QVERIFY(run.stepRan);
    QVERIFY(!run.timedOut);
    QCOMPARE(networkResult, int(QDialog::Accepted));
    QCOMPARE(run.result, int(QDialog::Accepted));
    QVERIFY(!dialog.IsWindowOpen());
}

void SettingDlgTest::secondRunWhileOpenIsRefused() {
    DialogMachine machine;
    CSettingDlg dialog(*machine.monitor);
    int secondResult = -1;
    const ModalRun run = RunModalWith(
        &dialog, [&] { return dialog.RunModal(); },
        [&] {
            secondResult = dialog.RunModal();
            dialog.close();
        });
    QVERIFY(run.stepRan);
    QCOMPARE(secondResult, int(QDialog::Rejected));
    QVERIFY(!machine.monitor->WindowOpen());
}

QTEST_MAIN(SettingDlgTest)
#include "SettingDlgTest.moc"
