#include <QLabel>
#include <QLineEdit>
#include <QTcpSocket>
#include <QTest>

#include "DialogDriver.h"
#include "dialogs/CSettingDlg.h"
#include "net/CommandListener.h"

// A refresh requested over the command port while the settings dialog is open and being edited.
class NetworkRefreshTest : public QObject {
    Q_OBJECT

private slots:
    void requestWhileOpenTakesEditsAndShowsNewTexts();
};

void NetworkRefreshTest::requestWhileOpenTakesEditsAndShowsNewTexts() {
    DialogMachine machine;
    Monitor& monitor = *machine.monitor;
    monitor.Settings().NetWork = 1;
    CommandListener listener(monitor);
    QVERIFY(listener.StartListening(0));
    CSettingDlg dialog(monitor);
    QByteArray reply;
    QString freeShown;
    bool openAfterReply = false;
    QTcpSocket client;
    const ModalRun run = RunModalWith(
        &dialog, [&] { return dialog.RunModal(); },
        [&] {
            ControlOf<QLabel>(dialog, 1004)->setText(QStringLiteral("old"));
            TypeInto(ControlOf<QLineEdit>(dialog, 1007), QStringLiteral("8"));
            QObject::connect(&client, &QTcpSocket::connected, &dialog,
                             [&] { client.write("GET /renew HTTP/1.1\r\nHost: localhost\r\n\r\n"); });
            QObject::connect(&client, &QTcpSocket::readyRead, &dialog, [&] { reply += client.readAll(); });
            QObject::connect(&client, &QTcpSocket::disconnected, &dialog, [&] {
                reply += client.readAll();
                freeShown = ControlOf<QLabel>(dialog, 1004)->text();
                openAfterReply = dialog.isVisible();
                dialog.close();
            });
            client.connectToHost(QStringLiteral("127.0.0.1"), static_cast<quint16>(listener.ListeningPort()));
        });
    QVERIFY(run.stepRan);
    QVERIFY(!run.timedOut);
    QVERIFY(openAfterReply);
    QVERIFY2(reply.contains("データ更新受け付けました"), reply.constData());
    QVERIFY(reply.contains("空容量150000 MByte"));
    QCOMPARE(freeShown, QStringLiteral("空容量150000 MByte"));
    // The edit was taken by the refresh and saved, although the dialog then ended by its close box.
    QCOMPARE(run.result, int(QDialog::Rejected));
    QCOMPARE(monitor.Settings().Time, 8);
    QCOMPARE(SavedValue(machine.SavedSettings(), "Time"), std::optional<std::string>("8"));
}

QTEST_MAIN(NetworkRefreshTest)
#include "NetworkRefreshTest.moc"
