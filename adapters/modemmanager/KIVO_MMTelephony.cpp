#include "KIVO_MMTelephony.h"

#include "KIVO_EarfcnBands.h"
#include "KIVO_MMClient.h"
#include "KIVO_QuectelAt.h"

#include <QCoreApplication>
#include <QDBusArgument>
#include <QDBusConnectionInterface>
#include <QStringList>
#include <QtEndian>

#include <algorithm>
#include <cstdio>

namespace {

const QString s_serviceName = QStringLiteral("org.kivo.Telephony");
const QString s_path = QStringLiteral("/org/kivo/Telephony");
const QString s_interface = QStringLiteral("org.kivo.Telephony");
const QString s_invalidArgs = QStringLiteral("org.freedesktop.DBus.Error.InvalidArgs");
const QString s_noReply = QStringLiteral("org.freedesktop.DBus.Error.NoReply");
const QString s_notSupported = QStringLiteral("org.kivo.Telephony.Error.NotSupported");
const QString s_failed = QStringLiteral("org.kivo.Telephony.Error.Failed");
const QString s_unauthorized =
    QStringLiteral("org.freedesktop.ModemManager1.Error.Core.Unauthorized");

const quint16 s_stickerEvent = 0x0F03;
const int s_stickerRequestSize = 5;
const quint32 s_failedUnknown = 4;
const quint32 s_modeEntered = 6;
const quint32 s_stickerStopped = 7;
const quint32 s_scanningForCell = 8;

// The modem gets 2 s for an AT command and the bus half a second more, so that a silent modem
// is answered with NoReply before the client's own 3000 ms run out.
const uint s_modemTimeoutS = 2;
const int s_commandTimeoutMs = 2500;
// While the sticker waits, the serving cell is read this often besides on every change.
const int s_pollMs = 1000;

// MMModem3gppRegistrationState values that end the wait.
const uint s_registeredHome = 1;
const uint s_registrationDenied = 3;
const uint s_registeredRoaming = 5;
// MMCellType of an LTE cell.
const uint s_cellTypeLte = 5;

const char s_introspection[] = R"(  <interface name="org.kivo.Telephony">
    <method name="Register">
      <arg name="event_types" type="aq" direction="in"/>
      <arg name="result" type="i" direction="out"/>
    </method>
    <method name="SetCellStickerMode">
      <arg name="request" type="ay" direction="in"/>
      <arg name="status" type="i" direction="out"/>
    </method>
    <method name="CheckArfcn">
      <arg name="arfcn" type="u" direction="in"/>
      <arg name="verdict" type="y" direction="out"/>
    </method>
    <method name="SetCellBarAccessMode">
      <arg name="mode" type="i" direction="in"/>
      <arg name="status" type="i" direction="out"/>
    </method>
    <method name="GetCapabilities">
      <arg name="capabilities" type="a{sv}" direction="out"/>
    </method>
    <signal name="Event">
      <arg name="type" type="q"/>
      <arg name="raw_data" type="ay"/>
    </signal>
  </interface>
)";

void trace(const QString &text)
{
    std::fprintf(stderr, "kivo-mm-bridge: %s\n", qPrintable(text));
}

// The low 16 bits of an upper-case hex id, 0 when unknown.
quint16 low16(const QString &hex)
{
    bool ok = false;
    const qulonglong value = hex.toULongLong(&ok, 16);
    return ok ? quint16(value & 0xFFFF) : 0;
}

} // namespace

KIVO_MMTelephony::KIVO_MMTelephony(KIVO_MMClient *client, const QDBusConnection &sessionBus,
                                   int lockTimeoutMs, QObject *parent)
    : QDBusVirtualObject(parent), m_client(client), m_bus(sessionBus),
      m_lockTimeoutMs(lockTimeoutMs)
{
    m_deadline.setSingleShot(true);
    connect(&m_deadline, &QTimer::timeout, this, [this] { finishWatch(s_failedUnknown); });
    connect(&m_poll, &QTimer::timeout, this, [this] { checkServingCell(); });
}

