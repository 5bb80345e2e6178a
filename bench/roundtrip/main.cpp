// kivo-bench-roundtrip: the FTS titles round trip of KIVO's engine against the FTS engine on
// the session bus, measured beside a raw broadcast round trip of the same size between two
// processes on the same bus, alternately, one of each per round.
//
// FTS: from getTitleInfo() (the request "getTitles(QString,QString)" goes out) until the answer
// "getTiltlesRsp(QString, QString)" has been decoded into the engine's titles.
// Raw: the same two broadcast signals, with names, signature and sizes as on the QCop channels
// (interface and path names of the same lengths), between this process and an echo peer that
// answers each ping with a pong carrying as many data bytes as the FTS engine's answer does;
// nothing is decoded. The echo peer is this program started again with --echo BYTES; it is
// ended by its process id.
//
// Prints "size request=<data bytes> response=<data bytes>" once, then one line per round trip,
// "fts <ns>" or "raw <ns>"; "error: ..." and status 1 when a round trip does not complete.
// KIVO's traces (stderr) go to /dev/null here.
#include "KIVO_Engine.h"
#include "KIVO_FtsWire.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QElapsedTimer>
#include <QProcess>
#include <QTimer>

#include <csignal>
#include <cstdio>
#include <ctime>
#include <functional>
#include <sys/prctl.h>

