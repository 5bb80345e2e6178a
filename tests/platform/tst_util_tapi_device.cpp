#include "UTIL_TAPI_Device.h"

#include "SignalCatcher.h"
#include "TAPI_KIVO.h"
#include "TelephonyPeer.h"
#include "UTIL_TAPI_Event.h"

#include <QDBusConnection>
#include <QSignalSpy>
#include <QTest>

#include <memory>

namespace {

struct SeenEvent {
    quint16 type;
    QByteArray data;
    bool dataIsNull;
};

// Copies every event while it is being delivered: the object is gone once emit returns.
class EventRecorder : public QObject {
public:
    explicit EventRecorder(UTIL_TAPI_Device *device)
    {
        connect(device, &UTIL_TAPI_Device::TAPI_SendEvent, this, [this](UTIL_TAPI_Event *event) {
            const auto *data = reinterpret_cast<const char *>(event->GetRawData());
            seen.append({event->GetType(), QByteArray(data, data ? event->GetRawDataLength() : 0),
                         data == nullptr});
        });
    }

    QList<SeenEvent> seen;
};

// Registers this process for the cell sticker outcome with the peer answering `handle`.
bool registerStickerEvents(TelephonyPeer &peer, int handle)
{
    peer.answer({handle});
    const quint16 types[] = {0x0F03};
    return TAPI_CLIENT_Init(types, 1) == handle;
}

} // namespace

// The telephony device against a service stand-in on a private bus: which events it passes
// on, from whom, and how it reports the service going away.
class tst_UTIL_TAPI_Device : public QObject {
    Q_OBJECT

private slots:
    void eventsAfterClientHandle();
    void forgedEventsIgnored_data();
    void forgedEventsIgnored();
    void closedOncePerLoss_data();
    void closedOncePerLoss();
};

void tst_UTIL_TAPI_Device::eventsAfterClientHandle()
{
    TelephonyPeer peer;
    QVERIFY(peer.claimName());
    UTIL_TAPI_Device device;
    EventRecorder recorder(&device);
    const QList<SeenEvent> *seen = &recorder.seen;

    // Registered, but the result not yet handed to the device.
    QVERIFY(registerStickerEvents(peer, 3));
    peer.emitEvent(0x0F03, QByteArray::fromHex("06000000"));
    QVERIFY(waitForDelivery(peer.connection()));
    QVERIFY(seen->isEmpty());

    device.SetClientHandle(3);
    device.SetClientHandle(3);
    const QString client = QDBusConnection::sessionBus().baseService();
    peer.emitEvent(0x0F04, QByteArray::fromHex("06000000"));
    peer.emitEvent(0x0F03, QByteArray::fromHex("0700ff00"));
    peer.emitEvent(0x0F03, QByteArray::fromHex("00010000"), client);
    peer.emitEvent(0x0F03, QByteArray());
    QVERIFY(waitForDelivery(peer.connection()));

    QCOMPARE(seen->size(), 3);
    QCOMPARE(seen->at(0).type, quint16(0x0F03));
    QCOMPARE(seen->at(0).data.toHex(), QByteArray("0700ff00"));
    QCOMPARE(seen->at(1).data.toHex(), QByteArray("00010000"));
    QVERIFY(seen->at(2).dataIsNull);
}

void tst_UTIL_TAPI_Device::forgedEventsIgnored_data()
{
    QTest::addColumn<bool>("serviceRunning");
    QTest::addColumn<bool>("unicast");

    QTest::newRow("broadcast beside the service") << true << false;
    QTest::newRow("sent to us beside the service") << true << true;
    QTest::newRow("broadcast without the service") << false << false;
    QTest::newRow("sent to us without the service") << false << true;
}

void tst_UTIL_TAPI_Device::forgedEventsIgnored()
{
    QFETCH(bool, serviceRunning);
    QFETCH(bool, unicast);

    TelephonyPeer peer;
    QVERIFY(peer.claimName());
    TelephonyPeer forger;
    UTIL_TAPI_Device device;
    EventRecorder recorder(&device);
    const QList<SeenEvent> *seen = &recorder.seen;
    QVERIFY(registerStickerEvents(peer, 0));
    device.SetClientHandle(0);
    if (!serviceRunning) {
        peer.releaseName();
        QTRY_COMPARE(device.IsTapiInvalid(), 1);
    }

    const QString to = unicast ? QDBusConnection::sessionBus().baseService() : QString();
    forger.emitEvent(0x0F03, QByteArray::fromHex("02000000"), to);
    // Beside the service this one is genuine; after it gave up the name, it is forged too.
    peer.emitEvent(0x0F03, QByteArray::fromHex("03000000"), to);
    QVERIFY(waitForDelivery(forger.connection()));
    QVERIFY(waitForDelivery(peer.connection()));
    if (serviceRunning) {
        QCOMPARE(seen->size(), 1);
        QCOMPARE(seen->at(0).data.toHex(), QByteArray("03000000"));
    } else {
        QCOMPARE(seen->size(), 0);
    }
}

void tst_UTIL_TAPI_Device::closedOncePerLoss_data()
{
    QTest::addColumn<bool>("serviceEnds"); // else it gives up the name and stays on the bus

    QTest::newRow("name released") << false;
    QTest::newRow("service process ends") << true;
}

void tst_UTIL_TAPI_Device::closedOncePerLoss()
{
    QFETCH(bool, serviceEnds);

    UTIL_TAPI_Device device;
    QSignalSpy closed(&device, &UTIL_TAPI_Device::TapiDeviceClosed);
    QCOMPARE(device.IsTapiInvalid(), 1);

    for (int loss = 1; loss <= 2; ++loss) {
        auto peer = std::make_unique<TelephonyPeer>();
        QVERIFY(peer->claimName());
        QTRY_COMPARE(device.IsTapiInvalid(), 0);
        QCOMPARE(closed.count(), loss - 1);

        if (serviceEnds) {
            peer.reset();
        } else {
            peer->releaseName();
        }
        QVERIFY(closed.wait(5000));
        QCOMPARE(device.IsTapiInvalid(), 1);
    }
    // A third owner that comes and stays proves that no late second signal was on its way.
    TelephonyPeer peer;
    QVERIFY(peer.claimName());
    QTRY_COMPARE(device.IsTapiInvalid(), 0);
    QCOMPARE(closed.count(), 2);
}

QTEST_GUILESS_MAIN(tst_UTIL_TAPI_Device)
#include "tst_util_tapi_device.moc"
