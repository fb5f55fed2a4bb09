#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include <algorithm>

#include "DialogDriver.h"
#include "dialogs/CSettingDlg.h"

namespace {

const std::string kFreeTextOfD = "空容量150000 MByte"; // drive D of DialogMachine
const std::string kFreeTextOfC = "空容量40000 MByte";

bool Contains(const std::vector<std::string>& names, const std::string& name) {
    return std::find(names.begin(), names.end(), name) != names.end();
}

} // namespace

class SettingDlgTest : public QObject {
    Q_OBJECT

private slots:
    void validationStopsAtFailingControl_data();
    void validationStopsAtFailingControl();
    void directoryTakesAtMostTenTypedCharacters();
    void pasteBeyondTheLimitKeepsTheCharactersThatFit_data();
    void pasteBeyondTheLimitKeepsTheCharactersThatFit();
    void storedFlagOtherThanZeroOrOneReadsAsUnchecked();
    void storedInvalidValueFailsEveryPullIncludingTheFourAtOpening();
    void keysAndButtonsRefreshOrNot_data();
    void keysAndButtonsRefreshOrNot();
    void enableRulesFollowTheirCheckBoxes_data();
    void enableRulesFollowTheirCheckBoxes();
    void enableRuleClickPullsEverythingAndAppliesDespiteInvalidValue();
    void openingClearsPendingWarningAndKeepsLastTexts();
    void hiddenControlsAreNeverShownOrEnabled();
    void tabOrderIsResourceOrder();
    void networkSettingsAreCopiedInAndOut();
    void cancelledNetworkSettingsLeaveSettingsUnchanged();
    void closeForExitAcceptsBothDialogsWithoutSaving();
    void closeForExitDuringValidationMessageLeavesNetworkDialogOpen();
    void refreshWhileOpenPullsEditsAndShowsNewTexts();
    void refreshDuringValidationMessageShowsItOnlyOnce();
    void secondRunWhileOpenIsRefused();
};

// Each row types one text into one control and presses Esc (OK without refresh).
void SettingDlgTest::validationStopsAtFailingControl_data() {
    QTest::addColumn<int>("id");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<bool>("accepted");
    QTest::addColumn<QString>("message");

    QTest::newRow("Time not an integer") << 1007 << "abc" << false << "整数を入力してください。";
    QTest::newRow("Time empty") << 1007 << "" << false << "整数を入力してください。";
    QTest::newRow("Time with a trailing letter") << 1007 << "5x" << false << "整数を入力してください。";
    QTest::newRow("Time beyond 32 bits") << 1007 << "2147483648" << false << "整数を入力してください。";
    QTest::newRow("Time negative has no range") << 1007 << "-3" << true << "";
    QTest::newRow("Time with blanks") << 1007 << " 12 " << true << "";
    QTest::newRow("Nokori -1") << 1018 << "-1" << false << "0 から 1000000000 までの整数を入力してください。";
    QTest::newRow("Nokori 0") << 1018 << "0" << true << "";
    QTest::newRow("Nokori 1000000000") << 1018 << "1000000000" << true << "";
    QTest::newRow("Nokori 1000000001") << 1018 << "1000000001" << false
                                       << "0 から 1000000000 までの整数を入力してください。";
    QTest::newRow("Directory of 10 characters") << 1011 << "ABCDEFGHIJ" << true << "";
}

