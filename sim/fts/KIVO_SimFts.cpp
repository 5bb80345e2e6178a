#include "KIVO_SimFts.h"

#include "KIVO_SimLog.h"

#include <QDBusMessage>
#include <QDataStream>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QTextStream>
#include <QTimer>

namespace {

const QString s_path = QStringLiteral("/QCop");
const QString s_interface = QStringLiteral("org.kivo.QCop");
const QString s_member = QStringLiteral("Message");
const QString s_listenChannel = QStringLiteral("fts_listen_channel");
const QString s_answerChannel = QStringLiteral("kivo_listen_channel");

// The message names both sides match byte for byte, misspellings and blanks included.
const QString s_getTitles = QStringLiteral("getTitles(QString,QString)");
const QString s_getFavourites = QStringLiteral("getFavourites(QString,QString)");
const QString s_getVisibles = QStringLiteral("getVisibles(QString,QString)");
const QString s_setFavourites = QStringLiteral("setFavourites(QString,QString)");
const QString s_setVisibles = QStringLiteral("setVisibles(QStrihg,QString)");
const QString s_titlesResponse = QStringLiteral("getTiltlesRsp(QString, QString)");
const QString s_favouritesResponse = QStringLiteral("getFavouritesRsp(QString, QString)");
const QString s_visiblesResponse = QStringLiteral("getVisiblesResponse(QString, Qstring)");

// The count byte of the titles answer holds no more.
const int s_maxTitles = 255;

const QString s_stateGroup = QStringLiteral("Selections");

QString hex64(quint64 value)
{
    return QStringLiteral("0x%1").arg(value, 16, 16, QLatin1Char('0'));
}

quint64 allTitles(int count)
{
    return count >= 64 ? ~Q_UINT64_C(0) : (Q_UINT64_C(1) << count) - 1;
}

} // namespace

KIVO_SimFts::KIVO_SimFts(const QStringList &titles, const QString &statePath, QObject *parent)
    : QObject(parent), m_bus(QDBusConnection::sessionBus()), m_statePath(statePath)
{
    setTitles(titles);
}

KIVO_SimFts::~KIVO_SimFts() = default;

bool KIVO_SimFts::readTitles(const QString &path, QStringList *titles, QString *error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        *error = QStringLiteral("%1: %2").arg(path, file.errorString());
        return false;
    }
    QTextStream in(&file);
    in.setEncoding(QStringConverter::Utf8);
    QStringList read;
    while (!in.atEnd()) {
        const QString line = in.readLine();
        if (line.trimmed().isEmpty() || line.startsWith(QLatin1Char('#'))) {
            continue;
        }
        read << line.trimmed();
    }
    *titles = read;
    return true;
}

bool KIVO_SimFts::loadState(QString *error)
{
    if (!QFileInfo::exists(m_statePath)) {
        // A fresh engine shows every screen and starts with the first two as favourites.
        m_favourites = m_titles.size() >= 2 ? 0x3 : allTitles(m_titles.size());
        m_visibles = allTitles(m_titles.size());
        return true;
    }
    QSettings state(m_statePath, QSettings::IniFormat);
    state.beginGroup(s_stateGroup);
    auto parse = [](const QString &text, quint64 *value) {
        const QString digits = text.trimmed();
        if (!digits.startsWith(QLatin1String("0x"), Qt::CaseInsensitive)) {
            return false;
        }
        bool ok = false;
        *value = digits.mid(2).toULongLong(&ok, 16);
        return ok;
    };
    if (state.status() != QSettings::NoError ||
        !parse(state.value(QStringLiteral("favourites")).toString(), &m_favourites) ||
        !parse(state.value(QStringLiteral("visibles")).toString(), &m_visibles)) {
        *error = QStringLiteral("%1: want [%2] favourites=0x... and visibles=0x...")
                     .arg(m_statePath, s_stateGroup);
        return false;
    }
    return true;
}

