#pragma once

#include <QByteArray>
#include <QObject>

// A QCop channel on the session bus: a message is the broadcast D-Bus signal
// org.kivo.QCop.Message(s channel, s message, ay data) on /QCop. An object made on a channel
// name emits received() for every such message on that channel, from any sender, its own
// process included, in arrival order. Names travel as UTF-8 D-Bus strings: a channel matches
// when the string's UTF-8 bytes equal the name byte for byte.
class QCopChannel : public QObject {
    Q_OBJECT

public:
    explicit QCopChannel(const QByteArray &channel, QObject *parent = nullptr,
                         const char *name = nullptr);
    ~QCopChannel() override;

    QByteArray channel() const;

    // Broadcasts one message; never reports a failure (no bus: the message is lost).
    static void send(const QByteArray &channel, const QByteArray &message,
                     const QByteArray &data);

signals:
    void received(const QByteArray &message, const QByteArray &data);

private slots:
    void handleMessage(const QString &channel, const QString &message, const QByteArray &data);

private:
    Q_DISABLE_COPY(QCopChannel)
    QByteArray m_channel;
};