void SettingDlgTest::validationStopsAtFailingControl() {
    QFETCH(int, id);
    QFETCH(QString, typed);
    QFETCH(bool, accepted);
    QFETCH(QString, message);

    DialogMachine machine;
    MonitorSettings& settings = machine.monitor->Settings();
    settings.Auto = 1;
    settings.Keikoku = 1;
    settings.Nokori = 100;
    CSettingDlg dialog(*machine.monitor);
    MessageBoxCloser closer;
    QLineEdit* edit = ControlOf<QLineEdit>(dialog, id);
    QVERIFY(edit);
    // A later control whose edit must not be taken when an earlier one fails.
    QLineEdit* later = ControlOf<QLineEdit>(dialog, 1018);
    bool stillOpen = false;
    QWidget* focus = nullptr;

    const ModalRun run = RunModalWith(
        &dialog, [&] { return dialog.RunModal(); },
        [&] {
            if (id != 1018) {
                TypeInto(later, QStringLiteral("777"));
            }
            TypeInto(edit, typed);
            QTest::keyClick(ControlOf<QLineEdit>(dialog, 1005), Qt::Key_Escape);
            stillOpen = dialog.isVisible();
            focus = dialog.focusWidget();
            dialog.close();
        });

    QVERIFY(run.stepRan);
    QVERIFY(!run.timedOut);
    QCOMPARE(stillOpen, !accepted);
    QCOMPARE(run.result, accepted ? int(QDialog::Accepted) : int(QDialog::Rejected));
    QCOMPARE(machine.platform.saves, 0); // Esc does not refresh
    if (accepted) {
        QVERIFY(closer.Texts().isEmpty());
        const int expectedNokori = id == 1018 ? typed.toInt() : 777;
        QCOMPARE(settings.Nokori, expectedNokori);
        if (id == 1007) {
            QCOMPARE(settings.Time, typed.trimmed().toInt());
        }
        if (id == 1011) {
            QCOMPARE(settings.Directory, typed.toStdString());
        }
    } else {
        QCOMPARE(closer.Texts(), QStringList{message});
        QCOMPARE(focus, static_cast<QWidget*>(edit));
        // The failing control keeps its old member; Nokori after Time is not taken.
        QCOMPARE(settings.Time, 5);
        QCOMPARE(settings.Nokori, 100);
    }
}

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

void SettingDlgTest::storedFlagOtherThanZeroOrOneReadsAsUnchecked() {
    struct Case {
        int MonitorSettings::*flag;
        int checkId;
        int dependentId;
    };
    const Case cases[] = {{&MonitorSettings::Auto, 1006, 1007},
                          {&MonitorSettings::NetWork, 1013, 1019},
                          {&MonitorSettings::Keikoku, 1016, 1018},
                          {&MonitorSettings::OtherDrive, 1020, 1001}};
    for (const Case& c : cases) {
        DialogMachine machine;
        machine.monitor->Settings().*c.flag = 2;
        CSettingDlg dialog(*machine.monitor);
        QList<bool> shown;
        const ModalRun run = RunModalWith(
            &dialog, [&] { return dialog.RunModal(); },
            [&] {
                shown << ControlOf<QCheckBox>(dialog, c.checkId)->isChecked()
                      << dialog.findChild<QWidget*>(QStringLiteral("control%1").arg(c.dependentId))->isEnabled();
                QTest::keyClick(ControlOf<QLineEdit>(dialog, 1005), Qt::Key_Escape);
            });
        QVERIFY(run.stepRan);
        QCOMPARE(shown, (QList<bool>{false, false}));
        QCOMPARE(machine.monitor->Settings().*c.flag, 0);
    }
}

void SettingDlgTest::storedInvalidValueFailsEveryPullIncludingTheFourAtOpening() {
    struct Case {
        const char* name;
        void (*spoil)(MonitorSettings&);
        int failingId;
    };
    const Case cases[] = {
        {"Nokori above the range",
         [](MonitorSettings& s) {
             s.Keikoku = 1;
             s.Nokori = 1000000001;
         },
         1018},
        {"Directory of 11 characters", [](MonitorSettings& s) { s.Directory = "ABCDEFGHIJK"; }, 1011},
    };
    for (const Case& c : cases) {
        DialogMachine machine;
        c.spoil(machine.monitor->Settings());
        const MonitorSettings before = machine.monitor->Settings();
        CSettingDlg dialog(*machine.monitor);
        MessageBoxCloser closer;
        int messagesAtOpening = -1;
        bool openAfterEsc = false;
        QWidget* focus = nullptr;
        const ModalRun run = RunModalWith(
            &dialog, [&] { return dialog.RunModal(); },
            [&] {
                messagesAtOpening = static_cast<int>(closer.Texts().size());
                QTest::keyClick(ControlOf<QLineEdit>(dialog, 1005), Qt::Key_Escape);
                openAfterEsc = dialog.isVisible();
                focus = dialog.focusWidget();
                dialog.close();
            });
        QVERIFY2(run.stepRan, c.name);
        QCOMPARE(messagesAtOpening, 4);
        QCOMPARE(closer.Texts().size(), 5);
        QCOMPARE(closer.OverTheirDialog(), QList<bool>(5, true));
        QVERIFY2(openAfterEsc, c.name);
        QCOMPARE(run.result, int(QDialog::Rejected));
        QCOMPARE(machine.monitor->Settings().Nokori, before.Nokori);
        // The opening measurement replaces a Directory that names no drive by the current one; the failing
        // pulls never take the long text back.
        QCOMPARE(machine.monitor->Settings().Directory, std::string(c.failingId == 1011 ? "C" : "D"));
        QCOMPARE(focus, static_cast<QWidget*>(ControlOf<QLineEdit>(dialog, c.failingId)));
    }
}

