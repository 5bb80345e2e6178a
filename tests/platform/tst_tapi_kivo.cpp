#include "TAPI_KIVO.h"

#include "SignalCatcher.h"
#include "TelephonyPeer.h"
#include "UTIL_TAPI_Device.h"
#include "UTIL_TAPI_Event.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QTest>

// The telephony client library's calls against a service stand-in on a private bus: what goes
// on the wire, and which error code every kind of failed call gives; and the telephony device:
// which events it passes on, and from whom (its closing is seen as the engine's popup, in the
// engine's test).
class tst_TAPI_KIVO : public QObject {
    Q_OBJECT

private slots:
    void failedCall_data();
    void failedCall();
    void call_data();
    void call();
    void registerAsyncContextGone();
    void eventPassed_data();
    void eventPassed();
};

enum class PeerAnswer { Reply, Error, TooLate, Absent };
Q_DECLARE_METATYPE(PeerAnswer)
enum class Call { Register, Sticker, CellBar, CheckArfcn, RegisterAsync };
Q_DECLARE_METATYPE(Call)

namespace {

// TAPI_CLIENT_InitAsync's results: none may come inside the call, and one comes later from
// the event loop.
QList<int> registerAsync(const quint16 *types, int count)
{
    QObject context;
    QList<int> results;
    TAPI_CLIENT_InitAsync(types, count, &context, [&results](int result) { results << result; });
    if (results.isEmpty()) {
        // Then nothing more is to come.
        if (QTest::qWaitFor([&results] { return !results.isEmpty(); }, 10000)) {
            QCoreApplication::processEvents();
        }
    } else {
        results.prepend(-1000); // answered inside the call
    }
    return results;
}

} // namespace

void tst_TAPI_KIVO::failedCall_data()
{
    QTest::addColumn<PeerAnswer>("answer");
    QTest::addColumn<QString>("errorName");
    QTest::addColumn<QVariantList>("reply"); // wrong for every call
    QTest::addColumn<int>("code");

    const QString e = QStringLiteral("org.freedesktop.DBus.Error.");
    const QVariantList none;
    // QtDBus answers NoReply itself when the time is up.
    QTest::newRow("no reply in time") << PeerAnswer::TooLate << QString() << QVariantList{0} << 3;
    QTest::newRow("error Timeout") << PeerAnswer::Error << e + "Timeout" << none << 3;
    QTest::newRow("error InvalidArgs") << PeerAnswer::Error << e + "InvalidArgs" << none << 4;
    QTest::newRow("name has no owner") << PeerAnswer::Absent << QString() << none << 5;
    QTest::newRow("error NameHasNoOwner") << PeerAnswer::Error << e + "NameHasNoOwner" << none << 5;
    QTest::newRow("error Disconnected") << PeerAnswer::Error << e + "Disconnected" << none << 5;
    QTest::newRow("reply without value") << PeerAnswer::Reply << QString() << none << 7;
    QTest::newRow("error NoMemory") << PeerAnswer::Error << e + "NoMemory" << none << 10;
    QTest::newRow("error TimedOut") << PeerAnswer::Error << e + "TimedOut" << none << 1;
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
        peer.answerAfter(3500, reply); // after the library has given up
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
    QCOMPARE(registerAsync(types, 1), QList<int>{-1});
}

