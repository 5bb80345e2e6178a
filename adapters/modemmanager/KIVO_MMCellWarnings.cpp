#include "KIVO_MMCellWarnings.h"

#include "KIVO_MMClient.h"
#include "KIVO_Settings.h"
#include "PlConfig.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QStringList>
#include <QVariantMap>

#include <cstdio>

namespace {

const int s_callTimeoutMs = 3000;

struct Cell {
    QString area; // TAC on LTE, else LAC
    QString id;
};

// "MCC,MNC,LAC,CI,TAC"; an empty cell id is an unknown cell.
Cell cellOf(const QString &location)
{
    const QStringList parts = location.split(QLatin1Char(','));
    const QString tac = parts.value(4);
    const QString lac = parts.value(2);
    const bool lte = !tac.isEmpty() && tac != QLatin1String("0");
    return Cell{lte ? tac : lac, parts.value(3)};
}

// A setting read afresh from KIVO's own file (never creating its folder), as the engine holds it.
bool settingOn(const char *key)
{
    const PlConfig config(iniFileLocation(), true);
    const KIVO_Setting &setting = settingFor(key);
    return setting.held(config.readNumEntry(QString::fromLatin1(kSettingsGroup),
                                            QString::fromLatin1(key), setting.defaultValue)) == 1;
}

void trace(const QString &text)
{
    std::fprintf(stderr, "kivo-mm-bridge: %s\n", qPrintable(text));
}

} // namespace

KIVO_MMCellWarnings::KIVO_MMCellWarnings(KIVO_MMClient *client, const QDBusConnection &sessionBus,
                                         QObject *parent)
    : QObject(parent), m_bus(sessionBus)
{
    connect(client, &KIVO_MMClient::locationChanged, this,
            [this](const QString &previous, const QString &current) {
                locationChanged(previous, current);
            });
}

KIVO_MMCellWarnings::~KIVO_MMCellWarnings() = default;

QString KIVO_MMCellWarnings::describeChange(const QString &previous, const QString &current)
{
    const Cell from = cellOf(previous);
    const Cell to = cellOf(current);
    if (from.id.isEmpty() || to.id.isEmpty() || (from.area == to.area && from.id == to.id)) {
        return {};
    }
    return QStringLiteral("From area %1, cell %2\nto area %3, cell %4")
        .arg(from.area, from.id, to.area, to.id);
}

void KIVO_MMCellWarnings::locationChanged(const QString &previous, const QString &current)
{
    const QString body = describeChange(previous, current);
    if (body.isEmpty()) {
        return;
    }
    const bool notice = settingOn(kKeyMsgWarning);
    const bool tone = settingOn(kKeyToneWarning);
    if (notice) {
        notify(body);
    }
    if (tone) {
        askForTone();
    }
    trace(QStringLiteral("cell changed: %1 (notice %2, tone %3)")
              .arg(QString(body).replace(QLatin1Char('\n'), QLatin1Char(' ')),
                   notice ? QStringLiteral("on") : QStringLiteral("off"),
                   tone ? QStringLiteral("on") : QStringLiteral("off")));
}

void KIVO_MMCellWarnings::notify(const QString &body)
{
    QDBusMessage message = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.Notifications"),
        QStringLiteral("/org/freedesktop/Notifications"),
        QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("Notify"));
    message << QStringLiteral("KIVO") << 0u << QString() << QStringLiteral("Cell changed") << body
            << QStringList() << QVariantMap() << -1;
    callOptional(message, &m_notificationsMissing,
                 QStringLiteral("no desktop notifications (%1); cell change notices skipped"));
}

void KIVO_MMCellWarnings::askForTone()
{
    QDBusMessage message = QDBusMessage::createMethodCall(
        QStringLiteral("org.sigxcpu.Feedback"), QStringLiteral("/org/sigxcpu/Feedback"),
        QStringLiteral("org.sigxcpu.Feedback"), QStringLiteral("TriggerFeedback"));
    message << QStringLiteral("org.kivo.KIVO") << QStringLiteral("message-new-instant")
            << QVariantMap() << -1;
    callOptional(message, &m_feedbackMissing,
                 QStringLiteral("no feedback daemon (%1); cell change tones skipped"));
}

void KIVO_MMCellWarnings::callOptional(const QDBusMessage &message, bool *missing,
                                       const QString &missingTrace)
{
    auto *watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(message, s_callTimeoutMs), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [missing, missingTrace](QDBusPendingCallWatcher *finished) {
                finished->deleteLater();
                const QDBusMessage reply = finished->reply();
                const bool failed = reply.type() == QDBusMessage::ErrorMessage;
                if (failed && !*missing) {
                    trace(missingTrace.arg(reply.errorName()));
                }
                *missing = failed;
            });
}
