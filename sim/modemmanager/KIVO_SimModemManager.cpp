#include "KIVO_SimModemManager.h"

#include "KIVO_SimLog.h"

#include <QDBusArgument>
#include <QDBusConnectionInterface>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QRegularExpression>

namespace {

const QString s_service = QStringLiteral("org.freedesktop.ModemManager1");
const QString s_root = QStringLiteral("/org/freedesktop/ModemManager1");
const QString s_modemPrefix = QStringLiteral("/org/freedesktop/ModemManager1/Modem/");
const QString s_objectManager = QStringLiteral("org.freedesktop.DBus.ObjectManager");
const QString s_properties = QStringLiteral("org.freedesktop.DBus.Properties");
const QString s_modem = QStringLiteral("org.freedesktop.ModemManager1.Modem");
const QString s_modem3gpp = QStringLiteral("org.freedesktop.ModemManager1.Modem.Modem3gpp");
const QString s_location = QStringLiteral("org.freedesktop.ModemManager1.Modem.Location");
const QString s_unauthorized =
    QStringLiteral("org.freedesktop.ModemManager1.Error.Core.Unauthorized");
const QString s_unsupported =
    QStringLiteral("org.freedesktop.ModemManager1.Error.Core.Unsupported");
const QString s_invalidArgs = QStringLiteral("org.freedesktop.DBus.Error.InvalidArgs");
const QString s_unknownMethod = QStringLiteral("org.freedesktop.DBus.Error.UnknownMethod");
const QString s_mccMnc = QStringLiteral("262,01");

// MMModem3gppRegistrationState and MMModemState values the camping uses.
const uint s_registeredHome = 1;
const uint s_searching = 2;
const int s_stateRegistered = 8;
const int s_stateSearching = 7;
const uint s_source3gppLacCi = 1;
const uint s_cellTypeLte = 5;

using Interfaces = QMap<QString, QVariantMap>;
using ManagedObjects = QMap<QDBusObjectPath, Interfaces>;

QVariant locationMap(const QString &lacCi)
{
    QDBusArgument map;
    map.beginMap(QMetaType::fromType<uint>(), QMetaType::fromType<QDBusVariant>());
    if (!lacCi.isEmpty()) {
        map.beginMapEntry();
        map << s_source3gppLacCi << QDBusVariant(lacCi);
        map.endMapEntry();
    }
    map.endMap();
    return QVariant::fromValue(map);
}

} // namespace

KIVO_SimModemManager::KIVO_SimModemManager(QObject *parent)
    : QDBusVirtualObject(parent), m_bus(QDBusConnection::systemBus())
{
    qDBusRegisterMetaType<Interfaces>();
    qDBusRegisterMetaType<ManagedObjects>();
    m_returnTimer.setSingleShot(true);
    connect(&m_returnTimer, &QTimer::timeout, this, [this] { appear(); });
}

KIVO_SimModemManager::~KIVO_SimModemManager() = default;

bool KIVO_SimModemManager::start(const QDBusConnection &bus, QString *error)
{
    m_bus = bus;
    if (!m_bus.isConnected()) {
        *error = QStringLiteral("no system bus: %1").arg(m_bus.lastError().message());
        return false;
    }
    if (!m_bus.registerVirtualObject(s_root, this, QDBusConnection::SubPath)) {
        *error = QStringLiteral("cannot register %1: %2").arg(s_root, m_bus.lastError().message());
        return false;
    }
    return true;
}

bool KIVO_SimModemManager::appear()
{
    m_returnTimer.stop();
    if (m_present) {
        return true;
    }
    if (!m_bus.registerService(s_service)) {
        simLog(QStringLiteral("cannot take %1: %2").arg(s_service, m_bus.lastError().message()));
        return false;
    }
    m_present = true;
    simLog(QStringLiteral("took %1 on %2 with %3 modem(s)")
               .arg(s_service, m_bus.baseService())
               .arg(m_modems.size()));
    return true;
}

