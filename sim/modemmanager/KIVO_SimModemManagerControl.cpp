#include "KIVO_SimModemManagerControl.h"

#include "KIVO_SimBusObject.h"
#include "KIVO_SimModemManager.h"

#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusObjectPath>

namespace {

const QString s_controlName = QStringLiteral("org.kivo.Sim.ModemManager");
const QString s_controlPath = QStringLiteral("/org/kivo/Sim");
const QString s_invalidArgs = QStringLiteral("org.freedesktop.DBus.Error.InvalidArgs");

QString argPath(const QDBusMessage &call)
{
    return call.arguments().at(0).value<QDBusObjectPath>().path();
}

KIVO_SimReply noModem(const QDBusMessage &call)
{
    return KIVO_SimBusObject::error(call, s_invalidArgs,
                                    QStringLiteral("no modem %1").arg(argPath(call)));
}

// "EARFCN:PCI:TAC:CI EARFCN:PCI:TAC:CI ..."; an entry that does not parse is left out.
QList<KIVO_SimModemManager::Cell> parseCells(const QString &text)
{
    QList<KIVO_SimModemManager::Cell> cells;
    for (const QString &entry : text.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        const QStringList fields = entry.split(QLatin1Char(':'));
        KIVO_SimModemManager::Cell cell;
        bool earfcnOk = false;
        bool pciOk = false;
        cell.earfcn = fields.value(0).toUInt(&earfcnOk);
        cell.physicalCellId = fields.value(1).toUInt(&pciOk);
        cell.tac = fields.value(2).toUpper();
        cell.cellId = fields.value(3).toUpper();
        if (fields.size() == 4 && earfcnOk && pciOk) {
            cells.append(cell);
        }
    }
    return cells;
}

} // namespace

KIVO_SimModemManagerControl::KIVO_SimModemManagerControl(KIVO_SimModemManager *sim, QObject *parent)
    : QObject(parent), m_sim(sim),
      m_object(new KIVO_SimBusObject(QStringLiteral("org.kivo.Sim.ModemManager"), this))
{
    addMethods();
}

KIVO_SimModemManagerControl::~KIVO_SimModemManagerControl() = default;

bool KIVO_SimModemManagerControl::start(const QDBusConnection &bus, QString *error)
{
    return m_object->publish(bus, s_controlPath, s_controlName, error);
}

void KIVO_SimModemManagerControl::addMethods()
{
    KIVO_SimModemManager *sim = m_sim;
    // The methods on one modem check its path first.
    auto onModem = [this, sim](const QString &name, const QString &args,
                               std::function<void(const QString &path, const QDBusMessage &)> act) {
        m_object->addMethod(name, args, QString(), [sim, act](const QDBusMessage &call) {
            if (!sim->hasModem(argPath(call))) {
                return noModem(call);
            }
            act(argPath(call), call);
            return KIVO_SimBusObject::done(call);
        });
    };
    m_object->addMethod(
        QStringLiteral("AddModem"), QStringLiteral("s manufacturer, s model, au bands"),
        QStringLiteral("o path"), [sim](const QDBusMessage &call) {
            const QList<uint> bands =
                qdbus_cast<QList<uint>>(call.arguments().at(2).value<QDBusArgument>());
            const QString path = sim->addModem(call.arguments().at(0).toString(),
                                               call.arguments().at(1).toString(), bands);
            return KIVO_SimBusObject::reply(call, {QVariant::fromValue(QDBusObjectPath(path))});
        });
    onModem(QStringLiteral("RemoveModem"), QStringLiteral("o path"),
            [sim](const QString &path, const QDBusMessage &) { sim->removeModem(path); });
    onModem(QStringLiteral("SetState"), QStringLiteral("o path, i state"),
            [sim](const QString &path, const QDBusMessage &call) {
                sim->setState(path, call.arguments().at(1).toInt());
            });
    onModem(QStringLiteral("SetRegistration"), QStringLiteral("o path, u state"),
            [sim](const QString &path, const QDBusMessage &call) {
                sim->setRegistration(path, call.arguments().at(1).toUInt());
            });
    onModem(QStringLiteral("SetCells"), QStringLiteral("o path, s cells"),
            [sim](const QString &path, const QDBusMessage &call) {
                sim->setCells(path, parseCells(call.arguments().at(1).toString()));
            });
    onModem(QStringLiteral("SetCellInfo"), QStringLiteral("o path, b supported"),
            [sim](const QString &path, const QDBusMessage &call) {
                sim->setCellInfoSupported(path, call.arguments().at(1).toBool());
            });
    onModem(QStringLiteral("SetAtAnswer"),
            QStringLiteral("o path, s command, s answer, u delay_ms"),
            [sim](const QString &path, const QDBusMessage &call) {
                sim->setAtAnswer(
                    path, call.arguments().at(1).toString(),
                    {call.arguments().at(2).toString(), int(call.arguments().at(3).toUInt())});
            });
    m_object->addMethod(QStringLiteral("Commands"), QStringLiteral("o path"),
                        QStringLiteral("as commands"), [sim](const QDBusMessage &call) {
                            return KIVO_SimBusObject::reply(call, {sim->commands(argPath(call))});
                        });
    m_object->addMethod(QStringLiteral("SetDebugMode"), QStringLiteral("b on"), QString(),
                        [sim](const QDBusMessage &call) {
                            sim->setDebugMode(call.arguments().at(0).toBool());
                            return KIVO_SimBusObject::done(call);
                        });
    m_object->addMethod(QStringLiteral("SetCampDelay"), QStringLiteral("u ms"), QString(),
                        [sim](const QDBusMessage &call) {
                            sim->setCampDelay(int(call.arguments().at(0).toUInt()));
                            return KIVO_SimBusObject::done(call);
                        });
    m_object->addMethod(QStringLiteral("Vanish"), QStringLiteral("u return_after_ms"), QString(),
                        [sim](const QDBusMessage &call) {
                            const int after = int(call.arguments().at(0).toUInt());
                            return KIVO_SimBusObject::reply(call, {},
                                                            [sim, after] { sim->vanish(after); });
                        });
    m_object->addMethod(QStringLiteral("Appear"), QString(), QStringLiteral("b owned"),
                        [sim](const QDBusMessage &call) {
                            return KIVO_SimBusObject::reply(call, {sim->appear()});
                        });
    m_object->addMethod(QStringLiteral("Status"), QString(), QStringLiteral("s text"),
                        [sim](const QDBusMessage &call) {
                            return KIVO_SimBusObject::reply(call, {sim->status()});
                        });
    m_object->addQuit();
}