void tst_TAPI_KIVO::call_data()
{
    QTest::addColumn<Call>("call");
    QTest::addColumn<int>("mode");
    QTest::addColumn<quint32>("arfcn");
    QTest::addColumn<QVariant>("reply");
    QTest::addColumn<int>("code");    // what the call returns
    QTest::addColumn<int>("verdict"); // of an ARFCN check
    QTest::addColumn<QVariant>("wire");

    const auto bytes = [](const char *hex) { return QVariant(QByteArray::fromHex(hex)); };
    QTest::newRow("Register: the types") << Call::Register << 0 << 0u << QVariant(41) << 41 << 0
                                         << QVariant::fromValue(QList<quint16>{0x0F03, 0xFFFF});
    QTest::newRow("Register without waiting")
        << Call::RegisterAsync << 0 << 0u << QVariant(41) << 41 << 0
        << QVariant::fromValue(QList<quint16>{0x0F03, 0xFFFF});
    QTest::newRow("sticker: mode 1, ARFCN 0x12345678 little-endian")
        << Call::Sticker << 1 << 0x12345678u << QVariant(0) << 0 << 0 << bytes("0178563412");
    QTest::newRow("sticker: mode 0, stopped ARFCN")
        << Call::Sticker << 0 << 0xFFFFFFFFu << QVariant(0) << 0 << 0 << bytes("00ffffffff");
    QTest::newRow("cell bar: the service's status is the code")
        << Call::CellBar << 1 << 0u << QVariant(6) << 6 << 0 << QVariant(1);
    QTest::newRow("ARFCN: wrong") << Call::CheckArfcn << 0 << 1025u
                                  << QVariant::fromValue(quint8(2)) << 0 << 2 << QVariant(1025u);
    QTest::newRow("ARFCN: above 2^31")
        << Call::CheckArfcn << 0 << 0x80000001u << QVariant::fromValue(quint8(0)) << 0 << 0
        << QVariant(0x80000001u);
    QTest::newRow("ARFCN: verdict as int")
        << Call::CheckArfcn << 0 << 62u << QVariant(0) << 7 << 1 << QVariant(62u);
}

void tst_TAPI_KIVO::call()
{
    QFETCH(Call, call);
    QFETCH(int, mode);
    QFETCH(quint32, arfcn);
    QFETCH(QVariant, reply);
    QFETCH(int, code);
    QFETCH(QVariant, wire);

    TelephonyPeer peer;
    QVERIFY(peer.claimName());
    peer.answer({reply});
    const quint16 types[] = {0x0F03, 0xFFFF};
    if (call == Call::Register) {
        QCOMPARE(TAPI_CLIENT_Init(types, 2), code);
    } else if (call == Call::RegisterAsync) {
        QCOMPARE(registerAsync(types, 2), QList<int>{code});
    } else if (call == Call::Sticker) {
        const StickerRequest request = {quint8(mode), quint16(arfcn), quint16(arfcn >> 16)};
        QCOMPARE(TAPI_KIVO_SetCellStickerMode(&request), code);
    } else if (call == Call::CellBar) {
        QCOMPARE(TAPI_KIVO_SetCellBarAccessMode(mode), code);
    } else {
        ArfcnCheck check = {arfcn, 0x55};
        QCOMPARE(TAPI_KIVO_CheckArfcn(&check), code);
        QTEST(int(check.verdict), "verdict");
    }

    const QDBusMessage sent = peer.lastCall();
    QCOMPARE(sent.path(), QStringLiteral("/org/kivo/Telephony"));
    QCOMPARE(sent.interface(), QStringLiteral("org.kivo.Telephony"));
    const char *methods[] = {"Register(aq)", "SetCellStickerMode(ay)", "SetCellBarAccessMode(i)",
                             "CheckArfcn(u)", "Register(aq)"};
    QCOMPARE(sent.member() + '(' + sent.signature() + ')', QLatin1String(methods[int(call)]));
    QVariant argument = sent.arguments().at(0);
    if (argument.canConvert<QDBusArgument>()) {
        argument = QVariant::fromValue(qdbus_cast<QList<quint16>>(argument));
    }
    QCOMPARE(argument, wire);
}

