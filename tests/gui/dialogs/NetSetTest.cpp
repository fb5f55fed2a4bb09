#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include "DialogDriver.h"
#include "dialogs/CNetSet.h"

namespace {

const QString kRangeMessage = QStringLiteral("0 から 65535 までの整数を入力してください。");

// The copy-in of the settings dialog.
void CopyIn(CNetSet& dialog) {
    dialog.Model().m_port = 8085;
    dialog.Model().m_password = "pw";
    dialog.Model().m_refreshWithoutCommand = 0;
    dialog.Model().m_changeOverNetwork = 1;
}

} // namespace

class NetSetTest : public QObject {
    Q_OBJECT

private slots:
    void portIsValidatedOnOkAndEsc_data();
    void portIsValidatedOnOkAndEsc();
    void enterDoesNothing();
    void cancelAndCloseBoxTakeNothing();
    void hiddenCheckPassesItsValueThrough();
    void passwordIsMaskedAndMayBeEmpty();
};

void NetSetTest::portIsValidatedOnOkAndEsc_data() {
    QTest::addColumn<QString>("typed");
    QTest::addColumn<bool>("escape");
    QTest::addColumn<QString>("message");
    QTest::addColumn<int>("port");

    for (const bool escape : {false, true}) {
        const char* how = escape ? "Esc" : "OK";
        QTest::addRow("-1 by %s", how) << "-1" << escape << kRangeMessage << 8085;
        QTest::addRow("0 by %s", how) << "0" << escape << "" << 0;
        QTest::addRow("65535 by %s", how) << "65535" << escape << "" << 65535;
        QTest::addRow("65536 by %s", how) << "65536" << escape << kRangeMessage << 8085;
        QTest::addRow("not a number by %s", how) << "80a" << escape << "整数を入力してください。" << 8085;
    }
}

void NetSetTest::portIsValidatedOnOkAndEsc() {
    QFETCH(QString, typed);
    QFETCH(bool, escape);
    QFETCH(QString, message);
    QFETCH(int, port);

    CNetSet dialog;
    CopyIn(dialog);
    MessageBoxCloser closer;
    bool stillOpen = false;
    QWidget* focus = nullptr;
    const ModalRun run = RunModalWith(
        &dialog, [&] { return dialog.RunModal(); },
        [&] {
            QLineEdit* portEdit = ControlOf<QLineEdit>(dialog, 1005);
            TypeInto(portEdit, typed);
            TypeInto(ControlOf<QLineEdit>(dialog, 1007), QStringLiteral("new"));
            if (escape) {
                QTest::keyClick(ControlOf<QLineEdit>(dialog, 1007), Qt::Key_Escape);
            } else {
                QTest::mouseClick(ControlOf<QPushButton>(dialog, 1), Qt::LeftButton);
            }
            stillOpen = dialog.isVisible();
            focus = dialog.focusWidget();
            dialog.close();
        });
    QVERIFY(run.stepRan);
    QVERIFY(!run.timedOut);
    const bool accepted = message.isEmpty();
    QCOMPARE(stillOpen, !accepted);
    QCOMPARE(run.result, accepted ? int(QDialog::Accepted) : int(QDialog::Rejected));
    QCOMPARE(dialog.Model().m_port, port);
    // The password comes after the port: taken only when the port passed.
    QCOMPARE(dialog.Model().m_password, std::string(accepted ? "new" : "pw"));
    if (accepted) {
        QVERIFY(closer.Texts().isEmpty());
    } else {
        QCOMPARE(closer.Texts(), QStringList{message});
        QCOMPARE(focus, static_cast<QWidget*>(ControlOf<QLineEdit>(dialog, 1005)));
    }
}