void KIVO_SimModemManager::vanish(int returnAfterMs)
{
    if (m_present) {
        m_bus.unregisterService(s_service);
        m_present = false;
        simLog(QStringLiteral("gave up %1").arg(s_service));
    }
    // A daemon that starts again knows no earlier client's settings.
    for (Modem &modem : m_modems) {
        modem.signalsLocation = false;
    }
    if (returnAfterMs > 0) {
        m_returnTimer.start(returnAfterMs);
    }
}

QString KIVO_SimModemManager::addModem(const QString &manufacturer, const QString &model,
                                       const QList<uint> &bands)
{
    const QString path = s_modemPrefix + QString::number(m_nextModem++);
    Modem modem;
    modem.manufacturer = manufacturer;
    modem.model = model;
    modem.bands = bands;
    m_modems.insert(path, modem);
    QDBusMessage added =
        QDBusMessage::createSignal(s_root, s_objectManager, QStringLiteral("InterfacesAdded"));
    added << QVariant::fromValue(QDBusObjectPath(path)) << QVariant::fromValue(interfaces(modem));
    send(added);
    return path;
}

bool KIVO_SimModemManager::removeModem(const QString &path)
{
    if (!m_modems.contains(path)) {
        return false;
    }
    const QStringList names = interfaces(m_modems.value(path)).keys();
    m_modems.remove(path);
    QDBusMessage removed =
        QDBusMessage::createSignal(s_root, s_objectManager, QStringLiteral("InterfacesRemoved"));
    removed << QVariant::fromValue(QDBusObjectPath(path)) << names;
    send(removed);
    return true;
}

bool KIVO_SimModemManager::hasModem(const QString &path) const
{
    return m_modems.contains(path);
}

void KIVO_SimModemManager::setState(const QString &path, int state)
{
    Modem &modem = m_modems[path];
    const int old = modem.state;
    modem.state = state;
    QDBusMessage signal = QDBusMessage::createSignal(path, s_modem, QStringLiteral("StateChanged"));
    signal << old << state << 0u;
    send(signal);
    changed(path, s_modem, {{QStringLiteral("State"), state}});
}

void KIVO_SimModemManager::setRegistration(const QString &path, uint registration)
{
    Modem &modem = m_modems[path];
    const QString before = location(modem);
    modem.registration = registration;
    changed(path, s_modem3gpp, {{QStringLiteral("RegistrationState"), registration}});
    locationMaybeChanged(path, before);
}

void KIVO_SimModemManager::setCells(const QString &path, const QList<Cell> &cells)
{
    Modem &modem = m_modems[path];
    const QString before = location(modem);
    modem.cells = cells;
    modem.serving = -1;
    for (int i = 0; i < cells.size() && modem.serving < 0; ++i) {
        if (!modem.lock || cells.at(i).earfcn == *modem.lock) {
            modem.serving = i;
        }
    }
    locationMaybeChanged(path, before);
}

void KIVO_SimModemManager::setCellInfoSupported(const QString &path, bool supported)
{
    m_modems[path].cellInfo = supported;
}

void KIVO_SimModemManager::setAtAnswer(const QString &path, const QString &command,
                                       const AtAnswer &answer)
{
    m_modems[path].answers.insert(command, answer);
}

void KIVO_SimModemManager::setDebugMode(bool on)
{
    m_debugMode = on;
}

void KIVO_SimModemManager::setCampDelay(int ms)
{
    m_campDelayMs = ms;
}

QStringList KIVO_SimModemManager::commands(const QString &path) const
{
    return m_modems.value(path).commands;
}

QString KIVO_SimModemManager::status() const
{
    QStringList lines;
    lines << QStringLiteral("%1 %2; debug mode %3")
                 .arg(s_service, m_present ? QStringLiteral("owned") : QStringLiteral("not owned"),
                      m_debugMode ? QStringLiteral("on") : QStringLiteral("off"));
    for (auto it = m_modems.cbegin(); it != m_modems.cend(); ++it) {
        const Modem &modem = it.value();
        lines << QStringLiteral("%1: %2 %3, state %4, registration %5, lock %6, location \"%7\", "
                                "%8 cell(s), GetCellInfo %9")
                     .arg(it.key(), modem.manufacturer, modem.model)
                     .arg(modem.state)
                     .arg(modem.registration)
                     .arg(modem.lock ? QString::number(*modem.lock) : QStringLiteral("none"))
                     .arg(location(modem))
                     .arg(modem.cells.size())
                     .arg(modem.cellInfo ? QStringLiteral("yes") : QStringLiteral("no"));
    }
    return lines.join(QLatin1Char('\n'));
}

