#pragma once

#include "QCopChannel.h"
#include "ScreenHelpers.h"

#include <QByteArrayList>
#include <QStringList>
#include <QTest>

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
                             if (!answering) {
                                 return;
                             }
                             if (message == "getTitles(QString,QString)") {
                                 send("getTiltlesRsp(QString, QString)", titlesBlock(titles));
                             } else if (message == "getFavourites(QString,QString)") {
                                 send("getFavouritesRsp(QString, QString)", favourites);
                             } else if (message == "getVisibles(QString,QString)") {
                                 send("getVisiblesResponse(QString, Qstring)", visibles);
                             }
                         });
    }

    // The count byte, then each title as a 32-bit big-endian byte count and UTF-16 big-endian.
    static QByteArray titlesBlock(const QStringList &titles)
    {
        QByteArray block(1, char(titles.size()));
        for (const QString &title : titles) {
            const int size = title.size() * 2;
            const char count[] = {char(size >> 24), char(size >> 16), char(size >> 8), char(size)};
            block.append(count, 4);
            for (QChar c : title) {
                block.append(char(c.unicode() >> 8)).append(char(c.unicode() & 0xff));
            }
        }
        return block;
    }

    static void send(const char *message, const QByteArray &data)
    {
        QCopChannel::send("kivo_listen_channel", message, data);
    }

    // "name hexdata" of each request from `from` on, up to a marker sent now: one sender's
    // messages keep their order on the bus, so anything sent before has arrived by then.
    QByteArrayList requestsFrom(int from)
    {
        const int markers = names.count("marker");
        QCopChannel::send("fts_listen_channel", "marker", QByteArray());
        if (!QTest::qWaitFor([&] { return names.count("marker") > markers; }, 5000)) {
            return {"no marker"};
        }
        QByteArrayList seen;
        for (int i = from; i < names.size(); ++i) {
            if (names.at(i) != "marker") {
                seen << names.at(i) + ' ' + blocks.at(i).toHex();
            }
        }
        return seen;
    }

    bool answering = true;
    QStringList titles;
    QByteArray favourites = QByteArray(8, '\0');
    QByteArray visibles = QByteArray(8, '\0');
    QByteArrayList names;
    QByteArrayList blocks;

private:
    QCopChannel m_channel{"fts_listen_channel"};
};
