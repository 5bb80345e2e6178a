#include "KIVO_SimTelephony.h"

#include "KIVO_SimLog.h"

#include <QDBusArgument>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QStringList>
#include <QtEndian>

namespace {

const QString s_serviceName = QStringLiteral("org.kivo.Telephony");
const QString s_path = QStringLiteral("/org/kivo/Telephony");
const QString s_interface = QStringLiteral("org.kivo.Telephony");
const QString s_invalidArgs = QStringLiteral("org.freedesktop.DBus.Error.InvalidArgs");
const QString s_allMethods = QStringLiteral("all");

const QStringList s_methods = {QStringLiteral("Register"), QStringLiteral("SetCellStickerMode"),
                               QStringLiteral("CheckArfcn"),
                               QStringLiteral("SetCellBarAccessMode")};

const quint16 s_stickerEvent = 0x0F03;
const int s_stickerRequestSize = 5;

// Sticker result codes of the telephony layer.
const quint32 s_failedUnknown = 4;
const quint32 s_stickerStopped = 7;
const quint32 s_scanningForCell = 8;
const quint32 s_arfcnInNoBand = 0x100;
const quint32 s_arfcnBandNotInUse = 0x200;

// CheckArfcn verdicts.
const quint8 s_arfcnAcceptable = 0;
const quint8 s_arfcnInNoGsmBand = 1;
const quint8 s_arfcnOfOtherBand = 2;

QList<quint16> eventTypes(const QVariant &argument)
{
    QList<quint16> types;
    const QDBusArgument array = argument.value<QDBusArgument>();
    array.beginArray();
    while (!array.atEnd()) {
        ushort type = 0;
        array >> type;
        types.append(type);
    }
    array.endArray();
    return types;
}

QString barModeName(int mode)
{
    switch (mode) {
    case 0:
        return QStringLiteral("Normal");
    case 1:
        return QStringLiteral("Inverted");
    case 2:
        return QStringLiteral("Ignored");
    default:
        return QStringLiteral("?");
    }
}

} // namespace

KIVO_SimTelephony::KIVO_SimTelephony(const KIVO_SimCellList &cells, const QString &cellsPath,
                                     const KIVO_GsmBands &bands, QObject *parent)
    : QObject(parent), m_bus(QDBusConnection::sessionBus()),
      m_service(new KIVO_SimBusObject(s_interface, this)), m_cells(cells), m_cellsPath(cellsPath),
      m_bands(bands)
{
    m_outcomeTimer.setSingleShot(true);
    connect(&m_outcomeTimer, &QTimer::timeout, this, [this] { sendNextOutcome(); });
    m_returnTimer.setSingleShot(true);
    connect(&m_returnTimer, &QTimer::timeout, this, [this] { appear(); });
    addMethods();
}

KIVO_SimTelephony::~KIVO_SimTelephony() = default;

void KIVO_SimTelephony::addMethods()
{
    m_service->addMethod(QStringLiteral("Register"), QStringLiteral("aq event_types"),
                         QStringLiteral("i result"),
                         [this](const QDBusMessage &call) { return registerClient(call); });
    m_service->addMethod(QStringLiteral("SetCellStickerMode"), QStringLiteral("ay request"),
                         QStringLiteral("i status"),
                         [this](const QDBusMessage &call) { return setCellStickerMode(call); });
    m_service->addMethod(QStringLiteral("CheckArfcn"), QStringLiteral("u arfcn"),
                         QStringLiteral("y verdict"),
                         [this](const QDBusMessage &call) { return checkArfcn(call); });
    m_service->addMethod(QStringLiteral("SetCellBarAccessMode"), QStringLiteral("i mode"),
                         QStringLiteral("i status"),
                         [this](const QDBusMessage &call) { return setCellBarAccessMode(call); });
    m_service->addMethod(QStringLiteral("GetCapabilities"), QString(),
                         QStringLiteral("a{sv} capabilities"), [](const QDBusMessage &call) {
                             // The simulated radio layer does all KIVO asks of it, on GSM.
                             const QVariantMap capabilities{
                                 {QStringLiteral("backend"), QStringLiteral("simulator")},
                                 {QStringLiteral("modem"), QStringLiteral("kivo-sim-telephony")},
                                 {QStringLiteral("cellLock"), true},
                                 {QStringLiteral("cellLockRat"), QStringLiteral("gsm")},
                                 {QStringLiteral("cellBarAccess"), true},
                                 {QStringLiteral("cellInfo"), true},
                                 {QStringLiteral("debugMode"), false}};
                             return KIVO_SimBusObject::reply(call, {capabilities});
                         });
    m_service->addSignal(QStringLiteral("Event"), QStringLiteral("q type, ay raw_data"));
}

