// kivo-bench: runs KIVO's benchmarks in one go and prints a table of figures, ratios, targets
// and PASS or MISS. Everything runs on a private session bus that this program starts, with the
// telephony and FTS engine simulators on it and a temporary KIVO_ROOT; it ends every process it
// started by its process id.
//
//   start-up    KIVO built to quit at its first painted main menu against the baseline
//               program, alternately (A B A B), offscreen: time from launch to the first frame
//               and peak resident memory (the child's ru_maxrss from wait4, and its VmHWM at
//               the first frame).
//   round trip  kivo-bench-roundtrip: the FTS titles round trip against a raw broadcast
//               round trip of the same size.
//   panic       kivo-bench-panic: the panic readers at their largest and with the data doubled.
//   keys        the kivo program itself, fed keys through a FIFO that Qt's evdev keyboard input
//               reads: time from the Return key on the main menu to KIVO's trace of the screen
//               it opens, against a telephony service that answers Register after 2.5 s and
//               against one that answers at once (both refuse), alternately.
//
// Medians are the figures; min, quartiles and max show the spread. No figure is compared with
// an earlier run: a machine shared with other work is noisy, which the spread makes visible.
#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDir>
#include <QFile>
#include <QHash>
#include <QList>
#include <QMap>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>

#include <algorithm>
#include <array>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <linux/input.h>
#include <poll.h>
#include <spawn.h>
#include <string>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

// Process ids of the long-running helpers, for a signal handler that must end them.
pid_t s_helperPids[8];
volatile sig_atomic_t s_helperCount = 0;

void endHelpersAndExit(int signal)
{
    for (int i = 0; i < s_helperCount; ++i) {
        kill(s_helperPids[i], SIGTERM);
    }
    _exit(128 + signal);
}

qint64 nowNs()
{
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return qint64(now.tv_sec) * 1000000000LL + now.tv_nsec;
}

struct Options {
    int runs = 21;
    int warmups = 2;
    int roundTrips = 400;
    int panicRounds = 51;
    int keyRounds = 15;
    QStringList parts = {QStringLiteral("startup"), QStringLiteral("roundtrip"),
                         QStringLiteral("panic"), QStringLiteral("keys")};
    QString bin;
};

// A long-running helper (bus daemon, simulator), ended by its process id.
class Helper {
public:
    ~Helper()
    {
        stop();
    }

    bool start(const QString &program, const QStringList &args, const QProcessEnvironment &env,
               bool readStdout)
    {
        m_process.setProgram(program);
        m_process.setArguments(args);
        m_process.setProcessEnvironment(env);
        m_process.setStandardErrorFile(QProcess::nullDevice());
        if (!readStdout) {
            m_process.setStandardOutputFile(QProcess::nullDevice());
        }
        // Should this program die, the helper goes too.
        m_process.setChildProcessModifier([] { prctl(PR_SET_PDEATHSIG, SIGTERM); });
        m_process.start();
        if (!m_process.waitForStarted(5000)) {
            return false;
        }
        if (s_helperCount < int(sizeof s_helperPids / sizeof s_helperPids[0])) {
            s_helperPids[s_helperCount] = pid_t(m_process.processId());
            s_helperCount = s_helperCount + 1;
        }
        return true;
    }

    QByteArray readLine(int timeoutMs)
    {
        if (!m_process.canReadLine()) {
            m_process.waitForReadyRead(timeoutMs);
        }
        return m_process.readLine().trimmed();
    }

    void stop()
    {
        if (m_process.state() == QProcess::NotRunning) {
            return;
        }
        m_process.terminate(); // SIGTERM to the helper's process id
        if (!m_process.waitForFinished(3000)) {
            m_process.kill();
            m_process.waitForFinished(3000);
        }
    }

private:
    QProcess m_process;
};

// One run of a program to its end, with the figures the kernel keeps for it.
struct ChildRun {
    bool started = false;
    int status = -1;     // exit status, -1 when it did not exit normally
    qint64 launchNs = 0; // CLOCK_MONOTONIC just before the spawn
    qint64 endNs = 0;    // when wait4 returned
    long maxRssKib = 0;  // ru_maxrss of the child alone
    QByteArray out;      // its stdout
};

