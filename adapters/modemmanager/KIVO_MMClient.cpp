#include "KIVO_MMClient.h"

#include <QCoreApplication>
#include <QDBusArgument>
#include <QDBusConnectionInterface>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusServiceWatcher>
#include <QDBusVariant>
#include <QMap>

#include <cstdio>

namespace {

const QString s_service = QStringLiteral("org.freedesktop.ModemManager1");
const QString s_root = QStringLiteral("/org/freedesktop/ModemManager1");
const QString s_objectManager = QStringLiteral("org.freedesktop.DBus.ObjectManager");
const QString s_properties = QStringLiteral("org.freedesktop.DBus.Properties");
const QString s_modem = QStringLiteral("org.freedesktop.ModemManager1.Modem");
const QString s_modem3gpp = QStringLiteral("org.freedesktop.ModemManager1.Modem.Modem3gpp");
const QString s_location = QStringLiteral("org.freedesktop.ModemManager1.Modem.Location");
const int s_managerTimeoutMs = 5000;
// MM_MODEM_LOCATION_SOURCE_3GPP_LAC_CI.
const uint s_source3gppLacCi = 1;

void trace(const QString &text)
{
    std::fprintf(stderr, "%s: %s\n", qPrintable(QCoreApplication::applicationName()),
                 qPrintable(text));
}

// The modem's number, the last part of its path; modems with no number come last.
qulonglong modemNumber(const QString &path)
{
    bool ok = false;
    const qulonglong number = path.section(QLatin1Char('/'), -1).toULongLong(&ok);
    return ok ? number : ~0ULL;
}

QList<uint> uintList(const QVariant &value)
{
    if (value.canConvert<QDBusArgument>()) {
        return qdbus_cast<QList<uint>>(value.value<QDBusArgument>());
    }
    return value.value<QList<uint>>();
}

// The 3GPP LAC/CI entry of a Location dictionary (a{uv}).
QString lacCiLocation(const QVariant &value)
{
    QString location;
    if (!value.canConvert<QDBusArgument>()) {
        return location;
    }
    const QDBusArgument map = value.value<QDBusArgument>();
    if (map.currentSignature() != QLatin1String("a{uv}")) {
        return location;
    }
    map.beginMap();
    while (!map.atEnd()) {
        uint source = 0;
        QDBusVariant entry;
        map.beginMapEntry();
        map >> source >> entry;
        map.endMapEntry();
        if (source == s_source3gppLacCi) {
            location = entry.variant().toString();
        }
    }
    map.endMap();
    return location;
}

using Interfaces = QMap<QString, QVariantMap>;

} // namespace

KIVO_MMClient::KIVO_MMClient(const QDBusConnection &systemBus, const QString &modemPath,
                             QObject *parent)
    : QObject(parent), m_bus(systemBus), m_wantedPath(modemPath)
{
}

KIVO_MMClient::~KIVO_MMClient() = default;

void KIVO_MMClient::start()
{
    if (!m_bus.isConnected()) {
        trace(QStringLiteral("no system bus: %1").arg(m_bus.lastError().message()));
        return;
    }
    m_watcher =
        new QDBusServiceWatcher(s_service, m_bus, QDBusServiceWatcher::WatchForOwnerChange, this);
    connect(m_watcher, &QDBusServiceWatcher::serviceOwnerChanged, this,
            [this](const QString &, const QString &, const QString &owner) {
                daemonOwnerChanged(owner);
            });
    m_bus.connect(s_service, s_root, s_objectManager, QStringLiteral("InterfacesAdded"), this,
                  SLOT(interfacesAdded(QDBusMessage)));
    m_bus.connect(s_service, s_root, s_objectManager, QStringLiteral("InterfacesRemoved"), this,
                  SLOT(interfacesRemoved(QDBusMessage)));
    m_bus.connect(s_service, QString(), s_properties, QStringLiteral("PropertiesChanged"), this,
                  SLOT(propertiesChanged(QDBusMessage)));
    m_bus.connect(s_service, QString(), s_modem, QStringLiteral("StateChanged"), this,
                  SLOT(modemStateChanged(QDBusMessage)));
    // Asked once the watcher is in place, so that no change of owner slips between.
    daemonOwnerChanged(m_bus.interface()->serviceOwner(s_service).value());
}

bool KIVO_MMClient::hasModem() const
{
    return !m_path.isEmpty();
}

QString KIVO_MMClient::modemPath() const
{
    return m_path;
}

QString KIVO_MMClient::manufacturer() const
{
    return m_manufacturer;
}