bool KIVO_SimTelephony::start(const QDBusConnection &bus, QString *error)
{
    m_bus = bus;
    if (!m_bus.isConnected()) {
        *error = QStringLiteral("no session bus: %1").arg(m_bus.lastError().message());
        return false;
    }
    if (!m_bus.registerVirtualObject(s_path, m_service)) {
        *error = QStringLiteral("cannot register %1: %2").arg(s_path, m_bus.lastError().message());
        return false;
    }
    return true;
}

bool KIVO_SimTelephony::appear()
{
    m_returnTimer.stop();
    if (m_present) {
        return true;
    }
    if (!m_bus.registerService(s_serviceName)) {
        simLog(QStringLiteral("cannot take %1: %2 (held by %3)")
                   .arg(s_serviceName, m_bus.lastError().message(),
                        m_bus.interface()->serviceOwner(s_serviceName).value()));
        return false;
    }
    m_present = true;
    simLog(QStringLiteral("took %1 on %2").arg(s_serviceName, m_bus.baseService()));
    return true;
}

void KIVO_SimTelephony::vanish(int returnAfterMs)
{
    if (m_present) {
        m_bus.unregisterService(s_serviceName);
        m_present = false;
        simLog(QStringLiteral("gave up %1; %2 registered client(s) and %3 pending outcome(s) "
                              "forgotten")
                   .arg(s_serviceName)
                   .arg(m_clients.size())
                   .arg(m_outcomes.size()));
    }
    m_clients.clear();
    m_outcomes.clear();
    m_outcomeTimer.stop();
    if (returnAfterMs > 0) {
        m_returnTimer.start(returnAfterMs);
        simLog(QStringLiteral("taking %1 back in %2 ms").arg(s_serviceName).arg(returnAfterMs));
    } else {
        m_returnTimer.stop();
    }
}

bool KIVO_SimTelephony::isPresent() const
{
    return m_present;
}

bool KIVO_SimTelephony::isMethodName(const QString &method)
{
    return method == s_allMethods || s_methods.contains(method);
}

void KIVO_SimTelephony::forceStatus(const QString &method, int status, uint count)
{
    Forced forced;
    forced.kind = Forced::Kind::Status;
    forced.status = status;
    forced.remaining = count;
    m_forced.insert(method, forced);
}

void KIVO_SimTelephony::forceError(const QString &method, const QString &errorName, uint count)
{
    Forced forced;
    forced.kind = Forced::Kind::Error;
    forced.errorName = errorName;
    forced.remaining = count;
    m_forced.insert(method, forced);
}

void KIVO_SimTelephony::forceWrongSignature(const QString &method, uint count)
{
    Forced forced;
    forced.kind = Forced::Kind::WrongSignature;
    forced.remaining = count;
    m_forced.insert(method, forced);
}

void KIVO_SimTelephony::clearForced()
{
    m_forced.clear();
    m_forcedEvent.reset();
    m_forcedEventsLeft = 0;
}

void KIVO_SimTelephony::forceEvent(quint32 code, uint count)
{
    m_forcedEvent = code;
    m_forcedEventsLeft = count;
}

void KIVO_SimTelephony::injectEvent(quint16 type, const QByteArray &data)
{
    sendEvent(type, data);
}

void KIVO_SimTelephony::injectStickerResult(quint32 code)
{
    quint32 arfcn = 0;
    if (m_lastStickerRequest.size() == s_stickerRequestSize) {
        arfcn = qFromLittleEndian<quint32>(m_lastStickerRequest.constData() + 1);
    }
    sendEvent(s_stickerEvent, stickerEventData(code, arfcn));
}

void KIVO_SimTelephony::setReplyDelay(const QString &method, int ms)
{
    m_service->setReplyDelay(method == s_allMethods ? QString() : method, ms);
}

void KIVO_SimTelephony::setOutcomeDelay(int ms)
{
    m_outcomeDelay = ms;
}

void KIVO_SimTelephony::setScanning(bool on)
{
    m_scanning = on;
}

void KIVO_SimTelephony::setBands(const KIVO_GsmBands &bands)
{
    m_bands = bands;
}

void KIVO_SimTelephony::setDelivery(Delivery delivery)
{
    m_delivery = delivery;
}