// Runs `program` with `args` and `env`, stdout read through a pipe, stderr to /dev/null. A
// program still running after `timeoutMs` is killed by its process id (status -1).
ChildRun runChild(const QString &program, const QStringList &args, const QStringList &env,
                  int timeoutMs)
{
    ChildRun run;
    std::vector<std::string> storage;
    storage.push_back(QFile::encodeName(program).toStdString());
    for (const QString &arg : args) {
        storage.push_back(arg.toLocal8Bit().toStdString());
    }
    const size_t argCount = storage.size();
    for (const QString &entry : env) {
        storage.push_back(entry.toLocal8Bit().toStdString());
    }
    std::vector<char *> argv;
    std::vector<char *> envp;
    for (size_t i = 0; i < storage.size(); ++i) {
        (i < argCount ? argv : envp).push_back(storage[i].data());
    }
    argv.push_back(nullptr);
    envp.push_back(nullptr);

    int pipeFds[2];
    if (pipe2(pipeFds, O_CLOEXEC) != 0) {
        return run;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDOUT_FILENO);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);

    pid_t pid = 0;
    run.launchNs = nowNs();
    const int spawned = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    close(pipeFds[1]);
    if (spawned != 0) {
        close(pipeFds[0]);
        return run;
    }
    run.started = true;
    const qint64 deadline = run.launchNs + qint64(timeoutMs) * 1000000;
    char buffer[4096];
    for (;;) {
        pollfd readable = {pipeFds[0], POLLIN, 0};
        const qint64 leftMs = (deadline - nowNs()) / 1000000;
        if (leftMs <= 0 || poll(&readable, 1, int(leftMs)) == 0) {
            kill(pid, SIGKILL);
            break;
        }
        const ssize_t got = read(pipeFds[0], buffer, sizeof buffer);
        if (got > 0) {
            run.out.append(buffer, int(got));
        } else if (got == 0 || errno != EINTR) {
            break;
        }
    }
    close(pipeFds[0]);
    int status = 0;
    rusage usage;
    std::memset(&usage, 0, sizeof usage);
    while (wait4(pid, &status, 0, &usage) < 0 && errno == EINTR) {
    }
    run.endNs = nowNs();
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    run.maxRssKib = usage.ru_maxrss;
    return run;
}

// Median, quartiles (linear interpolation between closest ranks), extremes.
struct Spread {
    int n = 0;
    double min = 0;
    double q1 = 0;
    double median = 0;
    double q3 = 0;
    double max = 0;
};

Spread spreadOf(QList<double> values)
{
    Spread s;
    s.n = int(values.size());
    if (values.isEmpty()) {
        return s;
    }
    std::sort(values.begin(), values.end());
    auto quantile = [&values](double q) {
        const double position = q * double(values.size() - 1);
        const int below = int(position);
        const int above = std::min(below + 1, int(values.size()) - 1);
        return values[below] + (position - below) * (values[above] - values[below]);
    };
    s.min = values.first();
    s.q1 = quantile(0.25);
    s.median = quantile(0.5);
    s.q3 = quantile(0.75);
    s.max = values.last();
    return s;
}

// The table: rows of figures, and rows that compare them with a target.
class Table {
public:
    void section(const QString &title)
    {
        std::printf("\n%s\n", qPrintable(title));
    }

    void figures(const QString &what, const Spread &s, const char *format = "%10.2f")
    {
        std::printf("  %-40s", qPrintable(what));
        for (double v : {s.median, s.min, s.q1, s.q3, s.max}) {
            std::printf(format, v);
        }
        std::printf("  n=%d\n", s.n);
    }

    // A figure checked against a target; returns whether it met it.
    bool check(const QString &what, double value, const char *unit, const QString &target, bool met,
               const QString &note = QString())
    {
        std::printf("  %-40s%10.2f %-4s  target %-18s %s  %s\n", qPrintable(what), value, unit,
                    qPrintable(target), met ? "PASS" : "MISS", qPrintable(note));
        m_misses += met ? 0 : 1;
        m_checks += 1;
        return met;
    }

    void header(const char *unit)
    {
        std::printf("  %-40s%10s%10s%10s%10s%10s\n", unit, "median", "min", "q1", "q3", "max");
    }

    int misses() const
    {
        return m_misses;
    }
    int checks() const
    {
        return m_checks;
    }

private:
    int m_misses = 0;
    int m_checks = 0;
};

