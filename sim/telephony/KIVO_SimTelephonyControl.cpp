#include "KIVO_SimTelephonyControl.h"

#include "KIVO_GsmBands.h"
#include "KIVO_SimBusObject.h"
#include "KIVO_SimLog.h"
#include "KIVO_SimTelephony.h"

#include <QDBusMessage>

namespace {

const QString s_controlName = QStringLiteral("org.kivo.Sim.Telephony");
const QString s_controlPath = QStringLiteral("/org/kivo/Sim");
const QString s_invalidArgs = QStringLiteral("org.freedesktop.DBus.Error.InvalidArgs");

QString argString(const QDBusMessage &call, int index)
{
    return call.arguments().at(index).toString();
}

uint argUInt(const QDBusMessage &call, int index)
{
    return call.arguments().at(index).toUInt();
}

KIVO_SimReply unknownMethod(const QDBusMessage &call, const QString &method)
{
    return KIVO_SimBusObject::error(
        call, s_invalidArgs,
        QStringLiteral("\"%1\" is none of Register, SetCellStickerMode, CheckArfcn, "
                       "SetCellBarAccessMode, all")
            .arg(method));
}

} // namespace

KIVO_SimTelephonyControl::KIVO_SimTelephonyControl(KIVO_SimTelephony *sim, QObject *parent)
    : QObject(parent), m_sim(sim),
      m_object(new KIVO_SimBusObject(QStringLiteral("org.kivo.Sim.Telephony"), this))
{
    addMethods();
}

KIVO_SimTelephonyControl::~KIVO_SimTelephonyControl() = default;

bool KIVO_SimTelephonyControl::start(const QDBusConnection &bus, QString *error)
{
    return m_object->publish(bus, s_controlPath, s_controlName, error);
}

