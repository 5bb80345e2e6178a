#include "AM_SystemStateClient.h"
#include "QCopChannel.h"
#include "TAPI_KIVO.h"

#include "StderrCapture.h"

#include <QDBusConnection>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTest>

// The bus layer where no bus can be reached: registration fails, calls are not sent, sends are
// lost, and none of it prints a word.
class tst_NoBus : public QObject {
    Q_OBJECT

private slots:
    void failsQuietly();
};

void tst_NoBus::failsQuietly()
{
    qputenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/kivo-no-bus");
    QVERIFY(!QDBusConnection::sessionBus().isConnected());
    QTest::failOnWarning(QRegularExpression(QStringLiteral(".")));
    StderrCapture stderrText;

    const quint16 types[] = {0x0F03};
    QCOMPARE(TAPI_CLIENT_Init(types, 1), -1);
    // Without waiting: the failure still comes from the event loop, not inside the call.
    QObject context;
    QList<int> results;
    TAPI_CLIENT_InitAsync(types, 1, &context, [&results](int result) { results << result; });
    QVERIFY(results.isEmpty());
    QTRY_COMPARE(results, QList<int>{-1});
    const StickerRequest request = {1, 62, 0};
    QCOMPARE(TAPI_KIVO_SetCellStickerMode(&request), 5);
    QCOMPARE(TAPI_KIVO_SetCellBarAccessMode(0), 5);
    ArfcnCheck check = {62, 0};
    QCOMPARE(TAPI_KIVO_CheckArfcn(&check), 5);
    QCOMPARE(check.verdict, quint8(1));

    QCopChannel channel("fts_listen_channel");
    QSignalSpy received(&channel, &QCopChannel::received);
    QCopChannel::send("fts_listen_channel", "getTitles(QString,QString)", QByteArray());
    AM_SystemStateClient::postClientEvent(AM_SystemState::CLIENT_EVENT_FTS_ON);
    QCoreApplication::processEvents();
    QCOMPARE(received.count(), 0);
    QCOMPARE(stderrText.text(), QByteArray());
}

QTEST_GUILESS_MAIN(tst_NoBus)
#include "tst_no_bus.moc"
