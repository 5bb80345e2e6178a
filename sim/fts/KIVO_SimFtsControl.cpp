#include "KIVO_SimFtsControl.h"

#include "KIVO_SimBusObject.h"
#include "KIVO_SimFts.h"

#include <QDBusMessage>

namespace {

const QString s_controlName = QStringLiteral("org.kivo.Sim.Fts");
const QString s_controlPath = QStringLiteral("/org/kivo/Sim");

} // namespace

KIVO_SimFtsControl::KIVO_SimFtsControl(KIVO_SimFts *sim, QObject *parent)
    : QObject(parent), m_sim(sim),
      m_object(new KIVO_SimBusObject(QStringLiteral("org.kivo.Sim.Fts"), this))
{
    addMethods();
}

KIVO_SimFtsControl::~KIVO_SimFtsControl() = default;

bool KIVO_SimFtsControl::start(const QDBusConnection &bus, QString *error)
{
    return m_object->publish(bus, s_controlPath, s_controlName, error);
}

void KIVO_SimFtsControl::addMethods()
{
    KIVO_SimFts *sim = m_sim;
    m_object->addMethod(QStringLiteral("SetDelay"), QStringLiteral("u ms"), QString(),
                        [sim](const QDBusMessage &call) {
                            sim->setReplyDelay(
                                int(qMin(call.arguments().at(0).toUInt(), 3600000u)));
                            return KIVO_SimBusObject::done(call);
                        });
    m_object->addMethod(QStringLiteral("SetMute"), QStringLiteral("b mute"), QString(),
                        [sim](const QDBusMessage &call) {
                            sim->setMute(call.arguments().at(0).toBool());
                            return KIVO_SimBusObject::done(call);
                        });
    m_object->addMethod(QStringLiteral("SetTruncate"), QStringLiteral("i bytes"), QString(),
                        [sim](const QDBusMessage &call) {
                            sim->setTruncate(call.arguments().at(0).toInt());
                            return KIVO_SimBusObject::done(call);
                        });
    m_object->addMethod(QStringLiteral("SetTitles"), QStringLiteral("as titles"), QString(),
                        [sim](const QDBusMessage &call) {
                            sim->setTitles(call.arguments().at(0).toStringList());
                            return KIVO_SimBusObject::done(call);
                        });
    m_object->addMethod(QStringLiteral("SetSelections"), QStringLiteral("t favourites, t visibles"),
                        QString(), [sim](const QDBusMessage &call) {
                            if (!sim->setSelections(call.arguments().at(0).toULongLong(),
                                                    call.arguments().at(1).toULongLong())) {
                                return KIVO_SimBusObject::error(
                                    call, QStringLiteral("org.freedesktop.DBus.Error.Failed"),
                                    QStringLiteral("the state file cannot be written"));
                            }
                            return KIVO_SimBusObject::done(call);
                        });
    m_object->addMethod(QStringLiteral("Selections"), QString(),
                        QStringLiteral("t favourites, t visibles"),
                        [sim](const QDBusMessage &call) {
                            return KIVO_SimBusObject::reply(
                                call, {QVariant::fromValue(qulonglong(sim->favourites())),
                                       QVariant::fromValue(qulonglong(sim->visibles()))});
                        });
    m_object->addMethod(QStringLiteral("SendTitles"), QString(), QString(),
                        [sim](const QDBusMessage &call) {
                            sim->sendTitles();
                            return KIVO_SimBusObject::done(call);
                        });
    m_object->addMethod(QStringLiteral("SendFavourites"), QString(), QString(),
                        [sim](const QDBusMessage &call) {
                            sim->sendFavourites();
                            return KIVO_SimBusObject::done(call);
                        });
    m_object->addMethod(QStringLiteral("SendVisibles"), QString(), QString(),
                        [sim](const QDBusMessage &call) {
                            sim->sendVisibles();
                            return KIVO_SimBusObject::done(call);
                        });
    m_object->addMethod(QStringLiteral("SendRaw"), QStringLiteral("s channel, s message, ay data"),
                        QString(), [sim](const QDBusMessage &call) {
                            sim->sendRaw(call.arguments().at(0).toString(),
                                         call.arguments().at(1).toString(),
                                         call.arguments().at(2).toByteArray());
                            return KIVO_SimBusObject::done(call);
                        });
    m_object->addMethod(
        QStringLiteral("LastRequest"), QString(), QStringLiteral("s message, ay data"),
        [sim](const QDBusMessage &call) {
            return KIVO_SimBusObject::reply(call, {sim->lastMessage(), sim->lastData()});
        });
    m_object->addMethod(QStringLiteral("RequestCount"), QStringLiteral("s message"),
                        QStringLiteral("u count"), [sim](const QDBusMessage &call) {
                            return KIVO_SimBusObject::reply(
                                call, {sim->requestCount(call.arguments().at(0).toString())});
                        });
    m_object->addMethod(QStringLiteral("Status"), QString(), QStringLiteral("s text"),
                        [sim](const QDBusMessage &call) {
                            return KIVO_SimBusObject::reply(call, {sim->status()});
                        });
    m_object->addQuit();
}
