// kivo-sim-fts: the FTS engine on the QCop channels, for the demo and the tests.

#include "KIVO_SimFts.h"
#include "KIVO_SimFtsControl.h"
#include "KIVO_SimLog.h"

#include "PlRoot.h"

#include <QCommandLineParser>
#include "KIVO_SimData.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QFileInfo>

#include <cstdio>

namespace {

const char s_titlesDevicePath[] = "/etc/kivo/sim/fts-titles.txt";
const char s_stateDevicePath[] = "/var/lib/kivo-sim/fts-selections.ini";
const char s_shippedTitlesName[] = "kivo-sim-fts-titles.txt";

int fail(const QString &text)
{
    std::fprintf(stderr, "kivo-sim-fts: %s\n", qPrintable(text));
    return 2;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("kivo-sim-fts"));

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Stands in for the FTS engine: listens on the QCop channel "
                       "fts_listen_channel and answers on kivo_listen_channel.\nControl it "
                       "from a shell through org.kivo.Sim.Fts on /org/kivo/Sim (see "
                       "sim/README.md)."));
    parser.addHelpOption();
    const QString shippedTitles = kivoSimShippedFile(s_shippedTitlesName);
    parser.addOptions({
        {QStringLiteral("titles"),
         QStringLiteral("The titles file; an absolute path is taken under KIVO_ROOT (default %1).")
             .arg(QLatin1String(s_titlesDevicePath)),
         QStringLiteral("file")},
        {QStringLiteral("default-titles"),
         QStringLiteral("Read when the titles file is missing, as given (default %1).")
             .arg(shippedTitles),
         QStringLiteral("file")},
        {QStringLiteral("state"),
         QStringLiteral("Where favourites and visibles are kept; an absolute path is taken under "
                        "KIVO_ROOT (default %1).")
             .arg(QLatin1String(s_stateDevicePath)),
         QStringLiteral("file")},
        {QStringLiteral("delay"), QStringLiteral("Answer every request after this many ms."),
         QStringLiteral("ms")},
        {QStringLiteral("mute"), QStringLiteral("Answer no request (set requests still apply).")},
        {QStringLiteral("truncate"),
         QStringLiteral("Cut every answer's data to at most this many bytes."),
         QStringLiteral("bytes")},
    });
    parser.process(app);

    QString titlesPath = plRootedPath(parser.isSet(QStringLiteral("titles"))
                                          ? parser.value(QStringLiteral("titles"))
                                          : QString::fromLatin1(s_titlesDevicePath));
    if (!QFileInfo::exists(titlesPath)) {
        titlesPath = parser.isSet(QStringLiteral("default-titles"))
                         ? parser.value(QStringLiteral("default-titles"))
                         : shippedTitles;
    }
    QStringList titles;
    QString error;
    if (!KIVO_SimFts::readTitles(titlesPath, &titles, &error)) {
        return fail(error);
    }
    const QString statePath = plRootedPath(parser.isSet(QStringLiteral("state"))
                                               ? parser.value(QStringLiteral("state"))
                                               : QString::fromLatin1(s_stateDevicePath));

    KIVO_SimFts sim(titles, statePath);
    if (!sim.loadState(&error)) {
        return fail(error);
    }
    if (parser.isSet(QStringLiteral("delay"))) {
        qint64 ms = 0;
        if (!simParseNumber(parser.value(QStringLiteral("delay")), &ms) || ms < 0 || ms > 3600000) {
            return fail(QStringLiteral("--delay wants milliseconds from 0 to 3600000"));
        }
        sim.setReplyDelay(int(ms));
    }
    sim.setMute(parser.isSet(QStringLiteral("mute")));
    if (parser.isSet(QStringLiteral("truncate"))) {
        qint64 bytes = 0;
        if (!simParseNumber(parser.value(QStringLiteral("truncate")), &bytes) || bytes < 0 ||
            bytes > 0x7FFFFFFF) {
            return fail(QStringLiteral("--truncate wants a byte count"));
        }
        sim.setTruncate(int(bytes));
    }

    const QDBusConnection bus = QDBusConnection::sessionBus();
    KIVO_SimFtsControl control(&sim);
    // Listen first: once the control name shows, requests are heard.
    if (!sim.start(bus, &error) || !control.start(bus, &error)) {
        return fail(error);
    }
    simLog(QStringLiteral("%1 titles from %2; state %3; control org.kivo.Sim.Fts on %4")
               .arg(titles.size())
               .arg(titlesPath, statePath, bus.baseService()));
    return app.exec();
}