KIVO_MMTelephony::~KIVO_MMTelephony() = default;

bool KIVO_MMTelephony::start(QString *error)
{
    if (!m_bus.registerVirtualObject(s_path, this)) {
        *error = QStringLiteral("cannot serve %1: %2").arg(s_path, m_bus.lastError().message());
        return false;
    }
    connect(m_client, &KIVO_MMClient::modemAppeared, this, [this] {
        updateOwnership();
        probeModem();
    });
    connect(m_client, &KIVO_MMClient::modemVanished, this, [this] { updateOwnership(); });
    connect(m_client, &KIVO_MMClient::stateChanged, this, [this] { updateOwnership(); });
    connect(m_client, &KIVO_MMClient::registrationChanged, this, [this] { checkServingCell(); });
    connect(m_client, &KIVO_MMClient::locationChanged, this, [this] { checkServingCell(); });
    return true;
}

void KIVO_MMTelephony::updateOwnership()
{
    const bool usable = m_client->hasModem() && m_client->state() != -1;
    if (usable == m_owning) {
        return;
    }
    if (usable) {
        const QDBusReply<QDBusConnectionInterface::RegisterServiceReply> taken =
            m_bus.interface()->registerService(s_serviceName,
                                               QDBusConnectionInterface::DontQueueService,
                                               QDBusConnectionInterface::DontAllowReplacement);
        if (!taken.isValid() || taken.value() != QDBusConnectionInterface::ServiceRegistered) {
            trace(QStringLiteral("%1 is owned by another process (%2); not replacing it")
                      .arg(s_serviceName, m_bus.interface()->serviceOwner(s_serviceName).value()));
            QCoreApplication::exit(1);
            return;
        }
        m_owning = true;
        trace(QStringLiteral("took %1 for modem %2").arg(s_serviceName, m_client->modemPath()));
        return;
    }
    m_bus.interface()->unregisterService(s_serviceName);
    m_owning = false;
    m_clients.clear();
    m_watching = false;
    m_deadline.stop();
    m_poll.stop();
    trace(QStringLiteral("gave up %1: %2")
              .arg(s_serviceName, m_client->hasModem() ? QStringLiteral("the modem failed")
                                                       : QStringLiteral("no modem")));
}

void KIVO_MMTelephony::probeModem()
{
    const uint generation = ++m_generation;
    m_debugMode = false;
    m_cellInfoCall = false;
    m_probesLeft = 2;
    auto probed = [this, generation] {
        if (generation == m_generation && --m_probesLeft == 0) {
            traceCapabilities();
        }
    };
    // A harmless command tells whether ModemManager lets AT commands through (--debug).
    const QString probe =
        isQuectel() ? KIVO_QuectelAt::lockQueryCommand() : KIVO_QuectelAt::probeCommand();
    m_client->command(probe, s_modemTimeoutS, s_commandTimeoutMs, this,
                      [this, generation, probed](const QDBusMessage &answer) {
                          if (generation == m_generation) {
                              m_debugMode = answer.type() == QDBusMessage::ReplyMessage;
                          }
                          probed();
                      });
    m_client->getCellInfo(s_commandTimeoutMs, this,
                          [this, generation, probed](const QDBusMessage &answer) {
                              if (generation == m_generation) {
                                  m_cellInfoCall = answer.type() == QDBusMessage::ReplyMessage;
                              }
                              probed();
                          });
}

