#include "AM_SystemStateClient.h"

#include "SignalCatcher.h"

#include <QDBusConnection>
#include <QTest>

// The system-state client's events as the application manager sees them on the bus.
class tst_AM_SystemStateClient : public QObject {
    Q_OBJECT

private slots:
    void clientEvent_data();
    void clientEvent();
};

void tst_AM_SystemStateClient::clientEvent_data()
{
    QTest::addColumn<int>("event");
    QTest::addColumn<int>("onTheBus");

    QTest::newRow("FTS on") << int(AM_SystemState::CLIENT_EVENT_FTS_ON) << 30;
    QTest::newRow("FTS off") << int(AM_SystemState::CLIENT_EVENT_FTS_OFF) << 31;
}

void tst_AM_SystemStateClient::clientEvent()
{
    QFETCH(int, event);
    QFETCH(int, onTheBus);

    QDBusConnection manager =
        QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("manager"));
    SignalCatcher catcher(manager, QString(), QStringLiteral("/org/kivo/SystemState"),
                          QStringLiteral("org.kivo.SystemState"), QStringLiteral("ClientEvent"));
    AM_SystemStateClient::instance();
    AM_SystemStateClient::postClientEvent(static_cast<AM_SystemState::CLIENT_EVENT>(event));
    QTRY_COMPARE(catcher.messages.size(), 1);

    const QDBusMessage message = catcher.messages.at(0);
    QCOMPARE(message.signature(), QStringLiteral("i"));
    QCOMPARE(message.arguments().at(0).toInt(), onTheBus);
    QDBusConnection::disconnectFromBus(QStringLiteral("manager"));
}

QTEST_GUILESS_MAIN(tst_AM_SystemStateClient)
#include "tst_am_systemstateclient.moc"