// Each row edits Time to 7, then ends or refreshes the dialog one way.
void SettingDlgTest::keysAndButtonsRefreshOrNot_data() {
    QTest::addColumn<QString>("action");
    QTest::addColumn<bool>("ends");
    QTest::addColumn<int>("result");
    QTest::addColumn<bool>("refreshes");
    QTest::addColumn<bool>("takesEdits");

    QTest::newRow("Enter") << "enter" << true << int(QDialog::Accepted) << true << true;
    QTest::newRow("Enter on the update button") << "enter-on-1009" << true << int(QDialog::Accepted) << true << true;
    QTest::newRow("button OK") << "click-1000" << true << int(QDialog::Accepted) << true << true;
    QTest::newRow("Alt+O") << "alt-o" << true << int(QDialog::Accepted) << true << true;
    QTest::newRow("Esc") << "esc" << true << int(QDialog::Accepted) << false << true;
    QTest::newRow("close box") << "close" << true << int(QDialog::Rejected) << false << false;
    QTest::newRow("button update") << "click-1009" << false << int(QDialog::Rejected) << true << true;
    QTest::newRow("Alt+S") << "alt-s" << false << int(QDialog::Rejected) << true << true;
}

void SettingDlgTest::keysAndButtonsRefreshOrNot() {
    QFETCH(QString, action);
    QFETCH(bool, ends);
    QFETCH(int, result);
    QFETCH(bool, refreshes);
    QFETCH(bool, takesEdits);

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
            TypeInto(time, QStringLiteral("7"));
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
    QCOMPARE(machine.monitor->Settings().Time, takesEdits ? 7 : 5);
    QCOMPARE(Contains(machine.StatusFiles(), kFreeTextOfD), refreshes);
    QCOMPARE(machine.platform.saves, refreshes ? 1 : 0);
    if (refreshes) {
        QCOMPARE(SavedValue(machine.SavedSettings(), "Time"), std::optional<std::string>("7"));
        QCOMPARE(SavedValue(machine.SavedSettings(), "Filename"), std::optional<std::string>(kFreeTextOfD));
    }
    if (!ends) {
        QCOMPARE(freeShown, QString::fromStdString(kFreeTextOfD));
    }
}

void SettingDlgTest::enableRulesFollowTheirCheckBoxes_data() {
    QTest::addColumn<int>("checkId");
    QTest::addColumn<int>("dependentId");
    QTest::addColumn<bool>("initiallyOn");

    QTest::newRow("Auto off") << 1006 << 1007 << false;
    QTest::newRow("Auto on") << 1006 << 1007 << true;
    QTest::newRow("NetWork off") << 1013 << 1019 << false;
    QTest::newRow("NetWork on") << 1013 << 1019 << true;
    QTest::newRow("Keikoku off") << 1016 << 1018 << false;
    QTest::newRow("Keikoku on") << 1016 << 1018 << true;
    QTest::newRow("OtherDrive off") << 1020 << 1001 << false;
    QTest::newRow("OtherDrive on") << 1020 << 1001 << true;
}