void KIVO_SimTelephony::setCellBarAccessMode(int mode)
{
    m_cellBarMode = mode;
}

int KIVO_SimTelephony::cellBarAccessMode() const
{
    return m_cellBarMode;
}

QByteArray KIVO_SimTelephony::lastStickerRequest() const
{
    return m_lastStickerRequest;
}

uint KIVO_SimTelephony::callCount(const QString &method) const
{
    if (method == s_allMethods) {
        uint total = 0;
        for (uint count : m_calls) {
            total += count;
        }
        return total;
    }
    return m_calls.value(method);
}

QString KIVO_SimTelephony::status() const
{
    QStringList lines;
    lines << QStringLiteral("%1: %2 (this process is %3)")
                 .arg(s_serviceName,
                      m_present ? QStringLiteral("owned") : QStringLiteral("not owned"),
                      m_bus.baseService());
    lines << QStringLiteral("bands: %1").arg(m_bands.names());
    lines << QStringLiteral("cells: %1 from %2").arg(m_cells.cells().size()).arg(m_cellsPath);
    lines << QStringLiteral("cell bar access mode: %1 (%2)")
                 .arg(m_cellBarMode)
                 .arg(barModeName(m_cellBarMode));
    lines << QStringLiteral("last sticker request: %1").arg(simHex(m_lastStickerRequest));
    lines << QStringLiteral("outcome delay: %1 ms; scanning first: %2; events: %3")
                 .arg(m_outcomeDelay)
                 .arg(m_scanning ? QStringLiteral("yes") : QStringLiteral("no"))
                 .arg(m_delivery == Delivery::Broadcast ? QStringLiteral("broadcast")
                                                        : QStringLiteral("to registered clients"));
    lines << QStringLiteral("pending outcomes: %1").arg(m_outcomes.size());
    for (auto it = m_clients.cbegin(); it != m_clients.cend(); ++it) {
        QStringList types;
        for (quint16 type : it.value()) {
            types << QStringLiteral("0x%1").arg(type, 4, 16, QLatin1Char('0'));
        }
        types.sort();
        lines
            << QStringLiteral("registered: %1 for %2").arg(it.key(), types.join(QLatin1Char(' ')));
    }
    for (auto it = m_forced.cbegin(); it != m_forced.cend(); ++it) {
        const Forced &forced = it.value();
        QString what;
        switch (forced.kind) {
        case Forced::Kind::Status:
            what = QStringLiteral("status %1").arg(forced.status);
            break;
        case Forced::Kind::Error:
            what = QStringLiteral("error %1").arg(forced.errorName);
            break;
        case Forced::Kind::WrongSignature:
            what = QStringLiteral("a reply of the wrong signature");
            break;
        }
        lines << QStringLiteral("forced for %1: %2, %3")
                     .arg(it.key(), what,
                          forced.remaining ? QStringLiteral("%1 more call(s)").arg(forced.remaining)
                                           : QStringLiteral("until cleared"));
    }
    if (m_forcedEvent) {
        lines << QStringLiteral("forced sticker result: 0x%1, %2")
                     .arg(*m_forcedEvent, 0, 16)
                     .arg(m_forcedEventsLeft ? QStringLiteral("%1 more").arg(m_forcedEventsLeft)
                                             : QStringLiteral("until cleared"));
    }
    QStringList calls;
    for (const QString &method : s_methods) {
        calls << QStringLiteral("%1 %2").arg(method).arg(m_calls.value(method));
    }
    lines << QStringLiteral("calls: %1").arg(calls.join(QStringLiteral(", ")));
    return lines.join(QLatin1Char('\n'));
}

KIVO_SimTelephony::ForcedAnswer KIVO_SimTelephony::takeForced(const QDBusMessage &call)
{
    QString key = call.member();
    if (!m_forced.contains(key)) {
        key = s_allMethods;
        if (!m_forced.contains(key)) {
            return {};
        }
    }
    const Forced forced = m_forced.value(key);
    if (forced.remaining == 1) {
        m_forced.remove(key);
    } else if (forced.remaining > 1) {
        --m_forced[key].remaining;
    }
    ForcedAnswer answer;
    switch (forced.kind) {
    case Forced::Kind::Error:
        simLog(
            QStringLiteral("   forced: %1 answers error %2").arg(call.member(), forced.errorName));
        answer.reply = KIVO_SimBusObject::error(
            call, forced.errorName, QStringLiteral("forced by the simulator's control"));
        break;
    case Forced::Kind::WrongSignature:
        simLog(QStringLiteral("   forced: %1 answers a string").arg(call.member()));
        answer.reply = KIVO_SimBusObject::reply(call, {QStringLiteral("forced wrong signature")});
        break;
    case Forced::Kind::Status:
        simLog(QStringLiteral("   forced: %1 answers %2").arg(call.member()).arg(forced.status));
        answer.status = forced.status;
        break;
    }
    return answer;
}

