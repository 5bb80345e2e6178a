#include "AM_SystemStateClient.h"
#include "QCopChannel.h"

#include "SignalCatcher.h"

#include <QDBusConnection>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTest>

// QCop channels and system-state events on a private bus: which channel names match, delivery
// to every object in order, and what another process sees on the bus.
class tst_QCopChannel : public QObject {
    Q_OBJECT

private slots:
    void init();
    void channelMatch_data();
    void channelMatch();
    void signalOnTheBus_data();
    void signalOnTheBus();
};

void tst_QCopChannel::init()
{
    QTest::failOnWarning(QRegularExpression(QStringLiteral(".")));
}

void tst_QCopChannel::channelMatch_data()
{
    QTest::addColumn<QByteArray>("listen");
    QTest::addColumn<QByteArray>("sentByUs"); // null when another process sends
    QTest::addColumn<QString>("sentByPeer");  // the D-Bus string another process sends
    QTest::addColumn<bool>("delivered");

    const QByteArray kivo("kivo_listen_channel");
    const QByteArray none;
    QTest::newRow("UTF-8 name, sent by us")
        << QByteArray("kan\xc3\xa9l") << QByteArray("kan\xc3\xa9l") << QString() << true;
    QTest::newRow("UTF-8 name, sent by a peer")
        << QByteArray("kan\xc3\xa9l") << none << QString::fromUtf16(u"kan\u00e9l") << true;

    // Names compare whole, byte for byte, as UTF-8: one name that differs stands for all.
    QTest::newRow("longer name") << kivo << QByteArray("kivo_listen_channel2") << QString()
                                 << false;
    QTest::newRow("Latin-1 byte against UTF-8 name")
        << QByteArray("kan\xe9l") << none << QString::fromUtf16(u"kan\u00e9l") << false;
    // Such names cannot be D-Bus strings; sent anyway they would arrive under another name.
    QTest::newRow("not UTF-8 is not sent")
        << QByteArray("a\xef\xbf\xbd") << QByteArray("a\xff") << QString() << false;
    QTest::newRow("NUL is not sent")
        << QByteArray("a") << QByteArray("a\0b", 3) << QString() << false;
}

// Two messages to two objects on the channel: each object gets each message once, in order.
void tst_QCopChannel::channelMatch()
{
    QFETCH(QByteArray, listen);
    QFETCH(QByteArray, sentByUs);
    QFETCH(QString, sentByPeer);
    QFETCH(bool, delivered);

    QCopChannel first(listen);
    QCopChannel second(listen);
    QSignalSpy firstReceived(&first, &QCopChannel::received);
    QSignalSpy secondReceived(&second, &QCopChannel::received);
    const QByteArray data = QByteArray::fromHex("00000005");
    const QByteArrayList messages = {"ping()", "pong()"};
    const QDBusConnection from =
        sentByUs.isNull()
            ? QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("peer"))
            : QDBusConnection::sessionBus();
    for (const QByteArray &message : messages) {
        if (sentByUs.isNull()) {
            QDBusMessage signal =
                QDBusMessage::createSignal(QStringLiteral("/QCop"), QStringLiteral("org.kivo.QCop"),
                                           QStringLiteral("Message"));
            signal << sentByPeer << QString::fromLatin1(message) << data;
            QVERIFY(from.send(signal));
        } else {
            QCopChannel::send(sentByUs, message, data);
        }
    }
    QVERIFY(waitForDelivery(from));
    QDBusConnection::disconnectFromBus(QStringLiteral("peer"));
    for (const QSignalSpy *spy : {&firstReceived, &secondReceived}) {
        QCOMPARE(spy->count(), delivered ? 2 : 0);
        for (int i = 0; i < spy->count(); ++i) {
            QCOMPARE(spy->at(i).at(0).toByteArray(), messages.at(i));
            QCOMPARE(spy->at(i).at(1).toByteArray(), data);
        }
    }
}

void tst_QCopChannel::signalOnTheBus_data()
{
    QTest::addColumn<int>("clientEvent"); // 0: a QCop message carrying `data`
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<QString>("signature");
    QTest::addColumn<QVariantList>("arguments");

    const QString channel = QStringLiteral("fts_listen_channel");
    const QString message = QStringLiteral("setFavourites(QString,QString)");
    const QByteArray bytes = QByteArray::fromHex("00ff00ff80");
    QTest::newRow("QCop: empty data")
        << 0 << QByteArray() << "ssay" << QVariantList{channel, message, QByteArray()};
    QTest::newRow("QCop: zero and FF bytes")
        << 0 << bytes << "ssay" << QVariantList{channel, message, bytes};
    QTest::newRow("system state: FTS on")
        << int(AM_SystemState::CLIENT_EVENT_FTS_ON) << QByteArray() << "i" << QVariantList{30};
    QTest::newRow("system state: FTS off")
        << int(AM_SystemState::CLIENT_EVENT_FTS_OFF) << QByteArray() << "i" << QVariantList{31};
}

void tst_QCopChannel::signalOnTheBus()
{
    QFETCH(int, clientEvent);
    QFETCH(QByteArray, data);
    QFETCH(QString, signature);
    QFETCH(QVariantList, arguments);

    QDBusConnection peer =
        QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("peer"));
    const QStringList where = clientEvent == 0 ? QStringList{"/QCop", "org.kivo.QCop", "Message"}
                                               : QStringList{"/org/kivo/SystemState",
                                                             "org.kivo.SystemState", "ClientEvent"};
    SignalCatcher onTheBus(peer, QString(), where.at(0), where.at(1), where.at(2));
    if (clientEvent == 0) {
        QCopChannel::send("fts_listen_channel", "setFavourites(QString,QString)", data);
    } else {
        AM_SystemStateClient::instance();
        AM_SystemStateClient::postClientEvent(AM_SystemState::CLIENT_EVENT(clientEvent));
    }
    QTRY_COMPARE(onTheBus.messages.size(), 1);

    const QDBusMessage signal = onTheBus.messages.at(0);
    QCOMPARE(signal.service(), QDBusConnection::sessionBus().baseService());
    QCOMPARE(signal.signature(), signature);
    QCOMPARE(signal.arguments(), arguments);
    QDBusConnection::disconnectFromBus(QStringLiteral("peer"));
}

QTEST_GUILESS_MAIN(tst_QCopChannel)
#include "tst_qcopchannel.moc"