QString cpuModel()
{
    QFile cpuinfo(QStringLiteral("/proc/cpuinfo"));
    if (cpuinfo.open(QIODevice::ReadOnly)) {
        // A /proc file has no size: read it whole rather than up to an end it does not know.
        const QList<QByteArray> lines = cpuinfo.readAll().split('\n');
        for (const QByteArray &line : lines) {
            if (line.startsWith("model name")) {
                return QString::fromLocal8Bit(line.mid(line.indexOf(':') + 1).trimmed());
            }
        }
    }
    return QStringLiteral("unknown");
}

QString loadAverage()
{
    QFile loadavg(QStringLiteral("/proc/loadavg"));
    if (!loadavg.open(QIODevice::ReadOnly)) {
        return QStringLiteral("?");
    }
    const QList<QByteArray> fields = loadavg.readAll().split(' ');
    return QString::fromLatin1(fields.mid(0, 3).join(' '));
}

// Parses "key=value key=value" into numbers.
QHash<QByteArray, double> fieldsOf(const QByteArray &line)
{
    QHash<QByteArray, double> fields;
    for (const QByteArray &pair : line.trimmed().split(' ')) {
        const int eq = pair.indexOf('=');
        if (eq > 0) {
            fields.insert(pair.left(eq), pair.mid(eq + 1).toDouble());
        }
    }
    return fields;
}

// Lines "name value" into samples per name; lines starting "error:" are reported.
QMap<QByteArray, QList<double>> samplesOf(const QByteArray &out, QByteArray *firstLine,
                                          bool *errors)
{
    QMap<QByteArray, QList<double>> samples;
    const QList<QByteArray> lines = out.split('\n');
    for (const QByteArray &line : lines) {
        if (line.startsWith("error:")) {
            std::printf("  %s\n", line.constData());
            *errors = true;
        } else if (line.startsWith("size ")) {
            *firstLine = line;
        } else if (!line.isEmpty()) {
            const int blank = line.indexOf(' ');
            samples[line.left(blank)].append(line.mid(blank + 1).toDouble());
        }
    }
    return samples;
}

// Starts a private session bus; its address, empty when it does not come up.
QString startBus(Helper &bus, const QProcessEnvironment &env)
{
    const QString daemon = QStandardPaths::findExecutable(QStringLiteral("dbus-daemon"));
    if (daemon.isEmpty() ||
        !bus.start(daemon,
                   {QStringLiteral("--session"), QStringLiteral("--nofork"),
                    QStringLiteral("--nopidfile"), QStringLiteral("--print-address=1")},
                   env, true)) {
        return QString();
    }
    return QString::fromLocal8Bit(bus.readLine(5000));
}

bool waitForNames(const QString &address, const QStringList &names);

// The kivo program on a bus of its own with a telephony simulator, fed keys through a FIFO
// that Qt's evdev keyboard input reads as its keyboard device, its traces read from a pipe.
class KeyedKivo {
public:
    ~KeyedKivo()
    {
        if (m_keys >= 0) {
            close(m_keys);
        }
        m_kivo.kill(); // SIGKILL to its process id
        m_kivo.waitForFinished(3000);
    }

