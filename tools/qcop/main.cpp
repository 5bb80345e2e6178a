// kivo-qcop: sends and watches QCop messages on the session bus, so that an engineer can play
// either side of the FTS exchange from a shell and see what KIVO and the FTS engine say.
#include "KIVO_QcopData.h"
#include "QCopChannel.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QStringList>
#include <QTimer>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

namespace {

const char s_usage[] =
    "Usage: kivo-qcop send CHANNEL MESSAGE [DATA...]\n"
    "       kivo-qcop listen [--count N] [--timeout MS] CHANNEL [CHANNEL...]\n"
    "       kivo-qcop --help\n"
    "\n"
    "Sends or watches QCop messages: the D-Bus signal org.kivo.QCop.Message(s channel,\n"
    "s message, ay data) on /QCop, on the session bus.\n"
    "\n"
    "send: the DATA items are written in order into one data block, as QDataStream\n"
    "writes them (big-endian):\n"
    "  int8:N uint8:N int16:N uint16:N int32:N uint32:N int64:N uint64:N\n"
    "                    a number, decimal or 0x hexadecimal; a signed type also takes\n"
    "                    the unsigned range of its width and writes the bit pattern\n"
    "                    (int32:0x80000000, int8:200)\n"
    "  QString:TEXT      a QString: 32-bit byte count, then UTF-16 big-endian\n"
    "  hex:HEX           raw bytes, e.g. hex:0000000500000003 (blanks and ':' allowed)\n"
    "  --hex HEX         the same as hex:HEX\n"
    "\n"
    "listen: prints one line per message: channel, message and data, separated by tabs.\n"
    "The data of the FTS messages is decoded (titles; bitmap halves, bitmap and set bits),\n"
    "any other as hex. Stdout is line-buffered.\n"
    "  --count N         stop after N messages (exit 0)\n"
    "  --timeout MS      stop after MS milliseconds: exit 0, or 1 when --count was given\n"
    "                    and fewer messages came\n"
    "\n"
    "Examples (playing the FTS engine, then watching KIVO's requests):\n"
    "  kivo-qcop send kivo_listen_channel \"getFavouritesRsp(QString, QString)\" int32:5 "
    "int32:3\n"
    "  kivo-qcop listen fts_listen_channel\n"
    "\n"
    "Exit status: 0 done, 1 no session bus, listen timed out short or its output could not\n"
    "be written, 2 usage error.\n";

enum ExitCode { Done = 0, Failed = 1, UsageError = 2 };

int usageError(const QString &why)
{
    std::fprintf(stderr, "kivo-qcop: %s\n\n%s", qPrintable(why), s_usage);
    return UsageError;
}

bool outputFailed(int error)
{
    std::fprintf(stderr, "kivo-qcop: cannot write to standard output: %s\n", std::strerror(error));
    return false;
}

// Writes `text` and flushes it at once; false (said on stderr) when it does not all get out.
bool print(const QByteArray &text)
{
    errno = 0;
    if (std::fwrite(text.constData(), 1, text.size(), stdout) != static_cast<size_t>(text.size()) ||
        std::fflush(stdout) != 0) {
        return outputFailed(errno);
    }
    return true;
}

// Closes stdout, so that an error the kernel reports only at the close shows as well.
int closeOutput(int status)
{
    errno = 0;
    if (std::fclose(stdout) != 0) {
        outputFailed(errno);
        return Failed;
    }
    return status;
}

// A blocking call to the bus daemon on the connection QCop uses. The bus handles one
// connection's messages in order, so when it returns, everything sent before it (a message,
// a subscription) has been dealt with.
void roundTrip()
{
    QDBusConnection::sessionBus().interface()->isServiceRegistered(
        QStringLiteral("org.freedesktop.DBus"));
}

bool haveBus()
{
    if (QDBusConnection::sessionBus().isConnected()) {
        return true;
    }
    std::fprintf(stderr, "kivo-qcop: no session bus: %s\n",
                 qPrintable(QDBusConnection::sessionBus().lastError().message()));
    return false;
}

int send(const QStringList &arguments)
{
    if (arguments.size() < 2) {
        return usageError(QStringLiteral("send needs a channel and a message"));
    }
    QByteArray data;
    for (int i = 2; i < arguments.size(); ++i) {
        QString error;
        bool ok = false;
        if (arguments.at(i) == QLatin1String("--hex")) {
            if (++i == arguments.size()) {
                return usageError(QStringLiteral("--hex needs a value"));
            }
            ok = KIVO_QcopData::appendHex(arguments.at(i), &data, &error);
        } else if (arguments.at(i).startsWith(QLatin1String("--hex="))) {
            ok = KIVO_QcopData::appendHex(arguments.at(i).mid(6), &data, &error);
        } else {
            ok = KIVO_QcopData::appendItem(arguments.at(i), &data, &error);
        }
        if (!ok) {
            return usageError(error);
        }
    }
    if (!haveBus()) {
        return Failed;
    }
    QCopChannel::send(arguments.at(0).toUtf8(), arguments.at(1).toUtf8(), data);
    // Without the round trip the message could still be queued when the process ends.
    roundTrip();
    return Done;
}

bool parseCount(const QString &text, int *value)
{
    bool ok = false;
    *value = text.toInt(&ok);
    return ok && *value > 0;
}

int listen(QCoreApplication &app, const QStringList &arguments)
{
    int count = 0;
    int timeout = 0;
    QStringList channels;
    bool optionsDone = false;
    for (int i = 0; i < arguments.size(); ++i) {
        const QString &argument = arguments.at(i);
        if (!optionsDone && argument == QLatin1String("--")) {
            optionsDone = true;
        } else if (!optionsDone && (argument == QLatin1String("--count") ||
                                    argument == QLatin1String("--timeout"))) {
            int *target = argument == QLatin1String("--count") ? &count : &timeout;
            if (++i == arguments.size() || !parseCount(arguments.at(i), target)) {
                return usageError(QStringLiteral("%1 needs a positive number").arg(argument));
            }
        } else if (!optionsDone && argument.startsWith(QLatin1String("--"))) {
            return usageError(QStringLiteral("unknown option %1").arg(argument));
        } else if (!channels.contains(argument)) {
            // One object per channel: two on the same channel would print each message twice.
            channels << argument;
        }
    }
    if (channels.isEmpty()) {
        return usageError(QStringLiteral("listen needs at least one channel"));
    }
    if (!haveBus()) {
        return Failed;
    }

    int received = 0;
    bool outputLost = false;
    std::vector<std::unique_ptr<QCopChannel>> listeners;
    for (const QString &name : channels) {
        auto channel = std::make_unique<QCopChannel>(name.toUtf8());
        const QString shown = KIVO_QcopData::escaped(name);
        QObject::connect(channel.get(), &QCopChannel::received, &app,
                         [&app, &received, &outputLost, count, shown](const QByteArray &message,
                                                                      const QByteArray &data) {
                             if (outputLost || (count > 0 && received >= count)) {
                                 return;
                             }
                             ++received;
                             const QString line =
                                 shown + QLatin1Char('\t') +
                                 KIVO_QcopData::escaped(QString::fromUtf8(message)) +
                                 QLatin1Char('\t') + KIVO_QcopData::describe(message, data);
                             if (!print(line.toUtf8() + '\n')) {
                                 // Nobody reads what follows: stop at the first line that is lost.
                                 outputLost = true;
                                 app.exit(Failed);
                             } else if (count > 0 && received == count) {
                                 app.exit(Done);
                             }
                         });
        listeners.push_back(std::move(channel));
    }
    roundTrip();
    // Said once the subscriptions are in force: a script may start sending from here on.
    std::fprintf(stderr, "kivo-qcop: listening on %s\n",
                 qPrintable(channels.join(QLatin1String(", "))));

    QTimer timer;
    if (timeout > 0) {
        timer.setSingleShot(true);
        QObject::connect(&timer, &QTimer::timeout, &app,
                         [&app, count] { app.exit(count > 0 ? Failed : Done); });
        timer.start(timeout);
    }
    return app.exec();
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    std::setvbuf(stdout, nullptr, _IOLBF, 0);

    QStringList arguments = app.arguments().mid(1);
    if (arguments.contains(QLatin1String("--help")) || arguments.contains(QLatin1String("-h"))) {
        return closeOutput(print(s_usage) ? Done : Failed);
    }
    if (arguments.isEmpty()) {
        return usageError(QStringLiteral("no command"));
    }
    const QString command = arguments.takeFirst();
    if (command == QLatin1String("send")) {
        return send(arguments);
    }
    if (command == QLatin1String("listen")) {
        return closeOutput(listen(app, arguments));
    }
    return usageError(QStringLiteral("unknown command \"%1\"").arg(command));
}