bool KIVO_SimModemManager::handleMessage(const QDBusMessage &message, const QDBusConnection &)
{
    if (message.type() != QDBusMessage::MethodCallMessage) {
        return false;
    }
    const QString path = message.path();
    simLog(QStringLiteral("<- %1 %2.%3(%4) on %5")
               .arg(message.service(), message.interface(), message.member(),
                    simDescribe(message.arguments()), path));
    QDBusMessage answer;
    if (path == s_root) {
        answer = answerManager(message);
    } else if (m_modems.contains(path)) {
        answer = answerModem(m_modems[path], path, message);
    } else {
        return false;
    }
    if (answer.type() != QDBusMessage::InvalidMessage) {
        send(answer);
    }
    return true;
}

QString KIVO_SimModemManager::introspect(const QString &path) const
{
    if (path == s_root) {
        return QStringLiteral("  <interface name=\"%1\"><method name=\"GetManagedObjects\">"
                              "<arg type=\"a{oa{sa{sv}}}\" direction=\"out\"/></method>"
                              "</interface>\n")
            .arg(s_objectManager);
    }
    return QString();
}

QDBusMessage KIVO_SimModemManager::answerManager(const QDBusMessage &call)
{
    if (call.member() != QLatin1String("GetManagedObjects")) {
        return call.createErrorReply(s_unknownMethod, call.member());
    }
    ManagedObjects objects;
    for (auto it = m_modems.cbegin(); it != m_modems.cend(); ++it) {
        objects.insert(QDBusObjectPath(it.key()), interfaces(it.value()));
    }
    return call.createReply(QVariant::fromValue(objects));
}

QDBusMessage KIVO_SimModemManager::answerModem(Modem &modem, const QString &path,
                                               const QDBusMessage &call)
{
    const QString member = call.member();
    const QVariantList args = call.arguments();
    if (call.interface() == s_properties && member == QLatin1String("GetAll") &&
        call.signature() == QLatin1String("s")) {
        return call.createReply(properties(modem, args.at(0).toString()));
    }
    if (call.interface() == s_properties && member == QLatin1String("Get") &&
        call.signature() == QLatin1String("ss")) {
        const QVariantMap all = properties(modem, args.at(0).toString());
        if (!all.contains(args.at(1).toString())) {
            return call.createErrorReply(s_invalidArgs, args.at(1).toString());
        }
        return call.createReply(
            QVariant::fromValue(QDBusVariant(all.value(args.at(1).toString()))));
    }
    if (member == QLatin1String("Command") && call.signature() == QLatin1String("su")) {
        return answerCommand(modem, path, call);
    }
    if (member == QLatin1String("GetCellInfo") && call.signature().isEmpty()) {
        return answerCellInfo(modem, call);
    }
    if (member == QLatin1String("Setup") && call.signature() == QLatin1String("ub")) {
        const QString before = location(modem);
        modem.locationEnabled = args.at(0).toUInt();
        modem.signalsLocation = args.at(1).toBool();
        changed(path, s_location,
                {{QStringLiteral("Enabled"), modem.locationEnabled},
                 {QStringLiteral("SignalsLocation"), modem.signalsLocation}});
        locationMaybeChanged(path, QStringLiteral("?") + before);
        return call.createReply();
    }
    return call.createErrorReply(
        s_unknownMethod,
        QStringLiteral("%1.%2(%3)").arg(call.interface(), member, call.signature()));
}