QString KIVO_MMClient::model() const
{
    return m_model;
}

int KIVO_MMClient::state() const
{
    return m_state;
}

QList<uint> KIVO_MMClient::supportedBands() const
{
    return m_bands;
}

uint KIVO_MMClient::registrationState() const
{
    return m_registration;
}

QString KIVO_MMClient::location() const
{
    return m_location;
}

void KIVO_MMClient::daemonOwnerChanged(const QString &owner)
{
    // A new owner is a new daemon: whatever the old one had is gone.
    dropModem();
    m_daemon = !owner.isEmpty();
    if (m_daemon) {
        lookForModem();
    }
}

void KIVO_MMClient::lookForModem()
{
    if (!m_daemon) {
        return;
    }
    if (m_looking) {
        m_lookAgain = true;
        return;
    }
    m_looking = true;
    const QDBusMessage message = QDBusMessage::createMethodCall(
        s_service, s_root, s_objectManager, QStringLiteral("GetManagedObjects"));
    call(message, s_managerTimeoutMs, this, [this](const QDBusMessage &reply) {
        m_looking = false;
        takeManagedObjects(reply);
        if (m_lookAgain && !hasModem()) {
            m_lookAgain = false;
            lookForModem();
        }
        m_lookAgain = false;
    });
}

void KIVO_MMClient::takeManagedObjects(const QDBusMessage &reply)
{
    if (!m_daemon || hasModem()) {
        return;
    }
    if (reply.type() != QDBusMessage::ReplyMessage ||
        reply.signature() != QLatin1String("a{oa{sa{sv}}}")) {
        trace(QStringLiteral("ModemManager's objects cannot be read: %1")
                  .arg(reply.errorMessage().isEmpty() ? reply.signature() : reply.errorMessage()));
        return;
    }
    QMap<QString, Interfaces> modems;
    const QDBusArgument objects = reply.arguments().at(0).value<QDBusArgument>();
    objects.beginMap();
    while (!objects.atEnd()) {
        QDBusObjectPath path;
        Interfaces interfaces;
        objects.beginMapEntry();
        objects >> path >> interfaces;
        objects.endMapEntry();
        if (interfaces.contains(s_modem) &&
            (m_wantedPath.isEmpty() || path.path() == m_wantedPath)) {
            modems.insert(path.path(), interfaces);
        }
    }
    objects.endMap();
    if (modems.isEmpty()) {
        return;
    }
    QString chosen = modems.firstKey();
    for (auto it = modems.cbegin(); it != modems.cend(); ++it) {
        if (modemNumber(it.key()) < modemNumber(chosen)) {
            chosen = it.key();
        }
    }
    m_path = chosen;
    const Interfaces interfaces = modems.value(chosen);
    for (auto it = interfaces.cbegin(); it != interfaces.cend(); ++it) {
        applyProperties(it.key(), it.value());
    }
    emit modemAppeared();
    setUpLocation();
}

void KIVO_MMClient::interfacesAdded(const QDBusMessage &message)
{
    if (message.signature() != QLatin1String("oa{sa{sv}}")) {
        return;
    }
    const QString path = message.arguments().at(0).value<QDBusObjectPath>().path();
    if (!hasModem()) {
        lookForModem();
        return;
    }
    if (path != m_path) {
        return;
    }
    const Interfaces interfaces =
        qdbus_cast<Interfaces>(message.arguments().at(1).value<QDBusArgument>());
    for (auto it = interfaces.cbegin(); it != interfaces.cend(); ++it) {
        applyProperties(it.key(), it.value());
    }
}

void KIVO_MMClient::interfacesRemoved(const QDBusMessage &message)
{
    if (message.signature() != QLatin1String("oas") ||
        message.arguments().at(0).value<QDBusObjectPath>().path() != m_path || !hasModem()) {
        return;
    }
    if (message.arguments().at(1).toStringList().contains(s_modem)) {
        dropModem();
        lookForModem();
    }
}

void KIVO_MMClient::propertiesChanged(const QDBusMessage &message)
{
    if (!isOurPath(message.path()) || message.signature() != QLatin1String("sa{sv}as")) {
        return;
    }
    const QVariantMap changed =
        qdbus_cast<QVariantMap>(message.arguments().at(1).value<QDBusArgument>());
    applyProperties(message.arguments().at(0).toString(), changed);
}

void KIVO_MMClient::modemStateChanged(const QDBusMessage &message)
{
    if (!isOurPath(message.path()) || message.signature() != QLatin1String("iiu")) {
        return;
    }
    QVariantMap state;
    state.insert(QStringLiteral("State"), message.arguments().at(1));
    applyProperties(s_modem, state);
}

