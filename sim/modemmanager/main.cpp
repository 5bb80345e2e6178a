// kivo-sim-modemmanager: a stand-in for the ModemManager daemon, for the bridge's tests and the
// demo. It serves the daemon's name on the system bus (DBUS_SYSTEM_BUS_ADDRESS, normally a
// private bus) and its control interface on the session bus.

#include "KIVO_SimLog.h"
#include "KIVO_SimModemManager.h"
#include "KIVO_SimModemManagerControl.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDBusConnection>

#include <cstdio>

namespace {

int fail(const QString &text)
{
    std::fprintf(stderr, "kivo-sim-modemmanager: %s\n", qPrintable(text));
    return 2;
}

// The bands of a Quectel EG25-G as MMModemBand values (E-UTRAN band n is 30 + n).
const QList<uint> s_eg25Bands = {31, 32, 33, 34, 35, 37, 38, 42, 43, 48,
                                 49, 50, 55, 56, 58, 68, 69, 70, 71};

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("kivo-sim-modemmanager"));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Stands in for the ModemManager daemon on the system bus (DBUS_SYSTEM_BUS_ADDRESS).\n"
        "Control it through org.kivo.Sim.ModemManager on /org/kivo/Sim on the session bus (see "
        "sim/README.md)."));
    parser.addHelpOption();
    parser.addOptions({
        {QStringLiteral("no-modem"),
         QStringLiteral("Start with no modem (add one with AddModem).")},
        {QStringLiteral("manufacturer"),
         QStringLiteral("Manufacturer of the first modem (default QUECTEL)."),
         QStringLiteral("text")},
        {QStringLiteral("no-debug"),
         QStringLiteral("Run as a daemon without --debug: Command is refused.")},
        {QStringLiteral("no-cell-info"),
         QStringLiteral("GetCellInfo answers \"not supported\", as on ModemManager 1.20 with a QMI "
                        "modem.")},
        {QStringLiteral("camp-delay"),
         QStringLiteral("Time the modem takes to camp after a lock (default 500)."),
         QStringLiteral("ms")},
    });
    parser.process(app);

    KIVO_SimModemManager sim;
    if (parser.isSet(QStringLiteral("camp-delay"))) {
        qint64 ms = 0;
        if (!simParseNumber(parser.value(QStringLiteral("camp-delay")), &ms) || ms < 0 ||
            ms > 3600000) {
            return fail(QStringLiteral("--camp-delay wants 0 to 3600000 ms"));
        }
        sim.setCampDelay(int(ms));
    }
    sim.setDebugMode(!parser.isSet(QStringLiteral("no-debug")));

    QString error;
    KIVO_SimModemManagerControl control(&sim);
    if (!sim.start(QDBusConnection::systemBus(), &error) ||
        !control.start(QDBusConnection::sessionBus(), &error)) {
        return fail(error);
    }
    if (!parser.isSet(QStringLiteral("no-modem"))) {
        const QString manufacturer = parser.isSet(QStringLiteral("manufacturer"))
                                         ? parser.value(QStringLiteral("manufacturer"))
                                         : QStringLiteral("QUECTEL");
        const QString path = sim.addModem(manufacturer, QStringLiteral("EG25"), s_eg25Bands);
        // A serving cell on band 3 and neighbours on bands 20 and 7.
        sim.setCells(path, {{1300, 12, QStringLiteral("B12"), QStringLiteral("1A2B301")},
                            {6300, 7, QStringLiteral("B12"), QStringLiteral("1A2B302")},
                            {3050, 301, QStringLiteral("B13"), QStringLiteral("1A2B303")}});
        sim.setCellInfoSupported(path, !parser.isSet(QStringLiteral("no-cell-info")));
    }
    if (!sim.appear()) {
        return fail(QStringLiteral("org.freedesktop.ModemManager1 is taken"));
    }
    return app.exec();
}