void SettingDlgTest::enableRulesFollowTheirCheckBoxes() {
    QFETCH(int, checkId);
    QFETCH(int, dependentId);
    QFETCH(bool, initiallyOn);

    DialogMachine machine;
    MonitorSettings& settings = machine.monitor->Settings();
    const int on = initiallyOn ? 1 : 0;
    settings.Auto = settings.NetWork = settings.Keikoku = settings.OtherDrive = on;
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
            ClickCheck(check);
            enabled << dependent->isEnabled();
            dialog.close();
        });
    QVERIFY(run.stepRan);
    QCOMPARE(enabled, (QList<bool>{initiallyOn, !initiallyOn, initiallyOn}));
}

void SettingDlgTest::enableRuleClickPullsEverythingAndAppliesDespiteInvalidValue() {
    DialogMachine machine;
    machine.monitor->Settings().Keikoku = 1;
    CSettingDlg dialog(*machine.monitor);
    MessageBoxCloser closer;
    QList<bool> enabled;
    const ModalRun run = RunModalWith(
        &dialog, [&] { return dialog.RunModal(); },
        [&] {
            TypeInto(ControlOf<QLineEdit>(dialog, 1005), QStringLiteral("/srv/share/"));
            TypeInto(ControlOf<QLineEdit>(dialog, 1018), QStringLiteral("x"));
            // Auto is taken before the failing threshold: the rule sees the new value.
            ClickCheck(ControlOf<QCheckBox>(dialog, 1006));
            enabled << ControlOf<QLineEdit>(dialog, 1007)->isEnabled();
            // OtherDrive comes after it and is not taken: the rule sees the old value.
            ClickCheck(ControlOf<QCheckBox>(dialog, 1020));
            enabled << ControlOf<QPushButton>(dialog, 1001)->isEnabled();
            dialog.close();
        });
    QVERIFY(run.stepRan);
    QCOMPARE(closer.Texts().size(), 2);
    QCOMPARE(closer.Texts().front(), QStringLiteral("整数を入力してください。"));
    QCOMPARE(enabled, (QList<bool>{false, false}));
    QCOMPARE(machine.monitor->Settings().Path, std::string("/srv/share/"));
    QCOMPARE(machine.monitor->Settings().Auto, 0);
    QCOMPARE(machine.monitor->Settings().OtherDrive, 0);
    QCOMPARE(machine.monitor->Settings().Nokori, 100);
}