void KIVO_MMTelephony::traceCapabilities()
{
    const QString modem = m_client->manufacturer() + QLatin1Char(' ') + m_client->model();
    QStringList lines;
    lines << QStringLiteral("modem %1: %2, LTE bands %3")
                 .arg(m_client->modemPath(), modem,
                      KIVO_EarfcnBands(m_client->supportedBands()).names());
    if (!isQuectel()) {
        lines << QStringLiteral("cell lock: no, the modem is no Quectel (the only lock known is "
                                "Quectel's AT+QNWLOCK)");
    } else if (!m_debugMode) {
        lines << QStringLiteral("cell lock: no, ModemManager runs without --debug");
    } else {
        lines << QStringLiteral("cell lock: yes, LTE EARFCN through AT+QNWLOCK");
    }
    lines << QStringLiteral("cell bar access: no, only the modem's own behaviour (mode 0)");
    if (m_cellInfoCall) {
        lines << QStringLiteral("serving cell: yes, Modem.GetCellInfo");
    } else if (canReadCell()) {
        lines << QStringLiteral("serving cell: yes, AT+QENG (Modem.GetCellInfo not supported)");
    } else {
        lines << QStringLiteral("serving cell: no, Modem.GetCellInfo not supported");
    }
    const QString text = lines.join(QLatin1Char('\n'));
    if (text != m_lastCapabilities) {
        m_lastCapabilities = text;
        for (const QString &line : lines) {
            trace(line);
        }
    }
}

bool KIVO_MMTelephony::isQuectel() const
{
    return KIVO_QuectelAt::isQuectel(m_client->manufacturer());
}

bool KIVO_MMTelephony::canLock() const
{
    return isQuectel() && m_debugMode;
}

bool KIVO_MMTelephony::canReadCell() const
{
    return m_cellInfoCall || canLock();
}

bool KIVO_MMTelephony::handleMessage(const QDBusMessage &message, const QDBusConnection &)
{
    if (message.type() != QDBusMessage::MethodCallMessage ||
        (!message.interface().isEmpty() && message.interface() != s_interface)) {
        return false;
    }
    const QString member = message.member();
    if (member == QLatin1String("Register")) {
        registerClient(message);
    } else if (member == QLatin1String("CheckArfcn")) {
        checkArfcn(message);
    } else if (member == QLatin1String("SetCellStickerMode")) {
        setCellStickerMode(message);
    } else if (member == QLatin1String("SetCellBarAccessMode")) {
        setCellBarAccessMode(message);
    } else if (member == QLatin1String("GetCapabilities")) {
        getCapabilities(message);
    } else {
        return false;
    }
    return true;
}

QString KIVO_MMTelephony::introspect(const QString &) const
{
    return QString::fromLatin1(s_introspection);
}

void KIVO_MMTelephony::registerClient(const QDBusMessage &call)
{
    if (call.signature() != QLatin1String("aq")) {
        replyError(call, s_invalidArgs, QStringLiteral("Register takes (aq)"));
        return;
    }
    QSet<quint16> types;
    const QDBusArgument array = call.arguments().at(0).value<QDBusArgument>();
    array.beginArray();
    while (!array.atEnd()) {
        ushort type = 0;
        array >> type;
        types.insert(type);
    }
    array.endArray();
    m_clients.insert(call.service(), types);
    QStringList names;
    for (quint16 type : types) {
        names << QStringLiteral("0x%1").arg(type, 4, 16, QLatin1Char('0'));
    }
    std::sort(names.begin(), names.end());
    trace(QStringLiteral("%1 registered for %2 (handle %3)")
              .arg(call.service(), names.join(QLatin1Char(',')))
              .arg(m_nextHandle));
    reply(call, {m_nextHandle++});
}

void KIVO_MMTelephony::checkArfcn(const QDBusMessage &call)
{
    if (call.signature() != QLatin1String("u")) {
        replyError(call, s_invalidArgs, QStringLiteral("CheckArfcn takes (u)"));
        return;
    }
    const KIVO_EarfcnBands bands(m_client->supportedBands());
    const uchar verdict = bands.accepts(call.arguments().at(0).toUInt()) ? 0 : 1;
    reply(call, {QVariant::fromValue(verdict)});
}