    // `fifo` must lie under /dev/ (the evdev input takes only such paths as devices).
    bool start(const QString &bin, QProcessEnvironment env, const QString &fifo,
               const QStringList &simArgs)
    {
        const QString address = startBus(m_bus, env);
        if (address.isEmpty()) {
            return false;
        }
        env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), address);
        if (!m_telephony.start(bin + QStringLiteral("/kivo-sim-telephony"), simArgs, env, false) ||
            !waitForNames(address, {QStringLiteral("org.kivo.Telephony")})) {
            return false;
        }
        if (mkfifo(QFile::encodeName(fifo).constData(), 0600) != 0) {
            return false;
        }
        // Opened for reading and writing, so that neither end waits for the other.
        m_keys = open(QFile::encodeName(fifo).constData(), O_RDWR | O_CLOEXEC);
        env.insert(QStringLiteral("QT_QPA_GENERIC_PLUGINS"),
                   QStringLiteral("evdevkeyboard:") + fifo);
        m_kivo.setProcessEnvironment(env);
        m_kivo.setProcessChannelMode(QProcess::MergedChannels);
        m_kivo.setChildProcessModifier([] { prctl(PR_SET_PDEATHSIG, SIGKILL); });
        m_kivo.start(bin + QStringLiteral("/kivo"), {});
        // Up once it has opened the telephony device (its last step before the event loop)
        // and had a moment to show the main menu.
        if (m_keys < 0 || !m_kivo.waitForStarted(5000) || !waitFor("value of kivo_tapi", 20000)) {
            return false;
        }
        QThread::msleep(500);
        return m_kivo.state() == QProcess::Running;
    }

    // Presses and releases the key of Linux input code `code`.
    bool press(quint16 code)
    {
        input_event events[4];
        std::memset(events, 0, sizeof events);
        const int values[] = {1, 0};
        for (int i = 0; i < 2; ++i) {
            events[2 * i].type = EV_KEY;
            events[2 * i].code = code;
            events[2 * i].value = values[i];
            events[2 * i + 1].type = EV_SYN;
            events[2 * i + 1].code = SYN_REPORT;
        }
        return write(m_keys, events, sizeof events) == ssize_t(sizeof events);
    }

    // Waits until `trace` has appeared once more than it had before.
    bool waitFor(const QByteArray &trace, int timeoutMs)
    {
        const int seen = m_seen.value(trace);
        const qint64 deadline = nowNs() + qint64(timeoutMs) * 1000000;
        for (;;) {
            m_traces += m_kivo.readAll();
            const int now = int(m_traces.count(trace));
            if (now > seen) {
                m_seen.insert(trace, now);
                return true;
            }
            const qint64 leftMs = (deadline - nowNs()) / 1000000;
            if (leftMs <= 0 || m_kivo.state() != QProcess::Running) {
                return false;
            }
            m_kivo.waitForReadyRead(int(leftMs));
        }
    }

private:
    Helper m_bus;
    Helper m_telephony;
    QProcess m_kivo;
    int m_keys = -1;
    QByteArray m_traces;
    QHash<QByteArray, int> m_seen;
};

class Bench {
public:
    Bench(const Options &options, const QProcessEnvironment &env) : m_options(options), m_env(env)
    {
    }

    bool startUp(Table &table);
    bool roundTrip(Table &table);
    bool panic(Table &table);
    bool keys(Table &table);

private:
    QString program(const char *name) const
    {
        return m_options.bin + QLatin1Char('/') + QLatin1String(name);
    }

    const Options &m_options;
    QProcessEnvironment m_env;
};

bool Bench::startUp(Table &table)
{
    struct Side {
        const char *name;
        QString program;
        QList<double> frameMs, exitMs, rssMib, hwmMib;
    };
    Side kivo{"KIVO main menu", program("kivo-bench-firstframe"), {}, {}, {}, {}};
    Side base{"baseline", program("kivo-bench-baseline"), {}, {}, {}, {}};
    const QStringList env = m_env.toStringList();

    auto once = [&env](Side &side, bool keep) {
        const ChildRun run = runChild(side.program, {}, env, 60000);
        const QHash<QByteArray, double> fields = fieldsOf(run.out);
        if (!run.started || run.status != 0 || !fields.contains("frame_ns")) {
            std::printf("  error: %s: %s, exit status %d, output \"%s\"\n", side.name,
                        run.started ? "no first frame" : "does not start", run.status,
                        run.out.trimmed().constData());
            return false;
        }
        if (keep) {
            side.frameMs.append((fields.value("frame_ns") - double(run.launchNs)) / 1e6);
            side.exitMs.append(double(run.endNs - run.launchNs) / 1e6);
            side.rssMib.append(double(run.maxRssKib) / 1024.0);
            side.hwmMib.append(fields.value("vmhwm_kib") / 1024.0);
        }
        return true;
    };
    for (int i = 0; i < m_options.warmups + m_options.runs; ++i) {
        const bool keep = i >= m_options.warmups;
        if (!once(kivo, keep) || !once(base, keep)) {
            return false;
        }
    }

    const Spread kivoFrame = spreadOf(kivo.frameMs);
    const Spread baseFrame = spreadOf(base.frameMs);
    table.section(QStringLiteral("Start-up, offscreen, simulators on the bus (ms)"));
    table.header("launch to first painted frame");
    table.figures(QLatin1String(kivo.name), kivoFrame);
    table.figures(QLatin1String(base.name), baseFrame);
    const double ratio = kivoFrame.median / baseFrame.median;
    table.check(QStringLiteral("ratio KIVO / baseline"), ratio, "", QStringLiteral("<= 1.25"),
                ratio <= 1.25);
    table.header("launch to exit (information)");
    table.figures(QLatin1String(kivo.name), spreadOf(kivo.exitMs));
    table.figures(QLatin1String(base.name), spreadOf(base.exitMs));

    const Spread kivoRss = spreadOf(kivo.rssMib);
    const Spread baseRss = spreadOf(base.rssMib);
    table.section(QStringLiteral("Peak resident memory (MiB)"));
    table.header("ru_maxrss (whole run)");
    table.figures(QLatin1String(kivo.name), kivoRss);
    table.figures(QLatin1String(base.name), baseRss);
    const double extra = kivoRss.median - baseRss.median;
    table.check(QStringLiteral("KIVO - baseline"), extra, "MiB", QStringLiteral("<= 3 MiB"),
                extra <= 3.0);
    table.header("VmHWM at the first frame (information)");
    table.figures(QLatin1String(kivo.name), spreadOf(kivo.hwmMib));
    table.figures(QLatin1String(base.name), spreadOf(base.hwmMib));
    return true;
}

