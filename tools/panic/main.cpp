// kivo-panic: the panics of KIVO's four panic sources on a console, with the readers and texts
// of the panic viewer, and the service bundle that carries them off the phone.
#include "KIVO_CrashText.h"
#include "KIVO_PanicBundle.h"
#include "KIVO_PanicSource.h"
#include "KIVO_PanicText.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStringList>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

namespace {

const char *const s_usage =
    "Usage: kivo-panic [--json] [--quiet] list SOURCE\n"
    "       kivo-panic [--json] [--quiet] show SOURCE N\n"
    "       kivo-panic [--json] [--quiet] timeline\n"
    "       kivo-panic [--quiet] bundle [--output DIR] [--with-dumps]\n"
    "       kivo-panic --help\n"
    "\n"
    "Reads KIVO's panic sources (under $KIVO_ROOT when it is set) and prints them.\n"
    "\n"
    "Commands:\n"
    "  list SOURCE     the panics of one source, one row each, as the panic list shows them\n"
    "  show SOURCE N   panic number N in full, as the panic detail shows it\n"
    "                  (the kernel panic is number 1)\n"
    "  timeline        the panics of all sources, oldest first\n"
    "  bundle          write a service bundle (tar.gz) and print its path\n"
    "\n"
    "SOURCE is bp, ap, quirn or kernel, or where a mainline Linux keeps its crash records:\n"
    "pstore (kernel panics and oopses), coredump (crashed programs, systemd-coredump) or\n"
    "devcd (firmware dumps through devcoredump, as kivo-devcd-collect keeps them).\n"
    "\n"
    "Options:\n"
    "  --json          JSON output for list, show and timeline\n"
    "  --quiet         silence the readers' traces on stderr\n"
    "  --output DIR    the directory for the bundle (default: the current directory)\n"
    "  --with-dumps    put the core dump files themselves into the bundle\n"
    "  -h, --help      show this help\n"
    "\n"
    "Exit status: 0 on success, 1 when the panic is not there or the bundle cannot be\n"
    "written, 2 on bad arguments.\n";

constexpr int s_exitFailure = 1;
constexpr int s_exitUsage = 2;

struct Arguments {
    QStringList words; // the command and its arguments
    bool json = false;
    bool quiet = false;
    bool withDumps = false;
    bool help = false;
    QString output;
    bool outputGiven = false;
};

int usageError(const QString &problem)
{
    std::fprintf(stderr, "kivo-panic: %s\n\n%s", problem.toLocal8Bit().constData(), s_usage);
    return s_exitUsage;
}

// Parses the options wherever they stand; returns a problem text, empty when all is well.
QString parseArguments(const QStringList &arguments, Arguments *parsed)
{
    for (int i = 1; i < arguments.size(); ++i) {
        const QString &word = arguments.at(i);
        if (word == QLatin1String("--json")) {
            parsed->json = true;
        } else if (word == QLatin1String("--quiet")) {
            parsed->quiet = true;
        } else if (word == QLatin1String("--with-dumps")) {
            parsed->withDumps = true;
        } else if (word == QLatin1String("-h") || word == QLatin1String("--help")) {
            parsed->help = true;
        } else if (word == QLatin1String("--output")) {
            if (++i >= arguments.size()) {
                return QStringLiteral("--output needs a directory");
            }
            parsed->output = arguments.at(i);
            parsed->outputGiven = true;
        } else if (word.startsWith(QLatin1String("--output="))) {
            parsed->output = word.mid(9);
            parsed->outputGiven = true;
        } else if (word.startsWith(QLatin1Char('-')) && word.size() > 1) {
            return QStringLiteral("unknown option %1").arg(word);
        } else {
            parsed->words << word;
        }
    }
    return QString();
}

// The first failure of a write to standard output, 0 while all went well.
int s_outputError = 0;

void print(const QString &text)
{
    const QByteArray bytes = text.toUtf8();
    if (std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stdout) != size_t(bytes.size()) &&
        s_outputError == 0) {
        s_outputError = errno != 0 ? errno : EIO;
    }
}

void printJson(const QJsonObject &object)
{
    print(QString::fromUtf8(QJsonDocument(object).toJson(QJsonDocument::Indented)));
}

// Standard output written through to its end: flushed and closed. A failure is told on stderr
// and turns the exit status into a failure.
int finishOutput(int status)
{
    errno = 0;
    if (std::fflush(stdout) != 0 && s_outputError == 0) {
        s_outputError = errno != 0 ? errno : EIO;
    }
    if (std::ferror(stdout) && s_outputError == 0) {
        s_outputError = EIO;
    }
    if (std::fclose(stdout) != 0 && s_outputError == 0) {
        s_outputError = errno != 0 ? errno : EIO;
    }
    if (s_outputError != 0) {
        std::fprintf(stderr, "kivo-panic: cannot write to standard output: %s\n",
                     std::strerror(s_outputError));
        return status == 0 ? s_exitFailure : status;
    }
    return status;
}

std::unique_ptr<KIVO_PanicSource> readSource(PanicType type)
{
    auto source = std::make_unique<KIVO_PanicSource>(type);
    if (FILE *sink = panicTraceSink()) {
        std::fflush(sink);
    }
    return source;
}

int listPanics(PanicType type, const Arguments &arguments)
{
    const auto source = readSource(type);
    if (arguments.json) {
        printJson(source->toJson(false));
        return 0;
    }
    const QStringList rows = panicRowTexts(type, source->head(), source->count());
    print(rows.isEmpty() ? QStringLiteral("No Panics to display\n")
                         : rows.join(QLatin1Char('\n')) + QLatin1Char('\n'));
    return 0;
}