void KIVO_MMTelephony::setCellStickerMode(const QDBusMessage &call)
{
    const QByteArray request = call.arguments().value(0).toByteArray();
    if (call.signature() != QLatin1String("ay") || request.size() != s_stickerRequestSize ||
        quint8(request.at(0)) > 1) {
        replyError(call, s_invalidArgs,
                   QStringLiteral("SetCellStickerMode takes 5 bytes: mode 0 or 1, EARFCN"));
        return;
    }
    const quint8 mode = quint8(request.at(0));
    const quint32 earfcn = qFromLittleEndian<quint32>(request.constData() + 1);
    if (!isQuectel()) {
        replyError(call, s_notSupported,
                   QStringLiteral("cell lock: no, the modem (%1 %2) is no Quectel")
                       .arg(m_client->manufacturer(), m_client->model()));
        return;
    }
    const QString command =
        mode == 1 ? KIVO_QuectelAt::lockCommand(earfcn) : KIVO_QuectelAt::unlockCommand();
    call.setDelayedReply(true);
    m_client->command(command, s_modemTimeoutS, s_commandTimeoutMs, this,
                      [this, call, mode, earfcn](const QDBusMessage &answer) {
                          answerSticker(call, mode, earfcn, answer);
                      });
}

void KIVO_MMTelephony::answerSticker(const QDBusMessage &call, quint8 mode, quint32 earfcn,
                                     const QDBusMessage &answer)
{
    const QString command =
        mode == 1 ? KIVO_QuectelAt::lockCommand(earfcn) : KIVO_QuectelAt::unlockCommand();
    if (answer.type() == QDBusMessage::ErrorMessage) {
        const QString name = answer.errorName();
        if (name == s_unauthorized) {
            m_debugMode = false;
            replyError(call, s_notSupported,
                       QStringLiteral("cell lock: no, ModemManager runs without --debug"));
        } else if (name == s_noReply ||
                   name == QLatin1String("org.freedesktop.DBus.Error.Timeout")) {
            replyError(call, s_noReply, QStringLiteral("the modem did not answer %1").arg(command));
        } else {
            replyError(call, s_failed,
                       QStringLiteral("%1: %2 %3").arg(command, name, answer.errorMessage()));
        }
        return;
    }
    const QString refused = KIVO_QuectelAt::errorLine(answer.arguments().value(0).toString());
    if (answer.signature() != QLatin1String("s") || !refused.isEmpty()) {
        replyError(call, s_failed, QStringLiteral("%1: %2").arg(command, refused));
        return;
    }
    m_debugMode = true;
    reply(call, {0});
    if (mode == 1) {
        sendStickerEvent(s_scanningForCell, earfcn);
        startWatch(earfcn);
    } else {
        m_watching = false;
        m_deadline.stop();
        m_poll.stop();
        sendStickerEvent(s_stickerStopped, earfcn);
    }
}

void KIVO_MMTelephony::setCellBarAccessMode(const QDBusMessage &call)
{
    const int mode = call.arguments().value(0).toInt();
    if (call.signature() != QLatin1String("i") || mode < 0 || mode > 2) {
        replyError(call, s_invalidArgs, QStringLiteral("SetCellBarAccessMode takes 0, 1 or 2"));
    } else if (mode != 0) {
        replyError(call, s_notSupported,
                   QStringLiteral("cell bar access: no, ModemManager has no control over "
                                  "barred cells"));
    } else {
        reply(call, {0});
    }
}

void KIVO_MMTelephony::getCapabilities(const QDBusMessage &call)
{
    QVariantMap capabilities;
    capabilities.insert(QStringLiteral("backend"), QStringLiteral("modemmanager"));
    capabilities.insert(QStringLiteral("modem"),
                        QString(m_client->manufacturer() + QLatin1Char(' ') + m_client->model()));
    capabilities.insert(QStringLiteral("cellLock"), canLock());
    capabilities.insert(QStringLiteral("cellLockRat"), QStringLiteral("lte"));
    capabilities.insert(QStringLiteral("cellBarAccess"), false);
    capabilities.insert(QStringLiteral("cellInfo"), canReadCell());
    capabilities.insert(QStringLiteral("debugMode"), m_debugMode);
    reply(call, {capabilities});
}

