// kivo-sim-telephony: the telephony service on the session bus, for the demo and the tests.

#include "KIVO_GsmBands.h"
#include "KIVO_SimCellList.h"
#include "KIVO_SimLog.h"
#include "KIVO_SimTelephony.h"
#include "KIVO_SimTelephonyControl.h"

#include "PlRoot.h"

#include <QCommandLineParser>
#include "KIVO_SimData.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QFileInfo>
#include <QTimer>

#include <climits>
#include <cstdio>

namespace {

const char s_cellsDevicePath[] = "/etc/kivo/sim/cells.txt";
const char s_shippedCellsName[] = "kivo-sim-cells.txt";

int fail(const QString &text)
{
    std::fprintf(stderr, "kivo-sim-telephony: %s\n", qPrintable(text));
    return 2;
}

bool parseMs(const QCommandLineParser &parser, const QString &option, int *ms)
{
    if (!parser.isSet(option)) {
        return true;
    }
    qint64 value = 0;
    if (!simParseNumber(parser.value(option), &value) || value < 0 || value > 3600000) {
        return false;
    }
    *ms = int(value);
    return true;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("kivo-sim-telephony"));

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Stands in for the telephony service org.kivo.Telephony on the session "
                       "bus.\nControl it from a shell through org.kivo.Sim.Telephony on "
                       "/org/kivo/Sim (see sim/README.md).\n\nGSM bands (ARFCNs):\n") +
        KIVO_GsmBands::table());
    parser.addHelpOption();
    const QString shippedCells = kivoSimShippedFile(s_shippedCellsName);
    parser.addOptions({
        {QStringLiteral("cells"),
         QStringLiteral("The cell list; an absolute path is taken under KIVO_ROOT (default %1).")
             .arg(QLatin1String(s_cellsDevicePath)),
         QStringLiteral("file")},
        {QStringLiteral("default-cells"),
         QStringLiteral("Read when the cell list is missing, as given (default %1).")
             .arg(shippedCells),
         QStringLiteral("file")},
        {QStringLiteral("bands"),
         QStringLiteral("Bands the phone works in (default E-GSM900,DCS1800)."),
         QStringLiteral("list")},
        {QStringLiteral("register-result"),
         QStringLiteral("Every Register answers this (negative: refused) instead of a new handle."),
         QStringLiteral("n")},
        {QStringLiteral("force-status"),
         QStringLiteral("Every call of METHOD (or all) answers STATUS; repeatable."),
         QStringLiteral("method=status")},
        {QStringLiteral("force-event"),
         QStringLiteral("Every sticker outcome carries this result code alone."),
         QStringLiteral("code")},
        {QStringLiteral("absent"),
         QStringLiteral("Start without org.kivo.Telephony; take it on Appear or --appear-after.")},
        {QStringLiteral("appear-after"),
         QStringLiteral("Take org.kivo.Telephony only after this many ms."), QStringLiteral("ms")},
        {QStringLiteral("vanish-after"),
         QStringLiteral("Give org.kivo.Telephony up after this many ms."), QStringLiteral("ms")},
        {QStringLiteral("return-after"),
         QStringLiteral("With --vanish-after: take the name back after this many ms (default: "
                        "stay away until Appear)."),
         QStringLiteral("ms")},
        {QStringLiteral("reply-delay"),
         QStringLiteral("Answer every method call after this many ms (over 3000: clients time "
                        "out)."),
         QStringLiteral("ms")},
        {QStringLiteral("outcome-delay"),
         QStringLiteral("Time from an accepted sticker request to its outcome event, and between "
                        "outcomes (default 300)."),
         QStringLiteral("ms")},
        {QStringLiteral("scanning"),
         QStringLiteral("Report \"Scanning for Cell\" (8) before each sticker outcome on a band in "
                        "use.")},
        {QStringLiteral("cell-bar-mode"), QStringLiteral("Initial cell bar access mode (0, 1, 2)."),
         QStringLiteral("mode")},
        {QStringLiteral("unicast-events"),
         QStringLiteral("Send each Event only to the clients registered for its type, not as a "
                        "broadcast.")},
    });
    parser.process(app);

    QString cellsPath = plRootedPath(parser.isSet(QStringLiteral("cells"))
                                         ? parser.value(QStringLiteral("cells"))
                                         : QString::fromLatin1(s_cellsDevicePath));
    if (!QFileInfo::exists(cellsPath)) {
        cellsPath = parser.isSet(QStringLiteral("default-cells"))
                        ? parser.value(QStringLiteral("default-cells"))
                        : shippedCells;
    }
    KIVO_SimCellList cells;
    QString error;
    if (!cells.load(cellsPath, &error)) {
        return fail(error);
    }

    KIVO_GsmBands bands;
    if (parser.isSet(QStringLiteral("bands")) &&
        !KIVO_GsmBands::parse(parser.value(QStringLiteral("bands")), &bands, &error)) {
        return fail(QStringLiteral("--bands: ") + error);
    }

    KIVO_SimTelephony sim(cells, cellsPath, bands);
    if (parser.isSet(QStringLiteral("register-result"))) {
        qint64 result = 0;
        if (!simParseNumber(parser.value(QStringLiteral("register-result")), &result) ||
            result < INT_MIN || result > INT_MAX) {
            return fail(QStringLiteral("--register-result wants an int"));
        }
        sim.forceStatus(QStringLiteral("Register"), int(result), 0);
    }
    for (const QString &item : parser.values(QStringLiteral("force-status"))) {
        const QString method = item.section(QLatin1Char('='), 0, 0);
        qint64 status = 0;
        if (!KIVO_SimTelephony::isMethodName(method) ||
            !simParseNumber(item.section(QLatin1Char('='), 1), &status) || status < INT_MIN ||
            status > INT_MAX) {
            return fail(QStringLiteral("--force-status wants METHOD=STATUS, got \"%1\"").arg(item));
        }
        sim.forceStatus(method, int(status), 0);
    }
    if (parser.isSet(QStringLiteral("force-event"))) {
        qint64 code = 0;
        if (!simParseNumber(parser.value(QStringLiteral("force-event")), &code) || code < 0 ||
            code > 0xFFFFFFFFLL) {
            return fail(QStringLiteral("--force-event wants a 32-bit code"));
        }
        sim.forceEvent(quint32(code), 0);
    }
    int appearAfter = 0;
    int vanishAfter = 0;
    int returnAfter = 0;
    int replyDelay = 0;
    int outcomeDelay = 300;
    if (!parseMs(parser, QStringLiteral("appear-after"), &appearAfter) ||
        !parseMs(parser, QStringLiteral("vanish-after"), &vanishAfter) ||
        !parseMs(parser, QStringLiteral("return-after"), &returnAfter) ||
        !parseMs(parser, QStringLiteral("reply-delay"), &replyDelay) ||
        !parseMs(parser, QStringLiteral("outcome-delay"), &outcomeDelay)) {
        return fail(QStringLiteral("times are milliseconds from 0 to 3600000"));
    }
    sim.setReplyDelay(QStringLiteral("all"), replyDelay);
    sim.setOutcomeDelay(outcomeDelay);
    sim.setScanning(parser.isSet(QStringLiteral("scanning")));
    if (parser.isSet(QStringLiteral("cell-bar-mode"))) {
        qint64 mode = 0;
        if (!simParseNumber(parser.value(QStringLiteral("cell-bar-mode")), &mode) || mode < 0 ||
            mode > 2) {
            return fail(QStringLiteral("--cell-bar-mode wants 0, 1 or 2"));
        }
        sim.setCellBarAccessMode(int(mode));
    }
    if (parser.isSet(QStringLiteral("unicast-events"))) {
        sim.setDelivery(KIVO_SimTelephony::Delivery::Registered);
    }

    const QDBusConnection bus = QDBusConnection::sessionBus();
    KIVO_SimTelephonyControl control(&sim);
    if (!sim.start(bus, &error) || !control.start(bus, &error)) {
        return fail(error);
    }
    simLog(QStringLiteral("%1 cells from %2; bands %3; control org.kivo.Sim.Telephony on %4")
               .arg(cells.cells().size())
               .arg(cellsPath, bands.names(), bus.baseService()));

    if (parser.isSet(QStringLiteral("appear-after"))) {
        QTimer::singleShot(appearAfter, &sim, [&sim] { sim.appear(); });
    } else if (!parser.isSet(QStringLiteral("absent")) && !sim.appear()) {
        return fail(QStringLiteral("org.kivo.Telephony is taken"));
    }
    if (parser.isSet(QStringLiteral("vanish-after"))) {
        QTimer::singleShot(vanishAfter, &sim, [&sim, returnAfter] { sim.vanish(returnAfter); });
    }
    return app.exec();
}