KIVO_SimReply KIVO_SimTelephony::registerClient(const QDBusMessage &call)
{
    ++m_calls[call.member()];
    const ForcedAnswer forced = takeForced(call);
    if (forced.reply) {
        return *forced.reply;
    }
    const int result = forced.status ? *forced.status : m_nextHandle++;
    if (result >= 0) {
        const QList<quint16> types = eventTypes(call.arguments().at(0));
        m_clients.insert(call.service(), QSet<quint16>(types.cbegin(), types.cend()));
    }
    return KIVO_SimBusObject::reply(call, {qint32(result)});
}

KIVO_SimReply KIVO_SimTelephony::setCellStickerMode(const QDBusMessage &call)
{
    ++m_calls[call.member()];
    const QByteArray request = call.arguments().at(0).toByteArray();
    m_lastStickerRequest = request;
    const ForcedAnswer forced = takeForced(call);
    if (forced.reply) {
        return *forced.reply;
    }
    const bool wellFormed =
        request.size() == s_stickerRequestSize && (request.at(0) == 0 || request.at(0) == 1);
    if (!forced.status) {
        if (request.size() != s_stickerRequestSize) {
            return KIVO_SimBusObject::error(call, s_invalidArgs,
                                            QStringLiteral("the request is %1 bytes, not %2")
                                                .arg(request.size())
                                                .arg(s_stickerRequestSize));
        }
        if (!wellFormed) {
            return KIVO_SimBusObject::error(
                call, s_invalidArgs,
                QStringLiteral("mode %1 is neither 0 nor 1").arg(quint8(request.at(0))));
        }
    }
    const int status = forced.status.value_or(0);
    if (status != 0 || !wellFormed) {
        return KIVO_SimBusObject::reply(call, {qint32(status)});
    }
    const quint8 mode = quint8(request.at(0));
    const quint32 arfcn = qFromLittleEndian<quint32>(request.constData() + 1);
    // The outcome follows the accepted request, never overtakes it.
    return KIVO_SimBusObject::reply(call, {qint32(0)}, [this, mode, arfcn] {
        QList<Outcome> outcomes;
        for (quint32 code : stickerResults(mode, arfcn)) {
            outcomes.append(Outcome{s_stickerEvent, stickerEventData(code, arfcn)});
        }
        queueOutcomes(outcomes);
    });
}

KIVO_SimReply KIVO_SimTelephony::checkArfcn(const QDBusMessage &call)
{
    ++m_calls[call.member()];
    const quint32 arfcn = call.arguments().at(0).toUInt();
    const ForcedAnswer forced = takeForced(call);
    if (forced.reply) {
        return *forced.reply;
    }
    quint8 verdict = s_arfcnAcceptable;
    if (forced.status) {
        verdict = quint8(*forced.status);
    } else {
        switch (m_bands.fit(arfcn)) {
        case KIVO_GsmBands::Fit::InBandSet:
            verdict = s_arfcnAcceptable;
            break;
        case KIVO_GsmBands::Fit::OtherGsmBand:
            verdict = s_arfcnOfOtherBand;
            break;
        case KIVO_GsmBands::Fit::NoGsmBand:
            verdict = s_arfcnInNoGsmBand;
            break;
        }
        const QStringList owners = m_bands.bandsOf(arfcn);
        simLog(QStringLiteral("   ARFCN %1: %2; in use: %3")
                   .arg(arfcn)
                   .arg(owners.isEmpty() ? QStringLiteral("in no GSM band")
                                         : owners.join(QLatin1Char(' ')))
                   .arg(m_bands.names()));
    }
    return KIVO_SimBusObject::reply(call, {QVariant::fromValue(verdict)});
}