void SettingDlgTest::openingClearsPendingWarningAndKeepsLastTexts() {
    DialogMachine machine;
    Monitor& monitor = *machine.monitor;
    monitor.Settings().Directory.clear();
    monitor.Reading().usedText = "使用量1 MByte";
    monitor.Reading().totalText = "全容量2 MByte";
    monitor.Reading().freeText = "空容量1 MByte";
    monitor.RaiseWarning();
    CSettingDlg dialog(monitor);
    bool windowOpenInside = false;
    bool isOpenInside = false;
    int warningInside = -1;
    QStringList texts;
    const ModalRun run = RunModalWith(
        &dialog, [&] { return dialog.RunModal(); },
        [&] {
            windowOpenInside = monitor.WindowOpen();
            isOpenInside = dialog.IsWindowOpen();
            warningInside = monitor.WarningPending();
            for (int id : {1002, 1003, 1004}) {
                texts << ControlOf<QLabel>(dialog, id)->text();
            }
            dialog.close();
        });
    QVERIFY(run.stepRan);
    QVERIFY(windowOpenInside);
    QVERIFY(isOpenInside);
    QCOMPARE(warningInside, 0);
    QCOMPARE(texts, (QStringList{"使用量1 MByte", "全容量2 MByte", "空容量1 MByte"}));
    // The opening measurement reads the current drive but leaves an empty Directory empty.
    QCOMPARE(monitor.Reading().freeMB, 40000);
    QCOMPARE(monitor.Settings().Directory, std::string());
    QVERIFY(!monitor.WindowOpen());
    QVERIFY(!dialog.IsWindowOpen());
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

void SettingDlgTest::networkSettingsAreCopiedInAndOut() {
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
    int openFlagInside = -1;
    const ModalRun run = RunModalWith(
        &dialog, [&] { return dialog.RunModal(); },
        [&] {
            ModalStep inner(&network, [&] {
                openFlagInside = network.Model().m_networkDialogOpen;
                shown << ControlOf<QLineEdit>(network, 1005)->text() << ControlOf<QLineEdit>(network, 1007)->text()
                      << QString::number(ControlOf<QCheckBox>(network, 1006)->isChecked())
                      << QString::number(ControlOf<QCheckBox>(network, 1012)->isChecked());
                TypeInto(ControlOf<QLineEdit>(network, 1005), QStringLiteral("9000"));
                TypeInto(ControlOf<QLineEdit>(network, 1007), QString());
                ClickCheck(ControlOf<QCheckBox>(network, 1006));
                QTest::keyClick(ControlOf<QLineEdit>(network, 1005), Qt::Key_Escape);
            });
            QTest::mouseClick(ControlOf<QPushButton>(dialog, 1019), Qt::LeftButton);
            dialog.close();
        });
    QVERIFY(run.stepRan);
    QVERIFY(!run.timedOut);
    QCOMPARE(openFlagInside, 1);
    QCOMPARE(shown, (QStringList{"8085", "pw", "0", "1"}));
    QCOMPARE(settings.Port, 9000);
    QCOMPARE(settings.Pass, std::string());
    QCOMPARE(settings.NetKoushin, 1);
    QCOMPARE(settings.EnbChange, 1);
    QCOMPARE(network.Model().m_networkDialogOpen, 0);
    QCOMPARE(machine.platform.saves, 0);
}

void SettingDlgTest::cancelledNetworkSettingsLeaveSettingsUnchanged() {
    for (const bool closeBox : {false, true}) {
        DialogMachine machine;
        MonitorSettings& settings = machine.monitor->Settings();
        settings.NetWork = 1;
        settings.Port = 8085;
        settings.Pass = "pw";
        settings.NetKoushin = 1;
        settings.EnbChange = 0;
        const MonitorSettings before = settings;
        CSettingDlg dialog(*machine.monitor);
        CNetSet& network = dialog.NetworkDialog();
        const ModalRun run = RunModalWith(
            &dialog, [&] { return dialog.RunModal(); },
            [&] {
                ModalStep inner(&network, [&] {
                    TypeInto(ControlOf<QLineEdit>(network, 1005), QStringLiteral("1234"));
                    TypeInto(ControlOf<QLineEdit>(network, 1007), QStringLiteral("other"));
                    ClickCheck(ControlOf<QCheckBox>(network, 1006));
                    if (closeBox) {
                        network.close();
                    } else {
                        QTest::mouseClick(ControlOf<QPushButton>(network, 2), Qt::LeftButton);
                    }
                });
                QTest::mouseClick(ControlOf<QPushButton>(dialog, 1019), Qt::LeftButton);
                dialog.close();
            });
        QVERIFY(run.stepRan);
        QVERIFY(!run.timedOut);
        QVERIFY(settings == before);
        QCOMPARE(network.Model().m_networkDialogOpen, 0);
    }
}

void SettingDlgTest::closeForExitAcceptsBothDialogsWithoutSaving() {
    DialogMachine machine;
    MonitorSettings& settings = machine.monitor->Settings();
    settings.NetWork = 1;
    CSettingDlg dialog(*machine.monitor);
    CNetSet& network = dialog.NetworkDialog();
    int networkResult = -1;
    const ModalRun run = RunModalWith(
        &dialog, [&] { return dialog.RunModal(); },
        [&] {
            TypeInto(ControlOf<QLineEdit>(dialog, 1007), QStringLiteral("9"));
            ModalStep inner(&network, [&] {
                TypeInto(ControlOf<QLineEdit>(network, 1005), QStringLiteral("7000"));
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
    QCOMPARE(settings.Port, 7000);
    QCOMPARE(settings.Time, 9);
    QCOMPARE(machine.platform.saves, 0);
    QVERIFY(machine.StatusFiles().empty());
    QVERIFY(!dialog.IsWindowOpen());
}

void SettingDlgTest::closeForExitDuringValidationMessageLeavesNetworkDialogOpen() {
    DialogMachine machine;
    MonitorSettings& settings = machine.monitor->Settings();
    settings.NetWork = 1;
    CSettingDlg dialog(*machine.monitor);
    CNetSet& network = dialog.NetworkDialog();
    MessageBoxCloser closer(300);
    bool networkOpenAfterExit = false;
    const ModalRun run = RunModalWith(
        &dialog, [&] { return dialog.RunModal(); },
        [&] {
            ModalStep inner(&network, [&] {
                QLineEdit* port = ControlOf<QLineEdit>(network, 1005);
                TypeInto(port, QStringLiteral("70000"));
                // The exit command arrives while the port's message waits for the user.
                QTimer::singleShot(50, &dialog, [&] { dialog.CloseForExit(); });
                QTest::keyClick(port, Qt::Key_Escape);
                networkOpenAfterExit = network.isVisible();
                QTest::mouseClick(ControlOf<QPushButton>(network, 2), Qt::LeftButton);
            });
            QTest::mouseClick(ControlOf<QPushButton>(dialog, 1019), Qt::LeftButton);
        });
    QVERIFY(run.stepRan);
    QVERIFY(!run.timedOut);
    QCOMPARE(closer.Texts(), QStringList{QStringLiteral("0 から 65535 までの整数を入力してください。")});
    // The settings dialog was accepted; the network dialog stayed for the user, who cancelled it.
    QVERIFY(networkOpenAfterExit);
    QCOMPARE(run.result, int(QDialog::Accepted));
    QCOMPARE(settings.Port, 8085);
    QVERIFY(!dialog.IsWindowOpen());
}

void SettingDlgTest::refreshWhileOpenPullsEditsAndShowsNewTexts() {
    DialogMachine machine;
    Monitor& monitor = *machine.monitor;
    CSettingDlg dialog(monitor);
    QString freeShown;
    QString directoryShown;
    const ModalRun run = RunModalWith(
        &dialog, [&] { return dialog.RunModal(); },
        [&] {
            TypeInto(ControlOf<QLineEdit>(dialog, 1007), QStringLiteral("8"));
            TypeInto(ControlOf<QLineEdit>(dialog, 1011), QStringLiteral("q")); // no such drive: falls back to C
            // A refresh from elsewhere (network request or automatic refresh) while the user edits.
            QTimer::singleShot(20, &dialog, [&] {
                monitor.RefreshCycle();
                freeShown = ControlOf<QLabel>(dialog, 1004)->text();
                directoryShown = ControlOf<QLineEdit>(dialog, 1011)->text();
                dialog.close();
            });
        });
    QVERIFY(run.stepRan);
    QVERIFY(!run.timedOut);
    QCOMPARE(freeShown, QString::fromStdString(kFreeTextOfC));
    QCOMPARE(directoryShown, QStringLiteral("C"));
    QCOMPARE(run.result, int(QDialog::Rejected));
    QCOMPARE(monitor.Settings().Time, 8);
    QCOMPARE(SavedValue(machine.SavedSettings(), "Time"), std::optional<std::string>("8"));
    QVERIFY(Contains(machine.StatusFiles(), kFreeTextOfC));
}

void SettingDlgTest::refreshDuringValidationMessageShowsItOnlyOnce() {
    DialogMachine machine;
    Monitor& monitor = *machine.monitor;
    CSettingDlg dialog(monitor);
    MessageBoxCloser closer(400); // the user looks at the message for a while
    int cycles = 0;
    const ModalRun run = RunModalWith(
        &dialog, [&] { return dialog.RunModal(); },
        [&] {
            TypeInto(ControlOf<QLineEdit>(dialog, 1007), QStringLiteral("abc"));
            QTimer::singleShot(10, &dialog, [&] {
                // The second refresh arrives while the first one's message is on screen.
                QTimer::singleShot(100, &dialog, [&] {
                    monitor.RefreshCycle();
                    ++cycles;
                });
                monitor.RefreshCycle();
                ++cycles;
                dialog.close();
            });
        });
    QVERIFY(run.stepRan);
    QVERIFY(!run.timedOut);
    QCOMPARE(cycles, 2);
    QCOMPARE(closer.Texts(), QStringList{QStringLiteral("整数を入力してください。")});
    QCOMPARE(machine.platform.saves, 2);
    QCOMPARE(monitor.Settings().Time, 5);
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