bool KIVO_SimFts::start(const QDBusConnection &bus, QString *error)
{
    m_bus = bus;
    if (!m_bus.isConnected()) {
        *error = QStringLiteral("no session bus: %1").arg(m_bus.lastError().message());
        return false;
    }
    if (!m_bus.connect(QString(), s_path, s_interface, s_member, this,
                       SLOT(receiveMessage(QDBusMessage)))) {
        *error = QStringLiteral("cannot listen to %1 %2.%3: %4")
                     .arg(s_path, s_interface, s_member, m_bus.lastError().message());
        return false;
    }
    return true;
}

void KIVO_SimFts::setReplyDelay(int ms)
{
    m_delay = ms;
}

void KIVO_SimFts::setMute(bool mute)
{
    m_mute = mute;
}

void KIVO_SimFts::setTruncate(int bytes)
{
    m_truncate = bytes;
}

void KIVO_SimFts::setTitles(const QStringList &titles)
{
    m_titles = titles;
    if (m_titles.size() > s_maxTitles) {
        simLog(QStringLiteral("%1 titles, but the count byte holds %2: the rest are dropped")
                   .arg(m_titles.size())
                   .arg(s_maxTitles));
        m_titles = m_titles.mid(0, s_maxTitles);
    }
}

bool KIVO_SimFts::setSelections(quint64 favourites, quint64 visibles)
{
    m_favourites = favourites;
    m_visibles = visibles;
    return saveState();
}

quint64 KIVO_SimFts::favourites() const
{
    return m_favourites;
}

quint64 KIVO_SimFts::visibles() const
{
    return m_visibles;
}

QString KIVO_SimFts::lastMessage() const
{
    return m_lastMessage;
}

QByteArray KIVO_SimFts::lastData() const
{
    return m_lastData;
}

uint KIVO_SimFts::requestCount(const QString &message) const
{
    if (!message.isEmpty()) {
        return m_requests.value(message);
    }
    uint total = 0;
    for (uint count : m_requests) {
        total += count;
    }
    return total;
}

QString KIVO_SimFts::status() const
{
    QStringList lines;
    lines << QStringLiteral("listening on %1, answering on %2 as %3")
                 .arg(s_listenChannel, s_answerChannel, m_bus.baseService());
    lines << QStringLiteral("titles: %1").arg(m_titles.size());
    lines << QStringLiteral("favourites: %1").arg(hex64(m_favourites));
    lines << QStringLiteral("visibles: %1").arg(hex64(m_visibles));
    lines << QStringLiteral("state file: %1").arg(m_statePath);
    lines << QStringLiteral("answers: %1, delay %2 ms, %3")
                 .arg(m_mute ? QStringLiteral("muted") : QStringLiteral("on"))
                 .arg(m_delay)
                 .arg(m_truncate < 0 ? QStringLiteral("whole")
                                     : QStringLiteral("cut to %1 bytes").arg(m_truncate));
    lines << QStringLiteral("requests: %1").arg(requestCount(QString()));
    return lines.join(QLatin1Char('\n'));
}

void KIVO_SimFts::sendTitles()
{
    sendRaw(s_answerChannel, s_titlesResponse, titlesData());
}

void KIVO_SimFts::sendFavourites()
{
    sendRaw(s_answerChannel, s_favouritesResponse, bitmapData(m_favourites));
}

void KIVO_SimFts::sendVisibles()
{
    sendRaw(s_answerChannel, s_visiblesResponse, bitmapData(m_visibles));
}

void KIVO_SimFts::sendRaw(const QString &channel, const QString &message, const QByteArray &data)
{
    QDBusMessage signal = QDBusMessage::createSignal(s_path, s_interface, s_member);
    signal.setArguments({channel, message, data});
    m_bus.send(signal);
    simLog(QStringLiteral("-> %1 %2 [%3] %4")
               .arg(channel, message)
               .arg(data.size())
               .arg(simHex(data)));
}

