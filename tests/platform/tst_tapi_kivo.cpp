#include "TAPI_KIVO.h"

#include "TelephonyPeer.h"

#include <QDBusArgument>
#include <QDBusMessage>
#include <QTest>

// The telephony client library's calls against a service stand-in on a private bus: what goes
// on the wire, and which error code every kind of failed call gives.
class tst_TAPI_KIVO : public QObject {
    Q_OBJECT

private slots:
    void failedCall_data();
    void failedCall();
    void registerSendsTypes();
    void stickerRequestBytes_data();
    void stickerRequestBytes();
    void checkArfcn_data();
    void checkArfcn();
    void cellBarAccessMode();
};

enum class PeerAnswer { Reply, Error, TooLate, Absent };
Q_DECLARE_METATYPE(PeerAnswer)

void tst_TAPI_KIVO::failedCall_data()
{
    QTest::addColumn<PeerAnswer>("answer");
    QTest::addColumn<QString>("errorName");
    QTest::addColumn<QVariantList>("reply"); // wrong for every call
    QTest::addColumn<int>("code");

    const QString e = QStringLiteral("org.freedesktop.DBus.Error.");
    const QVariantList none;
    QTest::newRow("no reply in time") << PeerAnswer::TooLate << QString() << QVariantList{0} << 3;
    QTest::newRow("error NoReply") << PeerAnswer::Error << e + "NoReply" << none << 3;
    QTest::newRow("error Timeout") << PeerAnswer::Error << e + "Timeout" << none << 3;
    QTest::newRow("error InvalidArgs") << PeerAnswer::Error << e + "InvalidArgs" << none << 4;
    QTest::newRow("name has no owner") << PeerAnswer::Absent << QString() << none << 5;
    QTest::newRow("error ServiceUnknown") << PeerAnswer::Error << e + "ServiceUnknown" << none << 5;
    QTest::newRow("error NameHasNoOwner") << PeerAnswer::Error << e + "NameHasNoOwner" << none << 5;
    QTest::newRow("error Disconnected") << PeerAnswer::Error << e + "Disconnected" << none << 5;
    QTest::newRow("reply without value") << PeerAnswer::Reply << QString() << none << 7;
    QTest::newRow("reply with a string")
        << PeerAnswer::Reply << QString() << QVariantList{QStringLiteral("0")} << 7;
    QTest::newRow("reply with two ints")
        << PeerAnswer::Reply << QString() << QVariantList{0, 0} << 7;
    QTest::newRow("error NoMemory") << PeerAnswer::Error << e + "NoMemory" << none << 10;
    QTest::newRow("error Failed") << PeerAnswer::Error << e + "Failed" << none << 1;
    QTest::newRow("error TimedOut") << PeerAnswer::Error << e + "TimedOut" << none << 1;
    QTest::newRow("error UnknownMethod") << PeerAnswer::Error << e + "UnknownMethod" << none << 1;
    QTest::newRow("error of the service")
        << PeerAnswer::Error << QStringLiteral("org.kivo.Telephony.Error.Busy") << none << 1;
}

void tst_TAPI_KIVO::failedCall()
{
    QFETCH(PeerAnswer, answer);
    QFETCH(QString, errorName);
    QFETCH(QVariantList, reply);
    QFETCH(int, code);

    TelephonyPeer peer;
    if (answer != PeerAnswer::Absent) {
        QVERIFY(peer.claimName());
    }
    if (answer == PeerAnswer::Error) {
        peer.answerError(errorName);
    } else if (answer == PeerAnswer::TooLate) {
        peer.answerTooLate(reply);
    } else {
        peer.answer(reply);
    }

    const StickerRequest request = {1, 62, 0};
    QCOMPARE(TAPI_KIVO_SetCellStickerMode(&request), code);
    QCOMPARE(TAPI_KIVO_SetCellBarAccessMode(1), code);
    ArfcnCheck check = {62, 0};
    QCOMPARE(TAPI_KIVO_CheckArfcn(&check), code);
    QCOMPARE(check.verdict, quint8(1));
    const quint16 types[] = {0x0F03};
    QCOMPARE(TAPI_CLIENT_Init(types, 1), -1);
}

