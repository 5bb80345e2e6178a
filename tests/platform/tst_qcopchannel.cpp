#include "QCopChannel.h"

#include "SignalCatcher.h"

#include <QDBusConnection>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTest>

// QCop channels on a private bus: which channel names match, what another process sees on the
// bus, and delivery to every object in order.
class tst_QCopChannel : public QObject {
    Q_OBJECT

private slots:
    void init();
    void channelMatch_data();
    void channelMatch();
    void everyObjectGetsEveryMessageOnceInOrder();
    void wireFormat_data();
    void wireFormat();
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
    QTest::newRow("same name, sent by us") << kivo << kivo << QString() << true;
    QTest::newRow("same name, sent by a peer")
        << kivo << none << QStringLiteral("kivo_listen_channel") << true;
    QTest::newRow("UTF-8 name, sent by us")
        << QByteArray("kan\xc3\xa9l") << QByteArray("kan\xc3\xa9l") << QString() << true;
    QTest::newRow("UTF-8 name, sent by a peer")
        << QByteArray("kan\xc3\xa9l") << none << QString::fromUtf16(u"kan\u00e9l") << true;

    QTest::newRow("longer name") << kivo << QByteArray("kivo_listen_channel2") << QString()
                                 << false;
    QTest::newRow("shorter name") << kivo << QByteArray("kivo_listen_channe") << QString() << false;
    QTest::newRow("other case") << kivo << QByteArray("Kivo_listen_channel") << QString() << false;
    QTest::newRow("trailing blank")
        << kivo << QByteArray("kivo_listen_channel ") << QString() << false;
    QTest::newRow("the other channel")
        << kivo << QByteArray("fts_listen_channel") << QString() << false;
    QTest::newRow("Latin-1 byte against UTF-8 name")
        << QByteArray("kan\xe9l") << none << QString::fromUtf16(u"kan\u00e9l") << false;
    // Such names cannot be D-Bus strings; sent anyway they would arrive under another name.
    QTest::newRow("not UTF-8 is not sent")
        << QByteArray("a\xef\xbf\xbd") << QByteArray("a\xff") << QString() << false;
    QTest::newRow("NUL is not sent")
        << QByteArray("a") << QByteArray("a\0b", 3) << QString() << false;
}

void tst_QCopChannel::channelMatch()
{
    QFETCH(QByteArray, listen);
    QFETCH(QByteArray, sentByUs);
    QFETCH(QString, sentByPeer);
    QFETCH(bool, delivered);

    QCopChannel channel(listen);
    QSignalSpy received(&channel, &QCopChannel::received);
    const QByteArray data = QByteArray::fromHex("00000005");
    if (!sentByUs.isNull()) {
        QCopChannel::send(sentByUs, "ping()", data);
        QVERIFY(waitForDelivery(QDBusConnection::sessionBus()));
    } else {
        QDBusConnection peer =
            QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("peer"));
        QDBusMessage message = QDBusMessage::createSignal(
            QStringLiteral("/QCop"), QStringLiteral("org.kivo.QCop"), QStringLiteral("Message"));
        message << sentByPeer << QStringLiteral("ping()") << data;
        QVERIFY(peer.send(message));
        QVERIFY(waitForDelivery(peer));
        QDBusConnection::disconnectFromBus(QStringLiteral("peer"));
    }
    QCOMPARE(received.count(), delivered ? 1 : 0);
    if (delivered) {
        QCOMPARE(received.at(0).at(0).toByteArray(), QByteArray("ping()"));
        QCOMPARE(received.at(0).at(1).toByteArray(), data);
    }
}

void tst_QCopChannel::everyObjectGetsEveryMessageOnceInOrder()
{
    QCopChannel first("kivo_listen_channel");
    QCopChannel second("kivo_listen_channel");
    QSignalSpy firstReceived(&first, &QCopChannel::received);
    QSignalSpy secondReceived(&second, &QCopChannel::received);

    for (int i = 0; i < 20; ++i) {
        QCopChannel::send("kivo_listen_channel", "m" + QByteArray::number(i),
                          QByteArray(1, char(i)));
    }
    QVERIFY(waitForDelivery(QDBusConnection::sessionBus()));

    for (const QSignalSpy *spy : {&firstReceived, &secondReceived}) {
        QCOMPARE(spy->count(), 20);
        for (int i = 0; i < 20; ++i) {
            QCOMPARE(spy->at(i).at(0).toByteArray(), "m" + QByteArray::number(i));
            QCOMPARE(spy->at(i).at(1).toByteArray(), QByteArray(1, char(i)));
        }
    }
}

void tst_QCopChannel::wireFormat_data()
{
    QTest::addColumn<QByteArray>("data");

    QTest::newRow("empty") << QByteArray();
    QTest::newRow("zero and FF bytes") << QByteArray::fromHex("00ff00ff80");
    QTest::newRow("two int32, hi 5, lo 3") << QByteArray::fromHex("0000000500000003");
}

void tst_QCopChannel::wireFormat()
{
    QFETCH(QByteArray, data);

    QDBusConnection peer =
        QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("peer"));
    SignalCatcher onTheBus(peer, QString(), QStringLiteral("/QCop"),
                           QStringLiteral("org.kivo.QCop"), QStringLiteral("Message"));
    QCopChannel::send("fts_listen_channel", "setFavourites(QString,QString)", data);
    QTRY_COMPARE(onTheBus.messages.size(), 1);

    const QDBusMessage message = onTheBus.messages.at(0);
    QCOMPARE(message.service(), QDBusConnection::sessionBus().baseService());
    QCOMPARE(message.signature(), QStringLiteral("ssay"));
    QCOMPARE(message.arguments().at(0).toString(), QStringLiteral("fts_listen_channel"));
    QCOMPARE(message.arguments().at(1).toString(),
             QStringLiteral("setFavourites(QString,QString)"));
    QCOMPARE(message.arguments().at(2).toByteArray().toHex(), data.toHex());
    QDBusConnection::disconnectFromBus(QStringLiteral("peer"));
}

QTEST_GUILESS_MAIN(tst_QCopChannel)
#include "tst_qcopchannel.moc"