QDBusMessage KIVO_SimModemManager::answerCommand(Modem &modem, const QString &path,
                                                 const QDBusMessage &call)
{
    const QString command = call.arguments().at(0).toString();
    modem.commands.append(command);
    if (!m_debugMode) {
        return call.createErrorReply(s_unauthorized,
                                     QStringLiteral("AT commands need the daemon's debug mode"));
    }
    if (modem.answers.contains(command)) {
        const AtAnswer answer = modem.answers.value(command);
        const QDBusMessage reply = call.createReply(answer.text);
        if (answer.delayMs > 0) {
            call.setDelayedReply(true);
            QTimer::singleShot(answer.delayMs, this, [this, reply] { send(reply); });
            return QDBusMessage();
        }
        return reply;
    }
    return call.createReply(runAt(modem, path, command));
}

QString KIVO_SimModemManager::runAt(Modem &modem, const QString &path, const QString &command)
{
    static const QRegularExpression lock(
        QStringLiteral("^AT\\+QNWLOCK=\"common/lte\",1,(\\d+),0$"));
    if (!modem.manufacturer.contains(QLatin1String("Quectel"), Qt::CaseInsensitive)) {
        return command == QLatin1String("AT") ? QString() : QStringLiteral("ERROR");
    }
    const QRegularExpressionMatch locked = lock.match(command);
    if (locked.hasMatch()) {
        modem.lock = locked.captured(1).toUInt();
        // The modem leaves its cell and looks for one on the locked EARFCN.
        const QString before = location(modem);
        modem.serving = -1;
        changed(path, s_modem3gpp, {{QStringLiteral("RegistrationState"), s_searching}});
        modem.registration = s_searching;
        locationMaybeChanged(path, before);
        QTimer::singleShot(m_campDelayMs, this, [this, path] { camp(path); });
        return QString();
    }
    if (command == QLatin1String("AT+QNWLOCK=\"common/lte\",0")) {
        modem.lock.reset();
        QTimer::singleShot(m_campDelayMs, this, [this, path] { camp(path); });
        return QString();
    }
    if (command == QLatin1String("AT+QNWLOCK=\"common/lte\"")) {
        return modem.lock ? QStringLiteral("+QNWLOCK: \"common/lte\",1,%1,0").arg(*modem.lock)
                          : QStringLiteral("+QNWLOCK: \"common/lte\",0");
    }
    if (command == QLatin1String("AT+QENG=\"servingcell\"")) {
        if (modem.serving < 0 || modem.registration != s_registeredHome) {
            return QStringLiteral("+QENG: \"servingcell\",\"SEARCH\"");
        }
        const Cell &cell = modem.cells.at(modem.serving);
        return QStringLiteral("+QENG: \"servingcell\",\"NOCONN\",\"LTE\",\"FDD\",262,01,%1,%2,%3,"
                              "3,5,5,%4,-95,-10,-65,12,-")
            .arg(cell.cellId)
            .arg(cell.physicalCellId)
            .arg(cell.earfcn)
            .arg(cell.tac);
    }
    return command == QLatin1String("AT") ? QString() : QStringLiteral("ERROR");
}

QDBusMessage KIVO_SimModemManager::answerCellInfo(const Modem &modem, const QDBusMessage &call)
{
    if (!modem.cellInfo) {
        return call.createErrorReply(s_unsupported, QStringLiteral("cell info not supported"));
    }
    QList<QVariantMap> cells;
    for (int i = 0; i < modem.cells.size(); ++i) {
        const Cell &cell = modem.cells.at(i);
        cells.append(
            {{QStringLiteral("cell-type"), s_cellTypeLte},
             {QStringLiteral("serving"),
              i == modem.serving && modem.registration == s_registeredHome},
             {QStringLiteral("operator-id"), QStringLiteral("26201")},
             {QStringLiteral("tac"), cell.tac},
             {QStringLiteral("ci"), cell.cellId},
             {QStringLiteral("physical-ci"), QString::number(cell.physicalCellId, 16).toUpper()},
             {QStringLiteral("earfcn"), cell.earfcn}});
    }
    QDBusArgument array;
    array.beginArray(QMetaType::fromType<QVariantMap>());
    for (const QVariantMap &cell : cells) {
        array << cell;
    }
    array.endArray();
    return call.createReply(QVariant::fromValue(array));
}