void tst_TAPI_KIVO::registerSendsTypes()
{
    TelephonyPeer peer;
    QVERIFY(peer.claimName());
    peer.answer({41});
    const quint16 types[] = {0x0F03, 0xFFFF};
    QCOMPARE(TAPI_CLIENT_Init(types, 2), 41);

    const QDBusMessage call = peer.lastCall();
    QCOMPARE(call.member(), QStringLiteral("Register"));
    QCOMPARE(call.interface(), QStringLiteral("org.kivo.Telephony"));
    QCOMPARE(call.path(), QStringLiteral("/org/kivo/Telephony"));
    QCOMPARE(call.signature(), QStringLiteral("aq"));
    const QList<quint16> expected = {0x0F03, 0xFFFF};
    QCOMPARE(qdbus_cast<QList<quint16>>(call.arguments().at(0)), expected);
}

void tst_TAPI_KIVO::stickerRequestBytes_data()
{
    QTest::addColumn<quint8>("mode");
    QTest::addColumn<quint32>("arfcn");
    QTest::addColumn<QByteArray>("wire");

    QTest::newRow("mode 1, ARFCN 62") << quint8(1) << 62u << QByteArray::fromHex("013e000000");
    QTest::newRow("mode 1, ARFCN 0x12345678")
        << quint8(1) << 0x12345678u << QByteArray::fromHex("0178563412");
    QTest::newRow("mode 0, stopped ARFCN")
        << quint8(0) << 0xFFFFFFFFu << QByteArray::fromHex("00ffffffff");
}

void tst_TAPI_KIVO::stickerRequestBytes()
{
    QFETCH(quint8, mode);
    QFETCH(quint32, arfcn);
    QFETCH(QByteArray, wire);

    TelephonyPeer peer;
    QVERIFY(peer.claimName());
    peer.answer({0});
    const StickerRequest request = {mode, quint16(arfcn & 0xFFFF), quint16(arfcn >> 16)};
    QCOMPARE(TAPI_KIVO_SetCellStickerMode(&request), 0);

    const QDBusMessage call = peer.lastCall();
    QCOMPARE(call.member(), QStringLiteral("SetCellStickerMode"));
    QCOMPARE(call.signature(), QStringLiteral("ay"));
    QCOMPARE(call.arguments().at(0).toByteArray().toHex(), wire.toHex());
}

void tst_TAPI_KIVO::checkArfcn_data()
{
    QTest::addColumn<quint32>("arfcn");
    QTest::addColumn<QVariant>("reply");
    QTest::addColumn<int>("code");
    QTest::addColumn<quint8>("verdict");

    QTest::newRow("acceptable") << 62u << QVariant::fromValue(quint8(0)) << 0 << quint8(0);
    QTest::newRow("wrong ARFCN") << 1025u << QVariant::fromValue(quint8(2)) << 0 << quint8(2);
    QTest::newRow("ARFCN above 2^31")
        << 0x80000001u << QVariant::fromValue(quint8(0)) << 0 << quint8(0);
    QTest::newRow("verdict as int") << 62u << QVariant(0) << 7 << quint8(1);
}

void tst_TAPI_KIVO::checkArfcn()
{
    QFETCH(quint32, arfcn);
    QFETCH(QVariant, reply);
    QFETCH(int, code);
    QFETCH(quint8, verdict);

    TelephonyPeer peer;
    QVERIFY(peer.claimName());
    peer.answer({reply});
    ArfcnCheck check = {arfcn, 0x55};
    QCOMPARE(TAPI_KIVO_CheckArfcn(&check), code);
    QCOMPARE(check.verdict, verdict);

    const QDBusMessage call = peer.lastCall();
    QCOMPARE(call.member(), QStringLiteral("CheckArfcn"));
    QCOMPARE(call.signature(), QStringLiteral("u"));
    QCOMPARE(call.arguments().at(0).value<quint32>(), arfcn);
}

void tst_TAPI_KIVO::cellBarAccessMode()
{
    TelephonyPeer peer;
    QVERIFY(peer.claimName());
    peer.answer({0});
    QCOMPARE(TAPI_KIVO_SetCellBarAccessMode(2), 0);
    QCOMPARE(peer.lastCall().member(), QStringLiteral("SetCellBarAccessMode"));
    QCOMPARE(peer.lastCall().signature(), QStringLiteral("i"));
    QCOMPARE(peer.lastCall().arguments().at(0).toInt(), 2);

    // A status the service returns is the caller's error code.
    peer.answer({6});
    QCOMPARE(TAPI_KIVO_SetCellBarAccessMode(1), 6);
}

QTEST_GUILESS_MAIN(tst_TAPI_KIVO)
#include "tst_tapi_kivo.moc"
