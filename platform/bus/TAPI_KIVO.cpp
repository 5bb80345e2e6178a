#include "TAPI_KIVO.h"

#include "TAPI_KIVO_p.h"

#include <QDBusConnection>
#include <QDBusError>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QList>
#include <QVariant>

namespace {

constexpr int callTimeoutMs = 3000;

QSet<quint16> s_registeredTypes;

// The error code of a call's outcome; 0 when the service answered with `signature`.
int callResultCode(const QDBusMessage &reply, const QString &signature)
{
    if (reply.type() == QDBusMessage::ReplyMessage) {
        return reply.signature() == signature ? 0 : TapiReceivemsgError;
    }
    if (reply.type() != QDBusMessage::ErrorMessage) {
        return TapiRequestFailed;
    }
    // Without a bus QtDBus answers Disconnected itself; the bus answers ServiceUnknown or
    // NameHasNoOwner when nobody owns the name. Either way the call was not sent.
    static const struct {
        const char *name;
        TapiErrorCode code;
    } codes[] = {
        {"org.freedesktop.DBus.Error.NoReply", TapiTimeout},
        {"org.freedesktop.DBus.Error.Timeout", TapiTimeout},
        {"org.freedesktop.DBus.Error.InvalidArgs", TapiInvalidParameter},
        {"org.freedesktop.DBus.Error.Disconnected", TapiSendmsgError},
        {"org.freedesktop.DBus.Error.ServiceUnknown", TapiSendmsgError},
        {"org.freedesktop.DBus.Error.NameHasNoOwner", TapiSendmsgError},
        {"org.freedesktop.DBus.Error.NoMemory", TapiNoMemory},
    };
    const QString errorName = reply.errorName();
    for (const auto &entry : codes) {
        if (errorName == QLatin1String(entry.name)) {
            return entry.code;
        }
    }
    return TapiRequestFailed;
}

// The call of `method` with its one argument.
QDBusMessage telephonyCall(const char *method, const QVariant &argument)
{
    QDBusMessage call =
        QDBusMessage::createMethodCall(QLatin1String(tapiService), QLatin1String(tapiPath),
                                       QLatin1String(tapiInterface), QLatin1String(method));
    call << argument;
    // No activation: while nobody owns the name, the bus refuses the call at once.
    call.setAutoStartService(false);
    return call;
}

// 0 with *value set to the one argument of the reply, or the error code.
int replyValue(const QDBusMessage &reply, const char *replySignature, QVariant *value)
{
    const int code = callResultCode(reply, QLatin1String(replySignature));
    if (code == 0) {
        *value = reply.arguments().constFirst();
    }
    return code;
}

// Calls `method` with `argument` and waits for the answer; 0 with *value set to the one
// argument of the reply, or the error code.
int callTelephony(const char *method, const QVariant &argument, const char *replySignature,
                  QVariant *value)
{
    // Block, not BlockWithGui: no signal or timer may run inside the caller's call.
    const QDBusMessage reply = QDBusConnection::sessionBus().call(telephonyCall(method, argument),
                                                                  QDBus::Block, callTimeoutMs);
    return replyValue(reply, replySignature, value);
}

QList<quint16> typeList(const quint16 *eventTypes, int count)
{
    QList<quint16> types;
    for (int i = 0; eventTypes && i < count; ++i) {
        types.append(eventTypes[i]);
    }
    return types;
}

// What Register's answer makes of a registration: the handle, or -1 when the call failed.
int registrationResult(const QDBusMessage &reply, const QList<quint16> &types)
{
    QVariant result;
    if (replyValue(reply, "i", &result) != 0) {
        return -1;
    }
    const int handle = result.toInt();
    if (handle >= 0) {
        s_registeredTypes = QSet<quint16>(types.cbegin(), types.cend());
    }
    return handle;
}

} // namespace

QSet<quint16> tapiRegisteredTypes()
{
    return s_registeredTypes;
}

int TAPI_CLIENT_Init(const quint16 *eventTypes, int count)
{
    const QList<quint16> types = typeList(eventTypes, count);
    const QDBusMessage reply = QDBusConnection::sessionBus().call(
        telephonyCall("Register", QVariant::fromValue(types)), QDBus::Block, callTimeoutMs);
    return registrationResult(reply, types);
}

void TAPI_CLIENT_InitAsync(const quint16 *eventTypes, int count, QObject *context,
                           const std::function<void(int)> &done)
{
    const QList<quint16> types = typeList(eventTypes, count);
    const QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        // QtDBus makes no call at all here, and nothing would ever answer: fail as the
        // blocking call does, from the event loop all the same, never inside this call.
        const QDBusMessage notSent = QDBusMessage::createError(
            QDBusError::Disconnected, QStringLiteral("Not connected to D-Bus server"));
        QMetaObject::invokeMethod(
            context, [notSent, types, done] { done(registrationResult(notSent, types)); },
            Qt::QueuedConnection);
        return;
    }
    auto *watcher = new QDBusPendingCallWatcher(
        bus.asyncCall(telephonyCall("Register", QVariant::fromValue(types)), callTimeoutMs),
        context);
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, context, [watcher, types, done] {
        watcher->deleteLater();
        done(registrationResult(watcher->reply(), types));
    });
}

int TAPI_KIVO_SetCellStickerMode(const StickerRequest *request)
{
    if (!request) {
        return TapiInvalidParameter;
    }
    // The record's bytes as they lie in memory: mode, then the ARFCN halves, low half first.
    const QByteArray bytes(reinterpret_cast<const char *>(request), sizeof(StickerRequest));
    QVariant status;
    const int code = callTelephony("SetCellStickerMode", bytes, "i", &status);
    return code != 0 ? code : status.toInt();
}

int TAPI_KIVO_CheckArfcn(ArfcnCheck *check)
{
    if (!check) {
        return TapiInvalidParameter;
    }
    check->verdict = 1;
    QVariant verdict;
    const int code = callTelephony("CheckArfcn", QVariant::fromValue(check->arfcn), "y", &verdict);
    if (code == 0) {
        check->verdict = verdict.value<quint8>();
    }
    return code;
}

int TAPI_KIVO_SetCellBarAccessMode(int mode)
{
    QVariant status;
    const int code = callTelephony("SetCellBarAccessMode", mode, "i", &status);
    return code != 0 ? code : status.toInt();
}
