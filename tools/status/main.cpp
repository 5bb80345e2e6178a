// kivo-status: what KIVO has set on this phone, for the field. Reads KIVO's settings files
// under KIVO_ROOT as KIVO does and changes nothing; needs neither a display nor the bus.
#include "KIVO_StatusReport.h"

#include <QCoreApplication>
#include <QStringList>

#include <cstdio>

namespace {

const char s_usage[] =
    "Usage: kivo-status [--json]\n"
    "\n"
    "Prints what KIVO has set on this phone: FTS availability, the cell sticker mode, state\n"
    "and stored ARFCN with its GSM band, the last accepted cell bar access mode and the two\n"
    "cell change warnings, read from KIVO's settings file and from /tmp/kivo (under\n"
    "KIVO_ROOT when it is set). A setting that differs from its default is marked with '!'.\n"
    "Missing files read as the defaults, as in KIVO. Nothing is created or changed.\n"
    "\n"
    "  --json    the same as one JSON object\n"
    "  --help    this text\n";

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList arguments = app.arguments().mid(1);
    bool json = false;
    for (const QString &argument : arguments) {
        if (argument == QLatin1String("--help") || argument == QLatin1String("-h")) {
            std::fputs(s_usage, stdout);
            return 0;
        }
        if (argument != QLatin1String("--json")) {
            std::fprintf(stderr, "kivo-status: unknown argument \"%s\"\n\n%s", qPrintable(argument),
                         s_usage);
            return 2;
        }
        json = true;
    }
    const KIVO_StatusReport report = KIVO_StatusReport::read();
    std::fputs(json ? report.json().constData() : report.text().toUtf8().constData(), stdout);
    return 0;
}