int showPanic(PanicType type, uint32_t number, const Arguments &arguments)
{
    const auto source = readSource(type);
    const PanicNode *node = source->find(number);
    if (!node) {
        std::fprintf(stderr, "kivo-panic: no panic %u in %s\n", number,
                     KIVO_PanicSource::name(type).toLatin1().constData());
        return s_exitFailure;
    }
    if (arguments.json) {
        printJson(source->toJson(node, true));
    } else {
        print(panicDetailText(type, node) + QLatin1Char('\n'));
    }
    return 0;
}

int showTimeline(const Arguments &arguments)
{
    struct Entry {
        qint64 when;
        int sourceOrder;
        uint32_t number;
        const KIVO_PanicSource *source;
        const PanicNode *node;
    };
    std::vector<std::unique_ptr<KIVO_PanicSource>> sources;
    std::vector<Entry> entries;
    int order = 0;
    for (const PanicSource *panicSource : allPanicSources()) {
        const PanicType type = panicSource->type;
        sources.push_back(readSource(type));
        for (const PanicNode *node : sources.back()->shownNodes()) {
            entries.push_back({panicTime(type, node), order, KIVO_PanicSource::number(type, node),
                               sources.back().get(), node});
        }
        ++order;
    }
    // Oldest first; at the same second in source order, then by panic number.
    std::stable_sort(entries.begin(), entries.end(), [](const Entry &a, const Entry &b) {
        if (a.when != b.when) {
            return a.when < b.when;
        }
        if (a.sourceOrder != b.sourceOrder) {
            return a.sourceOrder < b.sourceOrder;
        }
        return a.number < b.number;
    });

    if (arguments.json) {
        QJsonArray panics;
        for (const Entry &entry : entries) {
            panics.append(entry.source->toJson(entry.node, false));
        }
        printJson(QJsonObject{{QStringLiteral("panics"), panics}});
        return 0;
    }
    QString text;
    for (const Entry &entry : entries) {
        const QString time = QDateTime::fromSecsSinceEpoch(entry.when)
                                 .toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
        text += time + QStringLiteral("  ") +
                KIVO_PanicSource::name(entry.source->type()).leftJustified(6) +
                QStringLiteral("  ") + panicRowText(entry.source->type(), entry.node) +
                QLatin1Char('\n');
    }
    print(text.isEmpty() ? QStringLiteral("No Panics to display\n") : text);
    return 0;
}

int writeBundle(const Arguments &arguments)
{
    KIVO_PanicBundle bundle(arguments.withDumps ? KIVO_PanicBundle::Dumps::Included
                                                : KIVO_PanicBundle::Dumps::NamesOnly);
    const QString path =
        bundle.write(arguments.outputGiven ? arguments.output : QStringLiteral("."));
    if (path.isEmpty()) {
        std::fprintf(stderr, "kivo-panic: cannot write the bundle %s\n",
                     bundle.error().toLocal8Bit().constData());
        return s_exitFailure;
    }
    print(path + QLatin1Char('\n'));
    return 0;
}

int run(const Arguments &arguments)
{
    const QStringList &words = arguments.words;
    if (words.isEmpty()) {
        return usageError(QStringLiteral("no command given"));
    }
    const QString &command = words.first();
    const bool needsSource = command == QLatin1String("list") || command == QLatin1String("show");
    const int expected = command == QLatin1String("show") ? 3 : needsSource ? 2 : 1;
    if (!needsSource && command != QLatin1String("timeline") &&
        command != QLatin1String("bundle")) {
        return usageError(QStringLiteral("unknown command %1").arg(command));
    }
    if (words.size() != expected) {
        return usageError(QStringLiteral("wrong number of arguments for %1").arg(command));
    }
    if ((arguments.outputGiven || arguments.withDumps) && command != QLatin1String("bundle")) {
        return usageError(QStringLiteral("--output and --with-dumps belong to bundle"));
    }
    if (arguments.json && command == QLatin1String("bundle")) {
        return usageError(QStringLiteral("bundle has no --json form"));
    }

    PanicType type = PANIC_BP;
    if (needsSource) {
        const PanicSource *source = anyPanicSourceNamed(words.at(1).toLocal8Bit().constData());
        if (!source) {
            return usageError(QStringLiteral("unknown source %1").arg(words.at(1)));
        }
        type = source->type;
    }
    if (command == QLatin1String("list")) {
        return listPanics(type, arguments);
    }
    if (command == QLatin1String("show")) {
        bool ok = false;
        const uint number = words.at(2).toUInt(&ok);
        if (!ok || number == 0) {
            return usageError(QStringLiteral("N must be a panic number, 1 or more"));
        }
        return showPanic(type, number, arguments);
    }
    if (command == QLatin1String("timeline")) {
        return showTimeline(arguments);
    }
    return writeBundle(arguments);
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("kivo-panic"));
    QCoreApplication::setApplicationVersion(QStringLiteral(KIVO_VERSION));

    Arguments arguments;
    const QString problem = parseArguments(QCoreApplication::arguments(), &arguments);
    if (!problem.isEmpty()) {
        return usageError(problem);
    }
    if (arguments.help) {
        print(QString::fromLatin1(s_usage));
        return finishOutput(0);
    }
    // The readers' traces go to stderr, as on the phone, unless --quiet silences them.
    if (arguments.quiet) {
        setPanicTraceSink(nullptr);
    }
    return finishOutput(run(arguments));
}