QVariantMap KIVO_SimModemManager::properties(const Modem &modem, const QString &interface) const
{
    if (interface == s_modem) {
        return {{QStringLiteral("Manufacturer"), modem.manufacturer},
                {QStringLiteral("Model"), modem.model},
                {QStringLiteral("State"), modem.state},
                {QStringLiteral("SupportedBands"), QVariant::fromValue(modem.bands)}};
    }
    if (interface == s_modem3gpp) {
        return {{QStringLiteral("RegistrationState"), modem.registration},
                {QStringLiteral("OperatorCode"), QStringLiteral("26201")}};
    }
    if (interface == s_location) {
        return {{QStringLiteral("Capabilities"), s_source3gppLacCi},
                {QStringLiteral("Enabled"), modem.locationEnabled},
                {QStringLiteral("SignalsLocation"), modem.signalsLocation},
                {QStringLiteral("Location"),
                 locationMap(modem.signalsLocation ? location(modem) : QString())}};
    }
    return {};
}

QMap<QString, QVariantMap> KIVO_SimModemManager::interfaces(const Modem &modem) const
{
    return {{s_modem, properties(modem, s_modem)},
            {s_modem3gpp, properties(modem, s_modem3gpp)},
            {s_location, properties(modem, s_location)}};
}

QString KIVO_SimModemManager::location(const Modem &modem) const
{
    if (modem.serving < 0 || modem.registration != s_registeredHome ||
        !(modem.locationEnabled & s_source3gppLacCi)) {
        return QString();
    }
    const Cell &cell = modem.cells.at(modem.serving);
    return QStringLiteral("%1,0,%2,%3").arg(s_mccMnc, cell.cellId, cell.tac);
}

void KIVO_SimModemManager::camp(const QString &path)
{
    if (!m_modems.contains(path)) {
        return;
    }
    Modem &modem = m_modems[path];
    const QString before = location(modem);
    modem.serving = -1;
    for (int i = 0; i < modem.cells.size() && modem.serving < 0; ++i) {
        if (!modem.lock || modem.cells.at(i).earfcn == *modem.lock) {
            modem.serving = i;
        }
    }
    const uint registration = modem.serving >= 0 ? s_registeredHome : s_searching;
    if (registration != modem.registration) {
        modem.registration = registration;
        changed(path, s_modem3gpp, {{QStringLiteral("RegistrationState"), registration}});
    }
    const int state = modem.serving >= 0 ? s_stateRegistered : s_stateSearching;
    if (state != modem.state && modem.state > 0) {
        setState(path, state);
    }
    locationMaybeChanged(path, before);
}

void KIVO_SimModemManager::changed(const QString &path, const QString &interface,
                                   const QVariantMap &values)
{
    QDBusMessage signal =
        QDBusMessage::createSignal(path, s_properties, QStringLiteral("PropertiesChanged"));
    signal << interface << values << QStringList();
    send(signal);
}

void KIVO_SimModemManager::locationMaybeChanged(const QString &path, const QString &before)
{
    const Modem &modem = m_modems[path];
    const QString now = location(modem);
    if (now != before && modem.signalsLocation) {
        changed(path, s_location, {{QStringLiteral("Location"), locationMap(now)}});
    }
}

void KIVO_SimModemManager::send(const QDBusMessage &message)
{
    if (message.type() == QDBusMessage::SignalMessage) {
        if (!m_present) {
            return;
        }
        simLog(QStringLiteral("=> %1.%2(%3) on %4")
                   .arg(message.interface(), message.member(), simDescribe(message.arguments()),
                        message.path()));
    } else {
        simLog(QStringLiteral("-> %1").arg(message.type() == QDBusMessage::ErrorMessage
                                               ? message.errorName() + QLatin1Char(' ') +
                                                     message.errorMessage()
                                               : simDescribe(message.arguments())));
    }
    m_bus.send(message);
}
