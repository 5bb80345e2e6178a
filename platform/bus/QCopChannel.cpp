#include "QCopChannel.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QString>

namespace {

const char qcopPath[] = "/QCop";
const char qcopInterface[] = "org.kivo.QCop";
const char qcopMember[] = "Message";
const char qcopSignature[] = "ssay";

// Channel and message names travel as D-Bus strings, which are UTF-8 without NUL: the bytes of
// a name are the bytes of the string on the wire. A name that does not come back unchanged
// from that conversion (not UTF-8, a NUL, a leading byte-order mark that QString drops) cannot
// travel; sending it would deliver it under another name.
bool toBusString(const QByteArray &name, QString *text)
{
    if (name.contains('\0')) {
        return false;
    }
    *text = QString::fromUtf8(name);
    return text->toUtf8() == name;
}

} // namespace

QCopChannel::QCopChannel(const QByteArray &channel, QObject *parent, const char *name)
    : QObject(parent), m_channel(channel)
{
    if (name) {
        setObjectName(QString::fromLatin1(name));
    }
    // The bus daemon hands a connection its own broadcasts back as it does everybody else's,
    // so messages sent by this process arrive here once, in bus order, like any other.
    // QtDBus only takes a slot given as a string.
    QDBusConnection::sessionBus().connect(QString(), qcopPath, qcopInterface, qcopMember,
                                          qcopSignature, this,
                                          SLOT(handleMessage(QString, QString, QByteArray)));
}

QCopChannel::~QCopChannel()
{
    QDBusConnection::sessionBus().disconnect(QString(), qcopPath, qcopInterface, qcopMember,
                                             qcopSignature, this,
                                             SLOT(handleMessage(QString, QString, QByteArray)));
}

QByteArray QCopChannel::channel() const
{
    return m_channel;
}

void QCopChannel::send(const QByteArray &channel, const QByteArray &message, const QByteArray &data)
{
    QString channelText;
    QString messageText;
    if (!toBusString(channel, &channelText) || !toBusString(message, &messageText)) {
        return;
    }
    QDBusMessage signal = QDBusMessage::createSignal(qcopPath, qcopInterface, qcopMember);
    signal << channelText << messageText << data;
    // Without a bus the message is lost, as when nobody listens.
    QDBusConnection::sessionBus().send(signal);
}

void QCopChannel::handleMessage(const QString &channel, const QString &message,
                                const QByteArray &data)
{
    if (channel.toUtf8() != m_channel) {
        return;
    }
    emit received(message.toUtf8(), data);
}