void KIVO_SimFts::receiveMessage(const QDBusMessage &message)
{
    if (message.signature() != QLatin1String("ssay")) {
        simLog(QStringLiteral("<- %1 a QCop signal of signature (%2), not (ssay): ignored")
                   .arg(message.service(), message.signature()));
        return;
    }
    const QString channel = message.arguments().at(0).toString();
    if (channel != s_listenChannel) {
        return;
    }
    const QString name = message.arguments().at(1).toString();
    const QByteArray data = message.arguments().at(2).toByteArray();
    simLog(QStringLiteral("<- %1 %2 %3 [%4] %5")
               .arg(message.service(), channel, name)
               .arg(data.size())
               .arg(simHex(data)));
    m_lastMessage = name;
    m_lastData = data;
    ++m_requests[name];

    if (name == s_getTitles) {
        answer(s_titlesResponse, titlesData());
    } else if (name == s_getFavourites) {
        answer(s_favouritesResponse, bitmapData(m_favourites));
    } else if (name == s_getVisibles) {
        answer(s_visiblesResponse, bitmapData(m_visibles));
    } else if (name == s_setFavourites) {
        applyBitmap(data, &m_favourites, "favourites");
    } else if (name == s_setVisibles) {
        applyBitmap(data, &m_visibles, "visibles");
    } else {
        simLog(QStringLiteral("   not a request of the FTS engine: ignored"));
    }
}

QByteArray KIVO_SimFts::titlesData() const
{
    // Written with the stream's defaults: big-endian, Qt's own QString form (a 32-bit byte
    // count, then UTF-16 big-endian), the same in every stream version since Qt 4.
    QByteArray data;
    QDataStream out(&data, QIODevice::WriteOnly);
    out << qint8(quint8(m_titles.size()));
    for (const QString &title : m_titles) {
        out << title;
    }
    return data;
}

QByteArray KIVO_SimFts::bitmapData(quint64 bitmap)
{
    QByteArray data;
    QDataStream out(&data, QIODevice::WriteOnly);
    out << qint32(quint32(bitmap >> 32)) << qint32(quint32(bitmap));
    return data;
}

void KIVO_SimFts::answer(const QString &message, const QByteArray &data)
{
    if (m_mute) {
        simLog(QStringLiteral("   muted: %1 not sent").arg(message));
        return;
    }
    const QByteArray sent = m_truncate >= 0 ? data.left(m_truncate) : data;
    if (m_delay <= 0) {
        sendRaw(s_answerChannel, message, sent);
        return;
    }
    simLog(QStringLiteral("   %1 in %2 ms").arg(message).arg(m_delay));
    QTimer::singleShot(m_delay, this,
                       [this, message, sent] { sendRaw(s_answerChannel, message, sent); });
}

bool KIVO_SimFts::applyBitmap(const QByteArray &data, quint64 *bitmap, const char *what)
{
    QDataStream in(data);
    qint32 hi = 0;
    qint32 lo = 0;
    in >> hi >> lo;
    if (in.status() != QDataStream::Ok) {
        simLog(QStringLiteral("   %1 bytes, want hi and lo (8): %2 kept at %3")
                   .arg(data.size())
                   .arg(QLatin1String(what), hex64(*bitmap)));
        return false;
    }
    if (data.size() > 8) {
        simLog(QStringLiteral("   %1 bytes after hi and lo ignored").arg(data.size() - 8));
    }
    *bitmap = (quint64(quint32(hi)) << 32) | quint32(lo);
    simLog(QStringLiteral("   %1 now %2").arg(QLatin1String(what), hex64(*bitmap)));
    return saveState();
}

bool KIVO_SimFts::saveState()
{
    QDir().mkpath(QFileInfo(m_statePath).absolutePath());
    QSettings state(m_statePath, QSettings::IniFormat);
    state.beginGroup(s_stateGroup);
    state.setValue(QStringLiteral("favourites"), hex64(m_favourites));
    state.setValue(QStringLiteral("visibles"), hex64(m_visibles));
    state.endGroup();
    state.sync();
    if (state.status() != QSettings::NoError) {
        simLog(QStringLiteral("cannot write %1").arg(m_statePath));
        return false;
    }
    return true;
}