bool Bench::roundTrip(Table &table)
{
    const ChildRun run =
        runChild(program("kivo-bench-roundtrip"),
                 {QStringLiteral("--rounds"), QString::number(m_options.roundTrips)},
                 m_env.toStringList(), 600000);
    bool errors = !run.started || run.status != 0;
    QByteArray sizeLine;
    const QMap<QByteArray, QList<double>> samples = samplesOf(run.out, &sizeLine, &errors);
    if (errors || samples.value("fts").isEmpty() || samples.value("raw").isEmpty()) {
        std::printf("  error: kivo-bench-roundtrip failed (exit status %d)\n", run.status);
        return false;
    }
    QList<double> fts;
    QList<double> raw;
    for (double ns : samples.value("fts")) {
        fts.append(ns / 1000.0);
    }
    for (double ns : samples.value("raw")) {
        raw.append(ns / 1000.0);
    }
    const QHash<QByteArray, double> size = fieldsOf(sizeLine.mid(5));
    table.section(QStringLiteral("Bus round trip, request of 0 data bytes, answer of %1 data bytes "
                                 "(%2 titles) (us)")
                      .arg(size.value("response"))
                      .arg(size.value("titles")));
    table.header("request sent to answer handled");
    const Spread ftsSpread = spreadOf(fts);
    const Spread rawSpread = spreadOf(raw);
    table.figures(QStringLiteral("FTS titles, decoded in the engine"), ftsSpread);
    table.figures(QStringLiteral("raw broadcast ping-pong"), rawSpread);
    const double ratio = ftsSpread.median / rawSpread.median;
    table.check(QStringLiteral("ratio FTS / raw"), ratio, "", QStringLiteral("<= 1.5"),
                ratio <= 1.5);
    return true;
}

