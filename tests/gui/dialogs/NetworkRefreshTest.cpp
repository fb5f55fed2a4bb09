#include <QAbstractButton>
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QTcpSocket>
#include <QTest>
#include <QTimer>

#include "DialogDriver.h"
#include "core/net/CommandListener.h"
#include "desktop/CSettingDlg.h"
#include "desktop/QtEventSource.h"
#include "platform/Sockets.h"

// A refresh requested over the command port while the settings dialog is open and being edited.
class NetworkRefreshTest : public QObject {
    Q_OBJECT

private slots:
    void requestWhileOpenTakesEditsAndShowsNewTexts();
    void replyGoesOnlyToItsOwnClientWhileAValidationMessageIsUp_data();
    void replyGoesOnlyToItsOwnClientWhileAValidationMessageIsUp();
};

void NetworkRefreshTest::requestWhileOpenTakesEditsAndShowsNewTexts() {
    DialogMachine machine;
    Monitor& monitor = *machine.monitor;
    monitor.Settings().NetWork = 1;
    QtEventSource events;
    const std::unique_ptr<Sockets> sockets = CreateSockets();
    CommandListener listener(monitor, events, *sockets);
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

void NetworkRefreshTest::replyGoesOnlyToItsOwnClientWhileAValidationMessageIsUp_data() {
    QTest::addColumn<bool>("firstCloses");
    QTest::addColumn<bool>("secondAsksDuringMessage");
    QTest::newRow("first waits, second asks after the message") << false << false;
    QTest::newRow("first closes, second asks after the message") << true << false;
    QTest::newRow("first waits, second asks during the message") << false << true;
    QTest::newRow("first closes, second asks during the message") << true << true;
}

// The first client's refresh stops at a validation message of the open settings dialog. While it is up,
// longer than a silent connection may last, the first client waits or goes away, and a second client
// connects and asks with a wrong password. Each gets its own reply, or none.
void NetworkRefreshTest::replyGoesOnlyToItsOwnClientWhileAValidationMessageIsUp() {
    QFETCH(bool, firstCloses);
    QFETCH(bool, secondAsksDuringMessage);
    constexpr int kIdleTimeoutMs = 1000; // leaves the second client, silent for a moment, ample time
    const QByteArray wrongPassword = "GET /renew/wrong HTTP/1.1\r\n\r\n";

    DialogMachine machine;
    Monitor& monitor = *machine.monitor;
    monitor.Settings().NetWork = 1;
    monitor.Settings().Pass = "pw";
    QtEventSource events;
    const std::unique_ptr<Sockets> sockets = CreateSockets();
    CommandListener listener(monitor, events, *sockets);
    listener.SetIdleTimeout(kIdleTimeoutMs);
    QVERIFY(listener.StartListening(0));
    const auto port = static_cast<quint16>(listener.ListeningPort());
    CSettingDlg dialog(monitor);

    QTcpSocket first;
    QTcpSocket second;
    QByteArray firstReply;
    QByteArray secondReply;
    bool firstEnded = false;
    bool secondEnded = false;
    QString message;
    const auto endWhenBothEnded = [&] {
        if ((firstEnded || firstCloses) && secondEnded) {
            dialog.close();
        }
    };
    QObject::connect(&first, &QTcpSocket::readyRead, &dialog, [&] { firstReply += first.readAll(); });
    QObject::connect(&first, &QTcpSocket::disconnected, &dialog, [&] {
        if (first.isOpen()) {
            firstReply += first.readAll();
        }
        firstEnded = true;
        endWhenBothEnded();
    });
    QObject::connect(&second, &QTcpSocket::readyRead, &dialog, [&] { secondReply += second.readAll(); });
    QObject::connect(&second, &QTcpSocket::disconnected, &dialog, [&] {
        secondReply += second.readAll();
        secondEnded = true;
        endWhenBothEnded();
    });

    // Acts inside the validation message's own loop.
    QTimer messageWatch;
    QObject::connect(&messageWatch, &QTimer::timeout, &dialog, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (box == nullptr || !box->isVisible()) {
            return;
        }
        messageWatch.stop();
        message = box->text();
        if (firstCloses) {
            first.abort();
        }
        QTest::qWait(kIdleTimeoutMs + 200);
        second.connectToHost(QStringLiteral("127.0.0.1"), port);
        static_cast<void>(QTest::qWaitFor([&] { return second.state() == QAbstractSocket::ConnectedState; }));
        if (secondAsksDuringMessage) {
            second.write(wrongPassword);
        }
        QTest::qWait(100); // the listener takes the second connection (and its request)
        box->button(QMessageBox::Ok)->click();
        if (!secondAsksDuringMessage) {
            QTimer::singleShot(50, &dialog, [&] { second.write(wrongPassword); });
        }
    });

    const ModalRun run = RunModalWith(
        &dialog, [&] { return dialog.RunModal(); },
        [&] {
            TypeInto(ControlOf<QLineEdit>(dialog, 1007), QStringLiteral("abc")); // the refresh's pull stops here
            messageWatch.start(10);
            first.connectToHost(QStringLiteral("127.0.0.1"), port);
            first.write("GET /renew/pw HTTP/1.1\r\n\r\n");
        });
    QVERIFY(run.stepRan);
    QVERIFY(!run.timedOut);
    QCOMPARE(message, QStringLiteral("整数を入力してください。"));
    QCOMPARE(secondReply, QByteArray("HTTP/1.1 404 Not Found"));
    if (!firstCloses) {
        QVERIFY2(firstReply.contains("データ更新受け付けました"), firstReply.constData());
    }
    QCOMPARE(listener.OpenConnections(), std::size_t{0});
}

QTEST_MAIN(NetworkRefreshTest)
#include "NetworkRefreshTest.moc"
