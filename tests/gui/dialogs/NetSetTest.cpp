#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include "DialogDriver.h"
#include "desktop/CNetSet.h"

class NetSetTest : public QObject {
    Q_OBJECT

private slots:
    void keysAndButtonsReachTheModel_data();
    void keysAndButtonsReachTheModel();
    void hiddenCheckIsNeverShownOrEnabled();
    void passwordIsMasked();
};

// Each row types a valid port and ends the dialog one way, or tries to.
void NetSetTest::keysAndButtonsReachTheModel_data() {
    QTest::addColumn<QString>("action");
    QTest::addColumn<bool>("ends");
    QTest::addColumn<int>("result");

    QTest::newRow("button OK") << "click-1" << true << int(QDialog::Accepted);
    QTest::newRow("Esc") << "esc" << true << int(QDialog::Accepted);
    QTest::newRow("button Cancel") << "click-2" << true << int(QDialog::Rejected);
    QTest::newRow("close box") << "close" << true << int(QDialog::Rejected);
    QTest::newRow("Enter in the port") << "enter-on-1005" << false << int(QDialog::Rejected);
    QTest::newRow("Enter in the password") << "enter-on-1007" << false << int(QDialog::Rejected);
    QTest::newRow("Enter on OK") << "enter-on-1" << false << int(QDialog::Rejected);
}

void NetSetTest::keysAndButtonsReachTheModel() {
    QFETCH(QString, action);
    QFETCH(bool, ends);
    QFETCH(int, result);

    CNetSet dialog;
    dialog.Model().m_port = 8085;
    MessageBoxCloser closer;
    bool openAfterAction = false;
    const ModalRun run = RunModalWith(
        &dialog, [&] { return dialog.RunModal(); },
        [&] {
            TypeInto(ControlOf<QLineEdit>(dialog, 1005), QStringLiteral("9000"));
            if (action == "click-1") {
                QTest::mouseClick(ControlOf<QPushButton>(dialog, 1), Qt::LeftButton);
            } else if (action == "click-2") {
                QTest::mouseClick(ControlOf<QPushButton>(dialog, 2), Qt::LeftButton);
            } else if (action == "esc") {
                QTest::keyClick(ControlOf<QLineEdit>(dialog, 1007), Qt::Key_Escape);
            } else if (action == "close") {
                dialog.close();
            } else if (action == "enter-on-1005") {
                QTest::keyClick(ControlOf<QLineEdit>(dialog, 1005), Qt::Key_Return);
            } else if (action == "enter-on-1007") {
                QTest::keyClick(ControlOf<QLineEdit>(dialog, 1007), Qt::Key_Return);
            } else if (action == "enter-on-1") {
                QTest::keyClick(ControlOf<QPushButton>(dialog, 1), Qt::Key_Enter);
            }
            openAfterAction = dialog.isVisible();
            if (openAfterAction) {
                dialog.reject();
            }
        });
    QVERIFY(run.stepRan);
    QVERIFY(!run.timedOut);
    QVERIFY(closer.Texts().isEmpty());
    QCOMPARE(openAfterAction, !ends);
    QCOMPARE(run.result, result);
    // The port's edit is bound to the model's port.
    QCOMPARE(dialog.Model().m_port, result == int(QDialog::Accepted) ? 9000 : 8085);
}

void NetSetTest::hiddenCheckIsNeverShownOrEnabled() {
    CNetSet dialog;
    QList<bool> states;
    const ModalRun run = RunModalWith(
        &dialog, [&] { return dialog.RunModal(); },
        [&] {
            QCheckBox* hidden = ControlOf<QCheckBox>(dialog, 1012);
            states << hidden->isVisible() << hidden->isEnabled();
            dialog.reject();
        });
    QVERIFY(run.stepRan);
    QCOMPARE(states, (QList<bool>{false, false}));
}

void NetSetTest::passwordIsMasked() {
    CNetSet dialog;
    QCOMPARE(ControlOf<QLineEdit>(dialog, 1007)->echoMode(), QLineEdit::Password);
}

QTEST_MAIN(NetSetTest)
#include "NetSetTest.moc"