// The caller's object goes while Register is out: its answer is dropped, not delivered.
void tst_TAPI_KIVO::registerAsyncContextGone()
{
    TelephonyPeer peer;
    QVERIFY(peer.claimName());
    peer.answerAfter(300, {1});
    const quint16 types[] = {0x0F03};
    int results = 0;
    auto *context = new QObject;
    TAPI_CLIENT_InitAsync(types, 1, context, [&results](int) { ++results; });
    QTRY_COMPARE(peer.calls(QStringLiteral("Register")).size(), 1);
    delete context;
    QTRY_COMPARE(peer.unanswered(), 0);
    // A second call, answered after the first: once its answer is in, the first one's is too.
    QObject later;
    bool answered = false;
    TAPI_CLIENT_InitAsync(types, 1, &later, [&answered](int) { answered = true; });
    QTRY_VERIFY(answered);
    QCOMPARE(results, 0);
}

enum class From { Service, Forger, FormerService };
Q_DECLARE_METATYPE(From)

void tst_TAPI_KIVO::eventPassed_data()
{
    QTest::addColumn<bool>("handleSet"); // the registration's result handed to the device
    QTest::addColumn<From>("from");
    QTest::addColumn<bool>("unicast");
    QTest::addColumn<quint16>("type");
    QTest::addColumn<QByteArray>("data"); // null: passed on without a data block
    QTest::addColumn<bool>("passed");

    const QByteArray code = QByteArray::fromHex("0700ff00");
    // A broadcast from another sender is dropped by QtDBus's own match rule already; one sent to
    // us alone reaches the device, whose owner check must stop it.
    QTest::newRow("registered type")
        << true << From::Service << false << quint16(0x0F03) << code << true;
    QTest::newRow("sent to us alone")
        << true << From::Service << true << quint16(0x0F03) << code << true;
    QTest::newRow("empty data") << true << From::Service << false << quint16(0x0F03) << QByteArray()
                                << true;
    QTest::newRow("before the handle")
        << false << From::Service << false << quint16(0x0F03) << code << false;
    QTest::newRow("another type") << true << From::Service << false << quint16(0x0F04) << code
                                  << false;
    QTest::newRow("forged, sent to us")
        << true << From::Forger << true << quint16(0x0F03) << code << false;
    QTest::newRow("former owner's, sent to us")
        << true << From::FormerService << true << quint16(0x0F03) << code << false;
}

void tst_TAPI_KIVO::eventPassed()
{
    QFETCH(bool, handleSet);
    QFETCH(From, from);
    QFETCH(bool, unicast);
    QFETCH(quint16, type);
    QFETCH(QByteArray, data);
    QFETCH(bool, passed);

    TelephonyPeer service;
    QVERIFY(service.claimName());
    TelephonyPeer forger;
    UTIL_TAPI_Device device;
    // Copied while delivered: the event is gone once emit returns. No block gives a null copy.
    QList<QPair<quint16, QByteArray>> seen;
    QObject::connect(&device, &UTIL_TAPI_Device::TAPI_SendEvent, [&](UTIL_TAPI_Event *event) {
        const auto *raw = reinterpret_cast<const char *>(event->GetRawData());
        seen.append({event->GetType(), QByteArray(raw, raw ? event->GetRawDataLength() : 0)});
    });
    service.answer({3});
    const quint16 types[] = {0x0F03};
    QCOMPARE(TAPI_CLIENT_Init(types, 1), 3);
    if (handleSet) {
        device.SetClientHandle(3);
        device.SetClientHandle(3);
    }
    if (from == From::FormerService) {
        service.releaseName();
        QTRY_COMPARE(device.IsTapiInvalid(), 1);
    }

    TelephonyPeer &sender = from == From::Forger ? forger : service;
    sender.emitEvent(type, data, unicast ? QDBusConnection::sessionBus().baseService() : QString());
    QVERIFY(waitForDelivery(sender.connection()));
    QCOMPARE(seen.size(), passed ? 1 : 0);
    if (passed) {
        QCOMPARE(seen.at(0), qMakePair(type, data));
        QCOMPARE(seen.at(0).second.isNull(), data.isNull());
    }
}

QTEST_GUILESS_MAIN(tst_TAPI_KIVO)
#include "tst_tapi_kivo.moc"