bool Bench::panic(Table &table)
{
    const ChildRun run =
        runChild(program("kivo-bench-panic"),
                 {QStringLiteral("--rounds"), QString::number(m_options.panicRounds)},
                 m_env.toStringList(), 600000);
    bool errors = !run.started || run.status != 0;
    QByteArray unused;
    const QMap<QByteArray, QList<double>> samples = samplesOf(run.out, &unused, &errors);
    if (errors) {
        std::printf("  error: kivo-bench-panic failed (exit status %d)\n", run.status);
        return false;
    }
    auto ms = [&samples](const char *name) {
        QList<double> values;
        for (double ns : samples.value(name)) {
            values.append(ns / 1e6);
        }
        return spreadOf(values);
    };

    struct Source {
        const char *title;
        const char *largest;
        const char *largestText;
        // Each comparison: the case with less data, the one with twice as much, and what grew.
        QList<std::array<const char *, 3>> doublings;
        const char *floor = nullptr; // shown for information
    };
    const QList<Source> sources = {
        {"BP panic logs (both files)",
         "bp_255",
         "255 blocks",
         {{"bp_128", "bp_255", "blocks 128 -> 255"},
          {"bp_255", "bp_255_data2", "block data 64 -> 128 B"}}},
        {"QUIRN panic blocks (both files)",
         "quirn_255",
         "255 blocks",
         {{"quirn_128", "quirn_255", "blocks 128 -> 255"},
          {"quirn_255", "quirn_255_data2", "block data 64 -> 128 B"}}},
        {"AP core dumps",
         "ap_255",
         "255 dumps, 255-line table",
         {{"ap_128", "ap_255", "dumps+table 128 -> 255"},
          {"ap_255", "ap_510", "dir+table 255 -> 510"}}},
        {"Kernel panic report",
         "kernel_1mib",
         "1 MiB report",
         {{"kernel_1mib", "kernel_2mib", "report 1 -> 2 MiB"}},
         "kernel_cat_1mib"},
    };
    const QMap<QByteArray, QString> caseText = {
        {"bp_128", QStringLiteral("128 blocks, 64 data bytes each")},
        {"bp_255", QStringLiteral("255 blocks, 64 data bytes each")},
        {"bp_255_data2", QStringLiteral("255 blocks, 128 data bytes each")},
        {"quirn_128", QStringLiteral("128 blocks, 64 data bytes each")},
        {"quirn_255", QStringLiteral("255 blocks, 64 data bytes each")},
        {"quirn_255_data2", QStringLiteral("255 blocks, 128 data bytes each")},
        {"ap_128", QStringLiteral("128 dumps, 128-line table")},
        {"ap_255", QStringLiteral("255 dumps, 255-line table")},
        {"ap_510", QStringLiteral("510 dumps, 510-line table")},
        {"kernel_1mib", QStringLiteral("1 MiB report, time line last")},
        {"kernel_2mib", QStringLiteral("2 MiB report, time line last")},
        {"kernel_cat_1mib", QStringLiteral("floor: the cat of 1 MiB alone")},
    };

    table.section(QStringLiteral("Building the panic list (ms; the readers' stderr to /dev/null)"));
    std::printf("  wall: elapsed time, the size target; cpu: the reading thread's CPU time (not "
                "that of the cat\n  command), the scaling target, which preemption by other "
                "work on the machine cannot blur\n");
    auto cpu = [](const char *name) { return QByteArray(name) + "_cpu"; };
    for (const Source &source : sources) {
        table.header(source.title);
        QStringList shown;
        QList<const char *> names;
        for (const auto &doubling : source.doublings) {
            for (const char *name : {doubling[0], doubling[1]}) {
                if (!shown.contains(QLatin1String(name))) {
                    shown.append(QLatin1String(name));
                    names.append(name);
                }
            }
        }
        if (source.floor) {
            names.append(source.floor);
        }
        for (const char *name : names) {
            table.figures(caseText.value(name) + QStringLiteral(", wall"), ms(name), "%10.3f");
            table.figures(QStringLiteral("  cpu"), ms(cpu(name).constData()), "%10.3f");
        }
        const double largest = ms(source.largest).median;
        table.check(QStringLiteral("%1, wall").arg(QLatin1String(source.largestText)), largest,
                    "ms", QStringLiteral("<= 10 ms"), largest <= 10.0);
        for (const auto &doubling : source.doublings) {
            const double ratio =
                ms(cpu(doubling[1]).constData()).median / ms(cpu(doubling[0]).constData()).median;
            const double wallRatio = ms(doubling[1]).median / ms(doubling[0]).median;
            table.check(QStringLiteral("x2 %1, cpu").arg(QLatin1String(doubling[2])), ratio, "",
                        QStringLiteral("<= 2.2"), ratio <= 2.2,
                        QStringLiteral("(wall %1)").arg(wallRatio, 0, 'f', 2));
        }
    }
    return true;
}