void KIVO_SimTelephonyControl::addMethods()
{
    KIVO_SimTelephony *sim = m_sim;
    m_object->addMethod(
        QStringLiteral("ForceStatus"), QStringLiteral("s method, i status, u count"), QString(),
        [sim](const QDBusMessage &call) {
            const QString method = argString(call, 0);
            if (!KIVO_SimTelephony::isMethodName(method)) {
                return unknownMethod(call, method);
            }
            sim->forceStatus(method, call.arguments().at(1).toInt(), argUInt(call, 2));
            return KIVO_SimBusObject::done(call);
        });
    m_object->addMethod(
        QStringLiteral("ForceError"), QStringLiteral("s method, s error_name, u count"), QString(),
        [sim](const QDBusMessage &call) {
            const QString method = argString(call, 0);
            if (!KIVO_SimTelephony::isMethodName(method)) {
                return unknownMethod(call, method);
            }
            const QString name = argString(call, 1);
            // The bus refuses to carry an error whose name is not a valid interface name.
            if (name.count(QLatin1Char('.')) < 1 || name.startsWith(QLatin1Char('.')) ||
                name.endsWith(QLatin1Char('.'))) {
                return KIVO_SimBusObject::error(
                    call, s_invalidArgs, QStringLiteral("\"%1\" is not an error name").arg(name));
            }
            sim->forceError(method, name, argUInt(call, 2));
            return KIVO_SimBusObject::done(call);
        });
    m_object->addMethod(QStringLiteral("ForceWrongSignature"), QStringLiteral("s method, u count"),
                        QString(), [sim](const QDBusMessage &call) {
                            const QString method = argString(call, 0);
                            if (!KIVO_SimTelephony::isMethodName(method)) {
                                return unknownMethod(call, method);
                            }
                            sim->forceWrongSignature(method, argUInt(call, 1));
                            return KIVO_SimBusObject::done(call);
                        });
    m_object->addMethod(QStringLiteral("ForceEvent"), QStringLiteral("u code, u count"), QString(),
                        [sim](const QDBusMessage &call) {
                            sim->forceEvent(argUInt(call, 0), argUInt(call, 1));
                            return KIVO_SimBusObject::done(call);
                        });
    m_object->addMethod(QStringLiteral("ClearForced"), QString(), QString(),
                        [sim](const QDBusMessage &call) {
                            sim->clearForced();
                            return KIVO_SimBusObject::done(call);
                        });
    m_object->addMethod(QStringLiteral("InjectEvent"), QStringLiteral("q type, ay raw_data"),
                        QString(), [sim](const QDBusMessage &call) {
                            sim->injectEvent(call.arguments().at(0).value<ushort>(),
                                             call.arguments().at(1).toByteArray());
                            return KIVO_SimBusObject::done(call);
                        });
    m_object->addMethod(QStringLiteral("InjectStickerResult"), QStringLiteral("u code"), QString(),
                        [sim](const QDBusMessage &call) {
                            sim->injectStickerResult(argUInt(call, 0));
                            return KIVO_SimBusObject::done(call);
                        });
    m_object->addMethod(QStringLiteral("SetReplyDelay"), QStringLiteral("s method, u ms"),
                        QString(), [sim](const QDBusMessage &call) {
                            const QString method = argString(call, 0);
                            if (!KIVO_SimTelephony::isMethodName(method)) {
                                return unknownMethod(call, method);
                            }
                            sim->setReplyDelay(method, int(qMin(argUInt(call, 1), 3600000u)));
                            return KIVO_SimBusObject::done(call);
                        });
    m_object->addMethod(QStringLiteral("SetOutcomeDelay"), QStringLiteral("u ms"), QString(),
                        [sim](const QDBusMessage &call) {
                            sim->setOutcomeDelay(int(qMin(argUInt(call, 0), 3600000u)));
                            return KIVO_SimBusObject::done(call);
                        });
    m_object->addMethod(QStringLiteral("SetScanning"), QStringLiteral("b on"), QString(),
                        [sim](const QDBusMessage &call) {
                            sim->setScanning(call.arguments().at(0).toBool());
                            return KIVO_SimBusObject::done(call);
                        });
    m_object->addMethod(QStringLiteral("SetBands"), QStringLiteral("s bands"), QString(),
                        [sim](const QDBusMessage &call) {
                            KIVO_GsmBands bands;
                            QString reason;
                            if (!KIVO_GsmBands::parse(argString(call, 0), &bands, &reason)) {
                                return KIVO_SimBusObject::error(call, s_invalidArgs, reason);
                            }
                            sim->setBands(bands);
                            return KIVO_SimBusObject::done(call);
                        });
    m_object->addMethod(QStringLiteral("Vanish"), QStringLiteral("u return_after_ms"), QString(),
                        [sim](const QDBusMessage &call) {
                            const int back = int(qMin(argUInt(call, 0), 3600000u));
                            return KIVO_SimBusObject::reply(call, {},
                                                            [sim, back] { sim->vanish(back); });
                        });
    m_object->addMethod(QStringLiteral("Appear"), QString(), QStringLiteral("b owned"),
                        [sim](const QDBusMessage &call) {
                            return KIVO_SimBusObject::reply(call, {sim->appear()});
                        });
    m_object->addQuit();
    m_object->addMethod(QStringLiteral("Status"), QString(), QStringLiteral("s text"),
                        [sim](const QDBusMessage &call) {
                            return KIVO_SimBusObject::reply(call, {sim->status()});
                        });
    m_object->addMethod(QStringLiteral("CellBarAccessMode"), QString(), QStringLiteral("i mode"),
                        [sim](const QDBusMessage &call) {
                            return KIVO_SimBusObject::reply(call,
                                                            {qint32(sim->cellBarAccessMode())});
                        });
    m_object->addMethod(QStringLiteral("LastStickerRequest"), QString(),
                        QStringLiteral("ay request"), [sim](const QDBusMessage &call) {
                            return KIVO_SimBusObject::reply(call, {sim->lastStickerRequest()});
                        });
    m_object->addMethod(QStringLiteral("CallCount"), QStringLiteral("s method"),
                        QStringLiteral("u count"), [sim](const QDBusMessage &call) {
                            const QString method = argString(call, 0);
                            if (!KIVO_SimTelephony::isMethodName(method)) {
                                return unknownMethod(call, method);
                            }
                            return KIVO_SimBusObject::reply(call, {sim->callCount(method)});
                        });
}
