// kivo-status: what KIVO has set on this phone, for the field. Reads KIVO's settings files
// under KIVO_ROOT as KIVO does and changes nothing; needs neither a display nor the bus.
#include "KIVO_StatusReport.h"

#include <QCoreApplication>
#include <QStringList>

#include <cerrno>
#include <cstdio>
#include <cstring>

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
    "  --help    this text\n"
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

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList arguments = app.arguments().mid(1);
    bool json = false;
    for (const QString &argument : arguments) {
        if (argument == QLatin1String("--help") || argument == QLatin1String("-h")) {
            return writeOut(s_usage);
        }
        if (argument != QLatin1String("--json")) {
            std::fprintf(stderr, "kivo-status: unknown argument \"%s\"\n\n%s", qPrintable(argument),
                         s_usage);
            return 2;
        }
        json = true;
    }
    const KIVO_StatusReport report = KIVO_StatusReport::read();
    return writeOut(json ? report.json() : report.text().toUtf8());
}
