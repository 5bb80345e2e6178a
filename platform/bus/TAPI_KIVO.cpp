#include "TAPI_KIVO.h"

#include "TAPI_KIVO_p.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QList>
#include <QVariant>

namespace {

constexpr int callTimeoutMs = 3000;

QSet<quint16> s_registeredTypes;

// The error code of a call's outcome; 0 when the service answered with `signature`.
int callResultCode(const QDBusMessage &reply, const QString &signature)
{
    if (reply.type() == QDBusMessage::ReplyMessage) {
        return reply.signature() == signature ? 0 : 7;
    }
    if (reply.type() != QDBusMessage::ErrorMessage) {
        return 1;
    }
    // Without a bus QtDBus answers Disconnected itself; the bus answers ServiceUnknown or
    // NameHasNoOwner when nobody owns the name. Either way the call was not sent.
    static const struct {
        const char *name;
        int code;
    } codes[] = {
        {"org.freedesktop.DBus.Error.NoReply", 3},
        {"org.freedesktop.DBus.Error.Timeout", 3},
        {"org.freedesktop.DBus.Error.InvalidArgs", 4},
        {"org.freedesktop.DBus.Error.Disconnected", 5},
        {"org.freedesktop.DBus.Error.ServiceUnknown", 5},
        {"org.freedesktop.DBus.Error.NameHasNoOwner", 5},
        {"org.freedesktop.DBus.Error.NoMemory", 10},
    };
    const QString errorName = reply.errorName();
    for (const auto &entry : codes) {
        if (errorName == QLatin1String(entry.name)) {
            return entry.code;
        }
    }
    return 1;
}

// Calls `method` with `argument` and waits for the answer; 0 with *value set to the one
// argument of the reply, or the error code.
int callTelephony(const char *method, const QVariant &argument, const char *replySignature,
                  QVariant *value)
{
    QDBusMessage call =
        QDBusMessage::createMethodCall(QLatin1String(tapiService), QLatin1String(tapiPath),
                                       QLatin1String(tapiInterface), QLatin1String(method));
    call << argument;
    // No activation: while nobody owns the name, the bus refuses the call at once.
    call.setAutoStartService(false);
    // Block, not BlockWithGui: no signal or timer may run inside the caller's call.
    const QDBusMessage reply =
        QDBusConnection::sessionBus().call(call, QDBus::Block, callTimeoutMs);
    const int code = callResultCode(reply, QLatin1String(replySignature));
    if (code == 0) {
        *value = reply.arguments().constFirst();
    }
    return code;
}

} // namespace

QSet<quint16> tapiRegisteredTypes()
{
    return s_registeredTypes;
}

int TAPI_CLIENT_Init(const quint16 *eventTypes, int count)
{
    QList<quint16> types;
    for (int i = 0; eventTypes && i < count; ++i) {
        types.append(eventTypes[i]);
    }
    QVariant result;
    if (callTelephony("Register", QVariant::fromValue(types), "i", &result) != 0) {
        return -1;
    }
    const int handle = result.toInt();
    if (handle >= 0) {
        s_registeredTypes = QSet<quint16>(types.cbegin(), types.cend());
    }
    return handle;
}

int TAPI_KIVO_SetCellStickerMode(const StickerRequest *request)
{
    if (!request) {
        return 4;
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
        return 4;
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