bool Bench::keys(Table &table)
{
    // The FIFOs under /dev/shm: Qt's evdev input takes a device only by a path under /dev/.
    QTemporaryDir fifos(QStringLiteral("/dev/shm/kivo-bench-XXXXXX"));
    if (!fifos.isValid()) {
        std::printf("  error: no temporary directory under /dev/shm for the key FIFOs\n");
        return false;
    }
    struct Side {
        const char *name;
        QStringList simArgs;
        KeyedKivo kivo;
        QList<double> ms;
    };
    const QString refuse = QStringLiteral("--register-result=-1");
    Side slow{
        "Register answered after 2.5 s", {refuse, QStringLiteral("--reply-delay=2500")}, {}, {}};
    Side prompt{"Register answered at once", {refuse}, {}, {}};
    for (Side *side : {&slow, &prompt}) {
        const QString fifo =
            fifos.filePath(side == &slow ? QStringLiteral("slow") : QStringLiteral("prompt"));
        if (!side->kivo.start(m_options.bin, m_env, fifo, side->simArgs)) {
            std::printf("  error: %s: kivo does not come up with its keyboard FIFO\n", side->name);
            return false;
        }
    }

    // Return on the main menu opens "FTS Options", which traces this just before it shows;
    // Escape hides it again. The pause before each key varies, so that the keys meet the
    // registration at every point of its cycle.
    const QByteArray shown = "[KIVO] show FTSOptions";
    auto once = [&shown](Side &side, int pauseMs, bool keep) {
        QThread::msleep(pauseMs);
        const qint64 start = nowNs();
        if (!side.kivo.press(KEY_ENTER) || !side.kivo.waitFor(shown, 20000)) {
            std::printf("  error: %s: no new screen after the key\n", side.name);
            return false;
        }
        if (keep) {
            side.ms.append(double(nowNs() - start) / 1e6);
        }
        return side.kivo.press(KEY_ESC);
    };
    for (int i = 0; i < m_options.warmups + m_options.keyRounds; ++i) {
        const bool keep = i >= m_options.warmups;
        const int pauseMs = 200 + (i * 373) % 1100;
        if (!once(slow, pauseMs, keep) || !once(prompt, pauseMs, keep)) {
            return false;
        }
    }

    const Spread slowMs = spreadOf(slow.ms);
    const Spread promptMs = spreadOf(prompt.ms);
    table.section(QStringLiteral("A key on the real kivo, offscreen, the telephony service "
                                 "refusing registration (ms)"));
    table.header("Return to the opened screen's trace");
    table.figures(QLatin1String(slow.name), slowMs);
    table.figures(QLatin1String(prompt.name), promptMs);
    table.check(QStringLiteral("median, Register after 2.5 s"), slowMs.median, "ms",
                QStringLiteral("< 300 ms"), slowMs.median < 300.0,
                QStringLiteral("(%1 times the prompt one)")
                    .arg(slowMs.median / promptMs.median, 0, 'f', 2));
    return true;
}

bool waitForNames(const QString &address, const QStringList &names)
{
    QDBusConnection bus = QDBusConnection::connectToBus(address, QStringLiteral("kivo-bench"));
    bool all = false;
    for (int attempt = 0; attempt < 500 && !all && bus.isConnected(); ++attempt) {
        all = true;
        for (const QString &name : names) {
            all = all && bus.interface()->isServiceRegistered(name).value();
        }
        if (!all) {
            QThread::msleep(20);
        }
    }
    QDBusConnection::disconnectFromBus(QStringLiteral("kivo-bench"));
    return all;
}

bool parseOptions(const QStringList &args, Options *options)
{
    for (int i = 1; i < args.size(); ++i) {
        const QString &arg = args.at(i);
        const bool hasValue = i + 1 < args.size();
        bool ok = true;
        if (arg == QLatin1String("--runs") && hasValue) {
            options->runs = args.at(++i).toInt(&ok);
        } else if (arg == QLatin1String("--warmups") && hasValue) {
            options->warmups = args.at(++i).toInt(&ok);
        } else if (arg == QLatin1String("--round-trips") && hasValue) {
            options->roundTrips = args.at(++i).toInt(&ok);
        } else if (arg == QLatin1String("--panic-rounds") && hasValue) {
            options->panicRounds = args.at(++i).toInt(&ok);
        } else if (arg == QLatin1String("--key-rounds") && hasValue) {
            options->keyRounds = args.at(++i).toInt(&ok);
        } else if (arg == QLatin1String("--only") && hasValue) {
            options->parts = args.at(++i).split(QLatin1Char(','));
        } else if (arg == QLatin1String("--bin") && hasValue) {
            options->bin = args.at(++i);
        } else {
            return false;
        }
        if (!ok) {
            return false;
        }
    }
    return options->runs > 0 && options->warmups >= 0 && options->roundTrips > 0 &&
           options->panicRounds > 0 && options->keyRounds > 0;
}

