// kivo-status: what KIVO has set on this phone, for the field. Reads KIVO's settings files
// under KIVO_ROOT as KIVO does and changes nothing; needs neither a display nor the bus, except
// with --telephony, which asks the telephony service what it can do.
#include "KIVO_StatusReport.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QStringList>
#include <QVariantMap>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace {

const char s_usage[] =
    "Usage: kivo-status [--json | --telephony]\n"
    "\n"
    "Prints what KIVO has set on this phone: FTS availability, the cell sticker mode, state\n"
    "and stored ARFCN with its GSM band, the last accepted cell bar access mode and the two\n"
    "cell change warnings, read from KIVO's settings file and from /tmp/kivo (under\n"
    "KIVO_ROOT when it is set). A setting that differs from its default is marked with '!'.\n"
    "Missing files read as the defaults, as in KIVO. Nothing is created or changed.\n"
    "\n"
    "  --json       the same as one JSON object\n"
    "  --telephony  instead, what the program serving org.kivo.Telephony on the session bus\n"
    "               says it can do (its GetCapabilities)\n"
    "  --help       this text\n"
    "\n"
    "Exit status: 0 done, 1 the report could not be written out, 2 usage error.\n";

// Writes `text` to stdout and closes it, so that every error shows (a full disk, a closed
// pipe). On failure says so on stderr and returns 1.
int writeOut(const QByteArray &text)
{
    errno = 0;
    const bool written =
        std::fwrite(text.constData(), 1, text.size(), stdout) == static_cast<size_t>(text.size()) &&
        std::fflush(stdout) == 0;
    const int error = errno;
    if (std::fclose(stdout) == 0 && written) {
        return 0;
    }
    std::fprintf(stderr, "kivo-status: cannot write to standard output: %s\n",
                 std::strerror(written ? errno : error));
    return 1;
}

// The capabilities of whatever serves org.kivo.Telephony, one "key value" line each, keys in
// order; or why there are none.
QString telephonyReport()
{
    const QString name = QStringLiteral("org.kivo.Telephony");
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        return QStringLiteral("%1: no session bus\n").arg(name);
    }
    const QString owner = bus.interface()->serviceOwner(name).value();
    if (owner.isEmpty()) {
        return QStringLiteral("%1: not served\n").arg(name);
    }
    const QDBusMessage reply =
        bus.call(QDBusMessage::createMethodCall(name, QStringLiteral("/org/kivo/Telephony"), name,
                                                QStringLiteral("GetCapabilities")),
                 QDBus::Block, 3000);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.signature() != QLatin1String("a{sv}")) {
        return QStringLiteral("%1 (%2): capabilities not told (%3)\n")
            .arg(name, owner,
                 reply.type() == QDBusMessage::ErrorMessage ? reply.errorName()
                                                            : reply.signature());
    }
    const QVariantMap capabilities = qdbus_cast<QVariantMap>(reply.arguments().at(0));
    QString text = QStringLiteral("%1 (%2)\n").arg(name, owner);
    for (auto it = capabilities.cbegin(); it != capabilities.cend(); ++it) {
        const QVariant &value = it.value();
        text += QStringLiteral("  %1 %2\n")
                    .arg(it.key(), -14)
                    .arg(value.typeId() == QMetaType::Bool
                             ? QString::fromLatin1(value.toBool() ? "yes" : "no")
                             : value.toString());
    }
    return text;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList arguments = app.arguments().mid(1);
    bool json = false;
    bool telephony = false;
    for (const QString &argument : arguments) {
        if (argument == QLatin1String("--help") || argument == QLatin1String("-h")) {
            return writeOut(s_usage);
        }
        if (argument == QLatin1String("--telephony") && !json) {
            telephony = true;
            continue;
        }
        if (argument != QLatin1String("--json") || telephony) {
            std::fprintf(stderr, "kivo-status: unknown argument \"%s\"\n\n%s", qPrintable(argument),
                         s_usage);
            return 2;
        }
        json = true;
    }
    if (telephony) {
        return writeOut(telephonyReport().toUtf8());
    }
    const KIVO_StatusReport report = KIVO_StatusReport::read();
    return writeOut(json ? report.json() : report.text().toUtf8());
}
