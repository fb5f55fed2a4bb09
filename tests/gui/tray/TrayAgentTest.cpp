// The tray agent over a made-up machine: what the tray is handed, what the mouse and the menu do, and the
// warning box that must not stop the ticks.

#include <QAction>
#include <QElapsedTimer>
#include <QApplication>
#include <QMessageBox>
#include <QTimer>
#include <QToolTip>
#include <QtTest>

#include <functional>

#include "FakePlatform.h"
#include "TempDir.h"
#include "desktop/CChildDlg.h"
#include "desktop/DrawnIcons.h"
#include "desktop/DialogMetrics.h"

namespace {

QImage Picture(const QIcon& icon) {
    return icon.pixmap(QSize(16, 16)).toImage().convertToFormat(QImage::Format_ARGB32);
}

QMessageBox* OpenWarningBox() {
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (auto* box = qobject_cast<QMessageBox*>(widget); box != nullptr && box->isVisible()) {
            return box;
        }
    }
    return nullptr;
}

int CountOpenWarningBoxes() {
    int count = 0;
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        count += (qobject_cast<QMessageBox*>(widget) != nullptr && widget->isVisible()) ? 1 : 0;
    }
    return count;
}

// Runs the agent's loop; the step runs inside it and must end the loop (exit command) itself.
int RunWith(CChildDlg& agent, std::function<void()> step) {
    QTimer::singleShot(0, &agent, std::move(step));
    QTimer::singleShot(30000, &agent, [] { QCoreApplication::exit(99); }); // a hung step fails, not hangs
    return agent.RunModal();
}

} // namespace

class TrayAgentTest : public QObject {
    Q_OBJECT

private:
    TempDir m_dir;
    FakePlatform m_platform;

    std::string IniPath() const { return m_dir.Folder() + "tarvellin.ini"; }

private slots:
    void init() {
        m_platform = FakePlatform();
        m_platform.AddDrive('D', 1000, 420);
        m_platform.currentLetter = "D";
        m_dir.Write("tarvellin.ini", "[Setting]\nPort=-1\n");
    }

    void tooltipAndPictureFollowTheRules() {
        CChildDlg agent(m_platform, IniPath());
        QString first;
        QString ticked;
        QImage picture;
        const int result = RunWith(agent, [&] {
            first = agent.TrayIcon().toolTip();
            QTest::qWait(350);
            ticked = agent.TrayIcon().toolTip();
            picture = Picture(agent.TrayIcon().icon());
            agent.OnExitCommand();
        });
        QCOMPARE(result, 0);
        QCOMPARE(first, QStringLiteral("tarvellin Dドライブ42%"));
        QCOMPARE(ticked, QStringLiteral("tarvellin Dドライブ空容量42%"));
        QCOMPARE(picture, Picture(LevelIcon(5))); // 420 of 1000 MB: quotient 4, level 5
        QCOMPARE(m_platform.saves, 0);            // no refresh ran, and the exit saves nothing
    }

    void menuHoldsExactlySettingsAndExit() {
        CChildDlg agent(m_platform, IniPath());
        const QList<QAction*> actions = agent.ContextMenu().actions();
        QCOMPARE(actions.size(), 2);
        QCOMPARE(actions[0]->text(), QStringLiteral("設定(&S)"));
        QCOMPARE(actions[1]->text(), QStringLiteral("終了(&C)"));
    }

    void singleClickDoesNothingDoubleClickOpensTheDialogOnceAndExitClosesIt() {
        CChildDlg agent(m_platform, IniPath());
        bool openAfterSingle = true;
        bool openAfterDouble = false;
        const int result = RunWith(agent, [&] {
            emit agent.TrayIcon().activated(QSystemTrayIcon::Trigger);
            openAfterSingle = agent.SettingDialog().IsWindowOpen();
            QTimer::singleShot(100, &agent, [&] {
                openAfterDouble = agent.SettingDialog().IsWindowOpen();
                // A second double click and the settings item while the dialog is open: nothing.
                emit agent.TrayIcon().activated(QSystemTrayIcon::DoubleClick);
                agent.ContextMenu().actions()[0]->trigger();
                agent.ContextMenu().actions()[1]->trigger(); // exit: the dialog closes as by OK
            });
            emit agent.TrayIcon().activated(QSystemTrayIcon::DoubleClick); // runs the dialog here
        });
        QCOMPARE(result, 0);
        QVERIFY(!openAfterSingle);
        QVERIFY(openAfterDouble);
        QVERIFY(!agent.SettingDialog().IsWindowOpen());
        QCOMPARE(m_platform.saves, 0);
    }

    void ticksGoOnWhileTheWarningBoxIsUpAndNoSecondBoxOpens() {
        m_dir.Write("tarvellin.ini", "[Setting]\nPort=-1\nAuto=1\nTime=1\nKeikoku=1\nNokori=2000000000\nPath=\"" +
                                         m_dir.Folder() + "\"\n");
        m_platform.millisecondsToNextMinute = 50; // the fake minute may change at any time
        CChildDlg agent(m_platform, IniPath());
        int boxesWhileUp = 0;
        QString tipWhileUp;
        int savesWhileUp = 0;
        bool changed = false;
        QElapsedTimer sinceChange;
        // The box runs in a loop nested in a tick, so the checks run from a timer of their own.
        QTimer poll;
        poll.setInterval(50);
        connect(&poll, &QTimer::timeout, &agent, [&] {
            if (OpenWarningBox() == nullptr) {
                return;
            }
            if (!changed) {
                // The minute changes and the drive fills while the box is up: the next automatic refresh
                // must still run and the tooltip must follow it.
                m_platform.drives['D'].space = VolumeSpace{1000ull << 20, 100ull << 20};
                m_platform.minute = 1;
                changed = true;
                sinceChange.start();
                return;
            }
            if (!agent.TrayIcon().toolTip().endsWith(QStringLiteral("10%")) && sinceChange.elapsed() < 5000) {
                return;
            }
            poll.stop();
            tipWhileUp = agent.TrayIcon().toolTip();
            savesWhileUp = m_platform.saves;
            boxesWhileUp = CountOpenWarningBoxes();
            OpenWarningBox()->accept();
            agent.OnExitCommand();
        });
        const int result = RunWith(agent, [&] { poll.start(); });
        QCOMPARE(result, 0);
        QCOMPARE(tipWhileUp, QStringLiteral("tarvellin Dドライブ空容量10%"));
        QCOMPARE(savesWhileUp, 2);
        QCOMPARE(boxesWhileUp, 1);
    }

    // The menu, the tooltip and every message box draw Japanese with the dialogs' face, not the default one.
    void japaneseTextUsesTheDialogFontEverywhere() {
        UseDialogFontEverywhere();
        CChildDlg agent(m_platform, IniPath());
        const QMessageBox box(QMessageBox::Information, QStringLiteral("残容量警告！！"), QStringLiteral("テスト"));
        const QString dialogFace = QFontInfo(DialogMetrics().Font()).family();
        QCOMPARE(QFontInfo(agent.ContextMenu().font()).family(), dialogFace);
        QCOMPARE(QFontInfo(box.font()).family(), dialogFace);
        QCOMPARE(QFontInfo(QToolTip::font()).family(), dialogFace);
        QCOMPARE(agent.ContextMenu().font().pointSize(), 9);
    }
};

QTEST_MAIN(TrayAgentTest)
#include "TrayAgentTest.moc"