const char s_usage[] =
    "Usage: kivo-bench [--runs N] [--warmups N] [--round-trips N] [--panic-rounds N]\n"
    "                  [--key-rounds N] [--only startup,roundtrip,panic,keys] [--bin DIR]\n"
    "Runs KIVO's benchmarks on a private session bus with the simulators and prints a table.\n"
    "Defaults: 21 start-up runs of each program after 2 warm-ups, 400 round trips of each\n"
    "kind, 51 rounds of the panic readers, 15 keys on each side after 2 warm-ups; programs\n"
    "from the directory of kivo-bench.\n";

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    Options options;
    options.bin = QCoreApplication::applicationDirPath();
    if (app.arguments().contains(QLatin1String("--help"))) {
        std::fputs(s_usage, stdout);
        return 0;
    }
    if (!parseOptions(app.arguments(), &options)) {
        std::fputs(s_usage, stderr);
        return 2;
    }
    std::signal(SIGINT, endHelpersAndExit);
    std::signal(SIGTERM, endHelpersAndExit);
    std::signal(SIGHUP, endHelpersAndExit);

    // A root of the bench's own: feature flag 356 on, nothing else.
    QTemporaryDir root;
    if (!root.isValid() || !QDir(root.path()).mkpath(QStringLiteral("etc/kivo")) ||
        !QDir(root.path()).mkpath(QStringLiteral("run"))) {
        std::fprintf(stderr, "kivo-bench: no temporary directory\n");
        return 1;
    }
    QFile flags(root.path() + QStringLiteral("/etc/kivo/flexbits"));
    if (!flags.open(QIODevice::WriteOnly) || flags.write("356=1\n") != 6) {
        std::fprintf(stderr, "kivo-bench: cannot write the feature flags\n");
        return 1;
    }
    flags.close();
    QFile::setPermissions(root.path() + QStringLiteral("/run"),
                          QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);

    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("KIVO_ROOT"), root.path());
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), root.path() + QStringLiteral("/run"));
    env.remove(QStringLiteral("VEK_APP_WRITE_PATH"));

    // The private bus.
    Helper bus;
    const QString address = startBus(bus, env);
    if (address.isEmpty()) {
        std::fprintf(stderr, "kivo-bench: cannot start dbus-daemon\n");
        return 1;
    }
    env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), address);

    // The simulators, as KIVO meets them on a development machine.
    Helper telephony;
    Helper fts;
    const QString simTelephony = options.bin + QStringLiteral("/kivo-sim-telephony");
    const QString simFts = options.bin + QStringLiteral("/kivo-sim-fts");
    if (!telephony.start(simTelephony, {}, env, false) || !fts.start(simFts, {}, env, false) ||
        !waitForNames(address,
                      {QStringLiteral("org.kivo.Telephony"), QStringLiteral("org.kivo.Sim.Fts")})) {
        std::fprintf(stderr, "kivo-bench: the simulators do not come up on the bus\n");
        return 1;
    }

    std::printf("KIVO bench: %d CPUs (%s), load average %s at the start\n",
                QThread::idealThreadCount(), qPrintable(cpuModel()), qPrintable(loadAverage()));
    std::printf("Private session bus with kivo-sim-telephony and kivo-sim-fts; runs alternate "
                "A B A B after warm-ups.\n");
    std::fflush(stdout);

    Table table;
    Bench bench(options, env);
    bool ok = true;
    if (options.parts.contains(QLatin1String("startup"))) {
        std::printf("\nStart-up: %d runs of each program after %d warm-ups of each\n", options.runs,
                    options.warmups);
        ok = bench.startUp(table) && ok;
        std::fflush(stdout);
    }
    if (options.parts.contains(QLatin1String("roundtrip"))) {
        ok = bench.roundTrip(table) && ok;
        std::fflush(stdout);
    }
    if (options.parts.contains(QLatin1String("panic"))) {
        ok = bench.panic(table) && ok;
        std::fflush(stdout);
    }
    if (options.parts.contains(QLatin1String("keys"))) {
        std::printf("\nKeys: %d on each side after %d warm-ups of each, on buses of their own\n",
                    options.keyRounds, options.warmups);
        ok = bench.keys(table) && ok;
    }
    std::printf("\nLoad average %s at the end. %d of %d targets met.\n", qPrintable(loadAverage()),
                table.checks() - table.misses(), table.checks());
    return ok ? 0 : 1;
}