void KIVO_MMClient::applyProperties(const QString &interface, const QVariantMap &properties)
{
    if (interface == s_modem) {
        if (properties.contains(QStringLiteral("Manufacturer"))) {
            m_manufacturer = properties.value(QStringLiteral("Manufacturer")).toString();
        }
        if (properties.contains(QStringLiteral("Model"))) {
            m_model = properties.value(QStringLiteral("Model")).toString();
        }
        if (properties.contains(QStringLiteral("SupportedBands"))) {
            m_bands = uintList(properties.value(QStringLiteral("SupportedBands")));
        }
        if (properties.contains(QStringLiteral("State"))) {
            const int state = properties.value(QStringLiteral("State")).toInt();
            if (state != m_state) {
                m_state = state;
                emit stateChanged(state);
            }
        }
    } else if (interface == s_modem3gpp) {
        if (properties.contains(QStringLiteral("RegistrationState"))) {
            const uint registration =
                properties.value(QStringLiteral("RegistrationState")).toUInt();
            if (registration != m_registration) {
                m_registration = registration;
                emit registrationChanged(registration);
            }
        }
    } else if (interface == s_location) {
        if (properties.contains(QStringLiteral("Enabled"))) {
            m_locationEnabled = properties.value(QStringLiteral("Enabled")).toUInt();
        }
        if (properties.contains(QStringLiteral("Location"))) {
            const QString location = lacCiLocation(properties.value(QStringLiteral("Location")));
            if (location != m_location) {
                const QString previous = m_location;
                m_location = location;
                emit locationChanged(previous, location);
            }
        }
    }
}

void KIVO_MMClient::setUpLocation()
{
    // Setup names every source to keep enabled: the ones already on stay on.
    QDBusMessage message =
        QDBusMessage::createMethodCall(s_service, m_path, s_location, QStringLiteral("Setup"));
    message << (m_locationEnabled | s_source3gppLacCi) << true;
    call(message, s_managerTimeoutMs, this, [](const QDBusMessage &reply) {
        if (reply.type() == QDBusMessage::ErrorMessage) {
            trace(QStringLiteral("cell location updates refused (%1: %2); cell changes are not "
                                 "seen")
                      .arg(reply.errorName(), reply.errorMessage()));
        }
    });
}

void KIVO_MMClient::dropModem()
{
    if (m_path.isEmpty()) {
        return;
    }
    m_path.clear();
    m_manufacturer.clear();
    m_model.clear();
    m_state = 0;
    m_bands.clear();
    m_registration = 0;
    m_location.clear();
    m_locationEnabled = 0;
    emit modemVanished();
}

void KIVO_MMClient::command(const QString &command, uint modemTimeoutS, int callTimeoutMs,
                            QObject *context, const ReplyHandler &handler)
{
    QDBusMessage message =
        QDBusMessage::createMethodCall(s_service, m_path, s_modem, QStringLiteral("Command"));
    message << command << modemTimeoutS;
    call(message, callTimeoutMs, context, handler);
}

void KIVO_MMClient::getCellInfo(int callTimeoutMs, QObject *context, const ReplyHandler &handler)
{
    call(QDBusMessage::createMethodCall(s_service, m_path, s_modem, QStringLiteral("GetCellInfo")),
         callTimeoutMs, context, handler);
}

QList<QVariantMap> KIVO_MMClient::cellInfo(const QDBusMessage &reply)
{
    if (reply.type() != QDBusMessage::ReplyMessage ||
        reply.signature() != QLatin1String("aa{sv}")) {
        return {};
    }
    return qdbus_cast<QList<QVariantMap>>(reply.arguments().at(0).value<QDBusArgument>());
}

void KIVO_MMClient::call(const QDBusMessage &message, int timeoutMs, QObject *context,
                         const ReplyHandler &handler)
{
    if (message.path().isEmpty()) {
        handler(
            QDBusMessage::createError(QStringLiteral("org.freedesktop.DBus.Error.ServiceUnknown"),
                                      QStringLiteral("no modem")));
        return;
    }
    auto *watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(message, timeoutMs), context);
    connect(watcher, &QDBusPendingCallWatcher::finished, context,
            [handler](QDBusPendingCallWatcher *finished) {
                finished->deleteLater();
                handler(finished->reply());
            });
}

bool KIVO_MMClient::isOurPath(const QString &path) const
{
    return !m_path.isEmpty() && path == m_path;
}