namespace {

const char s_pingPath[] = "/Ping";              // as long as "/QCop"
const char s_pingInterface[] = "org.kivo.Ping"; // as long as "org.kivo.QCop"
const char s_pongPath[] = "/Pong";
const char s_pongInterface[] = "org.kivo.Pong";
const char s_member[] = "Message";
const char s_signature[] = "ssay";
constexpr int s_timeoutMs = 2000;

qint64 nowNs()
{
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return qint64(now.tv_sec) * 1000000000LL + now.tv_nsec;
}

QDBusMessage broadcast(const char *path, const char *interface, const char *channel,
                       const char *message, const QByteArray &data)
{
    QDBusMessage signal =
        QDBusMessage::createSignal(QLatin1String(path), QLatin1String(interface), s_member);
    signal << QString::fromLatin1(channel) << QString::fromLatin1(message) << data;
    return signal;
}

// Runs the event loop until `done` holds; false when the time is up first.
bool waitUntil(const std::function<bool()> &done, int timeoutMs)
{
    QElapsedTimer elapsed;
    elapsed.start();
    QTimer wake; // wakes a wait that nothing else would end
    wake.start(timeoutMs);
    while (!done()) {
        if (elapsed.elapsed() >= timeoutMs) {
            return false;
        }
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    return true;
}

// The echo peer: every ping is answered at once with a pong of the given data size.
class Echo : public QObject {
    Q_OBJECT

public:
    explicit Echo(int responseBytes)
        : m_pong(broadcast(s_pongPath, s_pongInterface, KIVO_FtsWire::kResponseChannel,
                           KIVO_FtsWire::kTitlesResponse, QByteArray(responseBytes, 'T')))
    {
    }

public slots:
    void ping(const QString &, const QString &, const QByteArray &)
    {
        QDBusConnection::sessionBus().send(m_pong);
    }

private:
    QDBusMessage m_pong;
};

// The measuring side of the raw round trip.
class Pinger : public QObject {
    Q_OBJECT

public:
    bool answered = false;

public slots:
    void pong(const QString &, const QString &, const QByteArray &)
    {
        answered = true;
    }
};

int runEcho(int responseBytes)
{
    Echo echo(responseBytes);
    if (!QDBusConnection::sessionBus().connect(QString(), s_pingPath, s_pingInterface, s_member,
                                               s_signature, &echo,
                                               SLOT(ping(QString, QString, QByteArray)))) {
        std::printf("error: the echo peer cannot listen on the bus\n");
        return 1;
    }
    return QCoreApplication::exec();
}

// The data size of the titles answer as it travelled: a count byte, then per title a 32-bit
// length and the UTF-16 code units.
int titlesDataSize(const KIVO_Engine &engine)
{
    int bytes = 1;
    for (int i = 0; i < engine.titlesNum; ++i) {
        bytes += 4 + 2 * int(engine.titlesArray[i].size());
    }
    return bytes;
}

bool ftsRoundTrip(KIVO_Engine &engine, qint64 *ns)
{
    engine.titlesNum = 0; // the engine asks only while it knows no titles
    const qint64 start = nowNs();
    engine.getTitleInfo();
    const bool done = waitUntil([&engine] { return engine.titlesNum != 0; }, s_timeoutMs);
    *ns = nowNs() - start;
    return done;
}

bool rawRoundTrip(Pinger &pinger, const QDBusMessage &ping, qint64 *ns, int timeoutMs)
{
    pinger.answered = false;
    const qint64 start = nowNs();
    QDBusConnection::sessionBus().send(ping);
    const bool done = waitUntil([&pinger] { return pinger.answered; }, timeoutMs);
    *ns = nowNs() - start;
    return done;
}

int runMeasure(int rounds, int warmups)
{
    if (!QDBusConnection::sessionBus().isConnected()) {
        std::printf("error: no session bus\n");
        return 1;
    }
    KIVO_Engine engine;
    qint64 ns = 0;
    if (!ftsRoundTrip(engine, &ns)) {
        std::printf("error: the FTS engine does not answer getTitles\n");
        return 1;
    }
    const int responseBytes = titlesDataSize(engine);
    std::printf("size request=0 response=%d titles=%d\n", responseBytes, engine.titlesNum);

    QProcess echo;
    echo.setProgram(QCoreApplication::applicationFilePath());
    echo.setArguments({QStringLiteral("--echo"), QString::number(responseBytes)});
    echo.setProcessChannelMode(QProcess::ForwardedOutputChannel);
    // Should this program die, the echo peer goes too.
    echo.setChildProcessModifier([] { prctl(PR_SET_PDEATHSIG, SIGTERM); });
    echo.start();
    if (!echo.waitForStarted()) {
        std::printf("error: the echo peer does not start\n");
        return 1;
    }
    auto endEcho = [&echo] {
        echo.terminate(); // SIGTERM to the echo's process id
        if (!echo.waitForFinished(3000)) {
            echo.kill();
            echo.waitForFinished(3000);
        }
    };

    Pinger pinger;
    QDBusConnection::sessionBus().connect(QString(), s_pongPath, s_pongInterface, s_member,
                                          s_signature, &pinger,
                                          SLOT(pong(QString, QString, QByteArray)));
    const QDBusMessage ping = broadcast(s_pingPath, s_pingInterface, KIVO_FtsWire::kRequestChannel,
                                        KIVO_FtsWire::kGetTitles, QByteArray());
    // Pings until the echo peer listens: a ping sent before it does is lost.
    bool listening = false;
    for (int attempt = 0; attempt < 100 && !listening; ++attempt) {
        listening = rawRoundTrip(pinger, ping, &ns, 100);
    }
    if (!listening) {
        std::printf("error: the echo peer does not answer\n");
        endEcho();
        return 1;
    }

    int status = 0;
    for (int round = 0; round < warmups + rounds && status == 0; ++round) {
        qint64 fts = 0;
        qint64 raw = 0;
        if (!ftsRoundTrip(engine, &fts)) {
            std::printf("error: FTS round trip %d timed out\n", round);
            status = 1;
        } else if (!rawRoundTrip(pinger, ping, &raw, s_timeoutMs)) {
            std::printf("error: raw round trip %d timed out\n", round);
            status = 1;
        } else if (round >= warmups) {
            std::printf("fts %lld\nraw %lld\n", static_cast<long long>(fts),
                        static_cast<long long>(raw));
        }
    }
    endEcho();
    std::fflush(stdout);
    return status;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    int rounds = 200;
    int warmups = 20;
    int echoBytes = -1;
    const QStringList args = app.arguments();
    for (int i = 1; i < args.size(); ++i) {
        const QString &arg = args.at(i);
        const bool hasValue = i + 1 < args.size();
        if (arg == QLatin1String("--rounds") && hasValue) {
            rounds = args.at(++i).toInt();
        } else if (arg == QLatin1String("--warmups") && hasValue) {
            warmups = args.at(++i).toInt();
        } else if (arg == QLatin1String("--echo") && hasValue) {
            echoBytes = args.at(++i).toInt();
        } else {
            std::printf("error: usage: kivo-bench-roundtrip [--rounds N] [--warmups N]\n");
            return 2;
        }
    }
    if (!std::freopen("/dev/null", "w", stderr)) {
        std::printf("error: cannot send stderr to /dev/null\n");
        return 1;
    }
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    if (echoBytes >= 0) {
        return runEcho(echoBytes);
    }
    return runMeasure(rounds, warmups);
}

#include "main.moc"