KIVO_SimReply KIVO_SimTelephony::setCellBarAccessMode(const QDBusMessage &call)
{
    ++m_calls[call.member()];
    const int mode = call.arguments().at(0).toInt();
    const ForcedAnswer forced = takeForced(call);
    if (forced.reply) {
        return *forced.reply;
    }
    const bool known = mode >= 0 && mode <= 2;
    if (!forced.status && !known) {
        return KIVO_SimBusObject::error(call, s_invalidArgs,
                                        QStringLiteral("mode %1 is not 0, 1 or 2").arg(mode));
    }
    const int status = forced.status.value_or(0);
    if (status == 0 && known) {
        m_cellBarMode = mode;
        simLog(
            QStringLiteral("   cell bar access mode now %1 (%2)").arg(mode).arg(barModeName(mode)));
    }
    return KIVO_SimBusObject::reply(call, {qint32(status)});
}

QList<quint32> KIVO_SimTelephony::stickerResults(quint8 mode, quint32 arfcn)
{
    if (m_forcedEvent) {
        const quint32 code = *m_forcedEvent;
        if (m_forcedEventsLeft == 1) {
            m_forcedEvent.reset();
            m_forcedEventsLeft = 0;
        } else if (m_forcedEventsLeft > 1) {
            --m_forcedEventsLeft;
        }
        return {code};
    }
    if (mode == 0) {
        return {s_stickerStopped};
    }
    switch (m_bands.fit(arfcn)) {
    case KIVO_GsmBands::Fit::NoGsmBand:
        return {s_arfcnInNoBand};
    case KIVO_GsmBands::Fit::OtherGsmBand:
        return {s_arfcnBandNotInUse};
    case KIVO_GsmBands::Fit::InBandSet:
        break;
    }
    const KIVO_SimCellList::Cell *cell = m_cells.find(arfcn);
    const quint32 result = cell ? cell->stickerResult() : s_failedUnknown;
    if (m_scanning) {
        return {s_scanningForCell, result};
    }
    return {result};
}

QByteArray KIVO_SimTelephony::stickerEventData(quint32 code, quint32 arfcn) const
{
    // Result code, ARFCN, cell id and LAC, little-endian as the device lays them out; the cell
    // fields are 0 when no cell is heard there or the ARFCN was refused.
    const KIVO_SimCellList::Cell *cell = m_cells.find(arfcn);
    const bool refused = code == s_arfcnInNoBand || code == s_arfcnBandNotInUse;
    QByteArray data(12, '\0');
    qToLittleEndian<quint32>(code, data.data());
    qToLittleEndian<quint32>(arfcn, data.data() + 4);
    if (cell && !refused) {
        qToLittleEndian<quint16>(cell->cellId, data.data() + 8);
        qToLittleEndian<quint16>(cell->lac, data.data() + 10);
    }
    return data;
}

void KIVO_SimTelephony::queueOutcomes(const QList<Outcome> &outcomes)
{
    m_outcomes.append(outcomes);
    if (!m_outcomeTimer.isActive() && !m_outcomes.isEmpty()) {
        m_outcomeTimer.start(m_outcomeDelay);
    }
}

void KIVO_SimTelephony::sendNextOutcome()
{
    if (m_outcomes.isEmpty()) {
        return;
    }
    const Outcome outcome = m_outcomes.takeFirst();
    sendEvent(outcome.type, outcome.data);
    if (!m_outcomes.isEmpty()) {
        m_outcomeTimer.start(m_outcomeDelay);
    }
}

void KIVO_SimTelephony::sendEvent(quint16 type, const QByteArray &data)
{
    const QVariantList arguments = {QVariant::fromValue(type), data};
    QString to;
    if (m_delivery == Delivery::Broadcast) {
        QDBusMessage signal =
            QDBusMessage::createSignal(s_path, s_interface, QStringLiteral("Event"));
        signal.setArguments(arguments);
        m_bus.send(signal);
        to = QStringLiteral("broadcast");
    } else {
        QStringList receivers;
        for (auto it = m_clients.cbegin(); it != m_clients.cend(); ++it) {
            if (!it.value().contains(type)) {
                continue;
            }
            QDBusMessage signal = QDBusMessage::createTargetedSignal(it.key(), s_path, s_interface,
                                                                     QStringLiteral("Event"));
            signal.setArguments(arguments);
            m_bus.send(signal);
            receivers << it.key();
        }
        to = receivers.isEmpty() ? QStringLiteral("to nobody (no client registered for it)")
                                 : QStringLiteral("to ") + receivers.join(QLatin1Char(' '));
    }
    if (!m_present) {
        to += QStringLiteral(", while %1 is not owned").arg(s_serviceName);
    }
    simLog(QStringLiteral("=> Event(%1) %2").arg(simDescribe(arguments), to));
}
