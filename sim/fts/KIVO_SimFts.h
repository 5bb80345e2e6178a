#pragma once

#include <QByteArray>
#include <QDBusConnection>
#include <QHash>
#include <QObject>
#include <QString>
#include <QStringList>

class QDBusMessage;

// The simulated FTS engine: takes requests on the QCop channel "fts_listen_channel", answers
// on "kivo_listen_channel", and keeps the favourites and visibles bitmaps in a state file.
// Owned by main().
class KIVO_SimFts : public QObject {
    Q_OBJECT

public:
    KIVO_SimFts(const QStringList &titles, const QString &statePath, QObject *parent = nullptr);
    ~KIVO_SimFts() override;

    // Reads a titles file: one title per line; blank lines and lines starting with '#' are
    // skipped. False with a reason when the file cannot be read.
    static bool readTitles(const QString &path, QStringList *titles, QString *error);

    // Loads the state file, or starts from the defaults when there is none.
    bool loadState(QString *error);
    // Starts listening on the bus.
    bool start(const QDBusConnection &bus, QString *error);

    void setReplyDelay(int ms);
    void setMute(bool mute);
    // Cuts every answer's data to at most this many bytes; negative: whole answers.
    void setTruncate(int bytes);
    void setTitles(const QStringList &titles);
    // Sets and saves both bitmaps; false when the state file cannot be written.
    bool setSelections(quint64 favourites, quint64 visibles);

    quint64 favourites() const;
    quint64 visibles() const;
    QString lastMessage() const;
    QByteArray lastData() const;
    // How many requests of this name arrived; an empty name counts all of them.
    uint requestCount(const QString &message) const;
    QString status() const;

    // Unsolicited answers, sent at once in full.
    void sendTitles();
    void sendFavourites();
    void sendVisibles();
    void sendRaw(const QString &channel, const QString &message, const QByteArray &data);

private slots:
    // Connected by name: QtDBus has no other way to deliver a bus signal to a slot.
    void receiveMessage(const QDBusMessage &message);

private:
    QByteArray titlesData() const;
    static QByteArray bitmapData(quint64 bitmap);
    void answer(const QString &message, const QByteArray &data);
    bool applyBitmap(const QByteArray &data, quint64 *bitmap, const char *what);
    bool saveState();

    Q_DISABLE_COPY(KIVO_SimFts)
    QDBusConnection m_bus;
    QStringList m_titles;
    QString m_statePath;
    quint64 m_favourites = 0;
    quint64 m_visibles = 0;
    int m_delay = 0;
    bool m_mute = false;
    int m_truncate = -1;
    QString m_lastMessage;
    QByteArray m_lastData;
    QHash<QString, uint> m_requests;
};
