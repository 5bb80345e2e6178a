#pragma once

#include "QCopChannel.h"

#include <QByteArrayList>
#include <QStringList>

// An FTS engine on the test's private bus: records every request on "fts_listen_channel" and,
// while `answering`, replies on "kivo_listen_channel" with blocks written by hand.
class FtsPeer {
public:
    FtsPeer()
    {
        QObject::connect(&m_channel, &QCopChannel::received, &m_channel,
                         [this](const QByteArray &message, const QByteArray &data) {
                             names << message;
                             blocks << data;
                             answer(message);
                         });
    }

    // The titles response block: the count byte, then each title as a 32-bit big-endian byte
    // count and its UTF-16 big-endian code units.
    static QByteArray titlesBlock(const QStringList &titles)
    {
        QByteArray block(1, char(titles.size()));
        for (const QString &title : titles) {
            const quint32 size = quint32(title.size() * 2);
            for (int shift : {24, 16, 8, 0}) {
                block.append(char(size >> shift));
            }
            for (QChar c : title) {
                block.append(char(c.unicode() >> 8)).append(char(c.unicode() & 0xff));
            }
        }
        return block;
    }

    static void sendToKivo(const char *message, const QByteArray &data)
    {
        QCopChannel::send("kivo_listen_channel", message, data);
    }

    int count(const QByteArray &name) const
    {
        return names.count(name);
    }

    bool answering = true;
    QStringList titles;
    QByteArray favourites = QByteArray(8, '\0');
    QByteArray visibles = QByteArray(8, '\0');
    QByteArrayList names;
    QByteArrayList blocks;

private:
    void answer(const QByteArray &message)
    {
        if (!answering) {
            return;
        }
        if (message == "getTitles(QString,QString)") {
            sendToKivo("getTiltlesRsp(QString, QString)", titlesBlock(titles));
        } else if (message == "getFavourites(QString,QString)") {
            sendToKivo("getFavouritesRsp(QString, QString)", favourites);
        } else if (message == "getVisibles(QString,QString)") {
            sendToKivo("getVisiblesResponse(QString, Qstring)", visibles);
        }
    }

    QCopChannel m_channel{"fts_listen_channel"};
};