void KIVO_MMTelephony::startWatch(quint32 earfcn)
{
    m_watching = true;
    m_lockedEarfcn = earfcn;
    m_deadline.start(m_lockTimeoutMs);
    m_poll.start(s_pollMs);
    checkServingCell();
}

void KIVO_MMTelephony::checkServingCell()
{
    if (!m_watching || m_checking) {
        return;
    }
    const uint registration = m_client->registrationState();
    if (registration == s_registrationDenied) {
        finishWatch(s_failedUnknown);
        return;
    }
    if (registration != s_registeredHome && registration != s_registeredRoaming) {
        return;
    }
    m_checking = true;
    const uint generation = m_generation;
    if (m_cellInfoCall) {
        m_client->getCellInfo(
            s_commandTimeoutMs, this, [this, generation](const QDBusMessage &answer) {
                m_checking = false;
                if (generation != m_generation) {
                    return;
                }
                if (answer.type() == QDBusMessage::ErrorMessage) {
                    // Not there after all: the serving cell is read through AT from now on.
                    m_cellInfoCall = false;
                    checkServingCell();
                    return;
                }
                for (const QVariantMap &cell : KIVO_MMClient::cellInfo(answer)) {
                    if (cell.value(QStringLiteral("serving")).toBool() &&
                        cell.value(QStringLiteral("cell-type")).toUInt() == s_cellTypeLte &&
                        cell.contains(QStringLiteral("earfcn"))) {
                        servingCellRead(cell.value(QStringLiteral("earfcn")).toUInt(),
                                        cell.value(QStringLiteral("ci")).toString(),
                                        cell.value(QStringLiteral("tac")).toString());
                        return;
                    }
                }
            });
        return;
    }
    m_client->command(
        KIVO_QuectelAt::servingCellCommand(), s_modemTimeoutS, s_commandTimeoutMs, this,
        [this, generation](const QDBusMessage &answer) {
            m_checking = false;
            if (generation != m_generation || answer.type() != QDBusMessage::ReplyMessage) {
                return;
            }
            const auto cell =
                KIVO_QuectelAt::parseServingCell(answer.arguments().value(0).toString());
            if (cell && cell->earfcn) {
                servingCellRead(*cell->earfcn, cell->cellId, cell->tac);
            }
        });
}

void KIVO_MMTelephony::servingCellRead(quint32 earfcn, const QString &cellId, const QString &area)
{
    if (m_watching && earfcn == m_lockedEarfcn) {
        finishWatch(s_modeEntered, cellId, area);
    }
}

void KIVO_MMTelephony::finishWatch(quint32 code, const QString &cellId, const QString &area)
{
    if (!m_watching) {
        return;
    }
    m_watching = false;
    m_deadline.stop();
    m_poll.stop();
    sendStickerEvent(code, m_lockedEarfcn, cellId, area);
}

void KIVO_MMTelephony::sendStickerEvent(quint32 code, quint32 earfcn, const QString &cellId,
                                        const QString &area)
{
    if (!m_owning) {
        return;
    }
    // Laid out as the telephony layer does on the device: code, EARFCN, the cell's id and area
    // code (their low 16 bits; 0 when unknown), little-endian.
    QByteArray data(12, '\0');
    qToLittleEndian<quint32>(code, data.data());
    qToLittleEndian<quint32>(earfcn, data.data() + 4);
    qToLittleEndian<quint16>(low16(cellId), data.data() + 8);
    qToLittleEndian<quint16>(low16(area), data.data() + 10);
    QDBusMessage event = QDBusMessage::createSignal(s_path, s_interface, QStringLiteral("Event"));
    event << QVariant::fromValue(s_stickerEvent) << data;
    m_bus.send(event);
}

void KIVO_MMTelephony::reply(const QDBusMessage &call, const QVariantList &values)
{
    m_bus.send(call.createReply(values));
}

void KIVO_MMTelephony::replyError(const QDBusMessage &call, const QString &name,
                                  const QString &text)
{
    m_bus.send(call.createErrorReply(name, text));
}