void NetSetTest::enterDoesNothing() {
    CNetSet dialog;
    CopyIn(dialog);
    MessageBoxCloser closer;
    QList<bool> open;
    const ModalRun run = RunModalWith(
        &dialog, [&] { return dialog.RunModal(); },
        [&] {
            TypeInto(ControlOf<QLineEdit>(dialog, 1007), QStringLiteral("typed"));
            for (int id : {1005, 1007}) {
                QTest::keyClick(ControlOf<QLineEdit>(dialog, id), Qt::Key_Return);
                open << dialog.isVisible();
            }
            QTest::keyClick(ControlOf<QPushButton>(dialog, 1), Qt::Key_Enter);
            open << dialog.isVisible();
            dialog.reject();
        });
    QVERIFY(run.stepRan);
    QCOMPARE(open, (QList<bool>{true, true, true}));
    QVERIFY(closer.Texts().isEmpty());
    QCOMPARE(dialog.Model().m_password, std::string("pw"));
}

void NetSetTest::cancelAndCloseBoxTakeNothing() {
    for (const bool closeBox : {false, true}) {
        CNetSet dialog;
        CopyIn(dialog);
        const ModalRun run = RunModalWith(
            &dialog, [&] { return dialog.RunModal(); },
            [&] {
                TypeInto(ControlOf<QLineEdit>(dialog, 1005), QStringLiteral("99999")); // invalid: no message either
                TypeInto(ControlOf<QLineEdit>(dialog, 1007), QStringLiteral("other"));
                ClickCheck(ControlOf<QCheckBox>(dialog, 1006));
                if (closeBox) {
                    dialog.close();
                } else {
                    QTest::mouseClick(ControlOf<QPushButton>(dialog, 2), Qt::LeftButton);
                }
            });
        QVERIFY(run.stepRan);
        QCOMPARE(run.result, int(QDialog::Rejected));
        QCOMPARE(dialog.Model().m_port, 8085);
        QCOMPARE(dialog.Model().m_password, std::string("pw"));
        QCOMPARE(dialog.Model().m_refreshWithoutCommand, 0);
    }
}

void NetSetTest::hiddenCheckPassesItsValueThrough() {
    for (const int stored : {0, 1, 2}) {
        CNetSet dialog;
        CopyIn(dialog);
        dialog.Model().m_changeOverNetwork = stored;
        QList<bool> states;
        const ModalRun run = RunModalWith(
            &dialog, [&] { return dialog.RunModal(); },
            [&] {
                QCheckBox* hidden = ControlOf<QCheckBox>(dialog, 1012);
                states << hidden->isVisible() << hidden->isEnabled();
                ClickCheck(ControlOf<QCheckBox>(dialog, 1006));
                QTest::keyClick(ControlOf<QLineEdit>(dialog, 1005), Qt::Key_Escape);
            });
        QVERIFY(run.stepRan);
        QCOMPARE(run.result, int(QDialog::Accepted));
        QCOMPARE(states, (QList<bool>{false, false}));
        QCOMPARE(dialog.Model().m_changeOverNetwork, stored);
        QCOMPARE(dialog.Model().m_refreshWithoutCommand, 1);
    }
}

void NetSetTest::passwordIsMaskedAndMayBeEmpty() {
    CNetSet dialog;
    CopyIn(dialog);
    QLineEdit::EchoMode echo = QLineEdit::Normal;
    const ModalRun run = RunModalWith(
        &dialog, [&] { return dialog.RunModal(); },
        [&] {
            QLineEdit* password = ControlOf<QLineEdit>(dialog, 1007);
            echo = password->echoMode();
            TypeInto(password, QString());
            QTest::mouseClick(ControlOf<QPushButton>(dialog, 1), Qt::LeftButton);
        });
    QVERIFY(run.stepRan);
    QCOMPARE(echo, QLineEdit::Password);
    QCOMPARE(run.result, int(QDialog::Accepted));
    QCOMPARE(dialog.Model().m_password, std::string());
}

QTEST_MAIN(NetSetTest)
#include "NetSetTest.moc"
