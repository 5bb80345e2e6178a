#include "UTIL_TAPI_Device.h"

#include "SignalCatcher.h"
#include "TAPI_KIVO.h"
#include "TelephonyPeer.h"
#include "UTIL_TAPI_Event.h"

#include <QDBusConnection>
#include <QTest>

// The telephony device against a service stand-in on a private bus: which events it passes
// on, and from whom. (Its closing is seen as the engine's popup, in the engine's test.)
class tst_UTIL_TAPI_Device : public QObject {
    Q_OBJECT

private slots:
    void eventPassed_data();
    void eventPassed();
};

enum class From { Service, Forger, FormerService };
Q_DECLARE_METATYPE(From)

void tst_UTIL_TAPI_Device::eventPassed_data()
{
    QTest::addColumn<bool>("handleSet"); // the registration's result handed to the device
    QTest::addColumn<From>("from");
    QTest::addColumn<bool>("unicast");
    QTest::addColumn<quint16>("type");
    QTest::addColumn<QByteArray>("data"); // null: passed on without a data block
    QTest::addColumn<bool>("passed");

    const QByteArray code = QByteArray::fromHex("0700ff00");
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
    QTest::newRow("forged broadcast")
        << true << From::Forger << false << quint16(0x0F03) << code << false;
    QTest::newRow("forged, sent to us")
        << true << From::Forger << true << quint16(0x0F03) << code << false;
    QTest::newRow("former owner's broadcast")
        << true << From::FormerService << false << quint16(0x0F03) << code << false;
    QTest::newRow("former owner's, sent to us")
        << true << From::FormerService << true << quint16(0x0F03) << code << false;
}

void tst_UTIL_TAPI_Device::eventPassed()
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

QTEST_GUILESS_MAIN(tst_UTIL_TAPI_Device)
#include "tst_util_tapi_device.moc"
