// kivo-mm-bridge: the telephony service org.kivo.Telephony on a phone whose modem ModemManager
// drives.

#include "KIVO_MMCellWarnings.h"
#include "KIVO_MMClient.h"
#include "KIVO_MMTelephony.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>

#include <cstdio>

namespace {

const int s_defaultLockTimeoutMs = 60000;

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("kivo-mm-bridge"));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Serves KIVO's telephony service org.kivo.Telephony on the session bus from a modem that "
        "ModemManager drives on the system bus."));
    parser.addHelpOption();
    parser.addOptions({
        {QStringLiteral("modem"),
         QStringLiteral("Follow this ModemManager modem object (default: the lowest-numbered)."),
         QStringLiteral("path")},
        {QStringLiteral("lock-timeout"),
         QStringLiteral("Time the modem has to camp on a locked EARFCN before the sticker "
                        "reports failure (default 60000)."),
         QStringLiteral("ms")},
    });
    parser.process(app);

    int lockTimeoutMs = s_defaultLockTimeoutMs;
    if (parser.isSet(QStringLiteral("lock-timeout"))) {
        bool ok = false;
        lockTimeoutMs = parser.value(QStringLiteral("lock-timeout")).toInt(&ok);
        if (!ok || lockTimeoutMs < 1 || lockTimeoutMs > 3600000) {
            std::fprintf(stderr, "kivo-mm-bridge: --lock-timeout wants 1 to 3600000 ms\n");
            return 2;
        }
    }

    QDBusConnection session = QDBusConnection::sessionBus();
    if (!session.isConnected()) {
        std::fprintf(stderr, "kivo-mm-bridge: no session bus: %s\n",
                     qPrintable(session.lastError().message()));
        return 2;
    }
    const QString owner =
        session.interface()->serviceOwner(QStringLiteral("org.kivo.Telephony")).value();
    if (!owner.isEmpty()) {
        std::fprintf(stderr,
                     "kivo-mm-bridge: org.kivo.Telephony is owned by another process (%s); not "
                     "replacing it\n",
                     qPrintable(owner));
        return 1;
    }

    KIVO_MMClient client(QDBusConnection::systemBus(), parser.value(QStringLiteral("modem")));
    KIVO_MMTelephony telephony(&client, session, lockTimeoutMs);
    QString error;
    if (!telephony.start(&error)) {
        std::fprintf(stderr, "kivo-mm-bridge: %s\n", qPrintable(error));
        return 2;
    }
    KIVO_MMCellWarnings warnings(&client, session);
    client.start();
    return app.exec();
}
