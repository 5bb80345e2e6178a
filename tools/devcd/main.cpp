// kivo-devcd-collect: copies the firmware dumps that devcoredump offers in
// /sys/class/devcoredump/devcdN/data, with the failing device and the time, into
// /var/lib/kivo/devcoredump before the kernel drops them (5 minutes), and frees them. Started by
// udev as root (60-kivo-devcd.rules); keeps at most --max-count dumps of at most --max-size bytes
// each and --max-total bytes in all, the oldest removed first. Never follows a link.
#include "PlFileStatus.h"
#include "PlRoot.h"
#include "PlSafeFile.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QList>
#include <QRegularExpression>
#include <QStringList>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const char *const s_usage =
    "Usage: kivo-devcd-collect [--max-count N] [--max-size BYTES] [--max-total BYTES] [devcdN...]\n"
    "\n"
    "Keeps the firmware dumps of /sys/class/devcoredump (all of them, or the ones named) in\n"
    "/var/lib/kivo/devcoredump and frees them; under $KIVO_ROOT when it is set. Run by udev.\n"
    "\n"
    "  --max-count N      dumps kept at most (default 8)\n"
    "  --max-size BYTES   bytes kept of one dump, the rest cut (default 134217728)\n"
    "  --max-total BYTES  bytes kept of all dumps (default 268435456)\n"
    "\n"
    "Exit status: 0 when every dump was kept, 1 when one was not, 2 on bad arguments.\n";

const char *const s_classDir = "/sys/class/devcoredump";
const char *const s_deviceDir = "/sys/devices/virtual/devcoredump";
const char *const s_keepDir = "/var/lib/kivo/devcoredump";

struct Limits {
    qint64 count = 8;
    qint64 size = 128 * 1024 * 1024;
    qint64 total = 256 * 1024 * 1024;
};

void complain(const char *format, ...) __attribute__((format(printf, 1, 2)));
void complain(const char *format, ...)
{
    std::fputs("kivo-devcd-collect: ", stderr);
    va_list args;
    va_start(args, format);
    std::vfprintf(stderr, format, args);
    va_end(args);
    std::fputc('\n', stderr);
}

bool isDumpName(const QByteArray &name)
{
    static const QRegularExpression pattern(QStringLiteral("^devcd[0-9]{1,9}$"));
    return pattern.match(QString::fromLatin1(name)).hasMatch();
}

// The dump's folder: /sys/class/devcoredump/devcdN is the class's link to
// /sys/devices/virtual/devcoredump/devcdN, taken only when it points exactly there; a folder of
// its own (a test tree) is taken as it is.
int openDumpFolder(const QByteArray &name)
{
    const QByteArray classPath = plRootedPath(s_classDir) + '/' + name;
    const int folder = open(classPath.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (folder >= 0 || errno != ELOOP) {
        return folder;
    }
    char target[256];
    const ssize_t length = readlink(classPath.constData(), target, sizeof target - 1);
    if (length < 0 ||
        QByteArray(target, int(length)) != "../../devices/virtual/devcoredump/" + name) {
        errno = ELOOP;
        return -1;
    }
    const QByteArray devicePath = plRootedPath(s_deviceDir) + '/' + name;
    return open(devicePath.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
}

// The failing device's name, from the end of its link, in characters safe for a note.
QByteArray failingDevice(int folder)
{
    char target[4096];
    const ssize_t length = readlinkat(folder, "failing_device", target, sizeof target - 1);
    if (length <= 0) {
        return "unknown";
    }
    QByteArray name = QByteArray(target, int(length));
    name = name.mid(name.lastIndexOf('/') + 1).left(120);
    for (char &c : name) {
        if (!std::isalnum(static_cast<unsigned char>(c)) && !std::strchr("._:-@+", c)) {
            c = '_';
        }
    }
    return name.isEmpty() ? QByteArray("unknown") : name;
}

// The keeping folder, made when missing: ours (root's), not writable by anyone else.
int openKeepFolder()
{
    const QByteArray path = plRootedPath(s_keepDir);
    QByteArray partial;
    bool created = false;
    const QList<QByteArray> steps = path.split('/');
    for (int i = 1; i < steps.size(); ++i) {
        partial += '/' + steps.at(i);
        if (!steps.at(i).isEmpty()) {
            created = mkdir(partial.constData(), i + 1 == steps.size() ? 0750 : 0755) == 0;
        }
    }
    const int folder = open(path.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (folder < 0) {
        complain("cannot open %s: %s", path.constData(), std::strerror(errno));
        return -1;
    }
    struct stat info;
    if (fstat(folder, &info) != 0 || info.st_uid != geteuid() || (info.st_mode & 022) != 0) {
        complain("%s is not a folder of this user's alone: not used", path.constData());
        close(folder);
        return -1;
    }
    // The setgid bit, which mkdir leaves out, passes the folder's group on to the dumps.
    if (created) {
        fchmod(folder, 02750);
    }
    return folder;
}

// A new file in the keeping folder under a hidden name; given its own name only when complete.
struct NewFile {
    int fd = -1;
    QByteArray temporary; // ours only while fd >= 0 or after a successful create
};

NewFile createHidden(int keep, const char *what)
{
    NewFile file;
    for (int attempt = 0; attempt < 100 && file.fd < 0; ++attempt) {
        file.temporary = QByteArray(".") + what + '-' + QByteArray::number(getpid()) + '-' +
                         QByteArray::number(attempt);
        file.fd = openat(keep, file.temporary.constData(),
                         O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0640);
        if (file.fd < 0 && errno != EEXIST) {
            break;
        }
    }
    return file;
}

// Copies at most `limit` bytes of the dump; *cut tells whether there was more.
bool copyDump(int data, int out, qint64 limit, qint64 *kept, bool *cut)
{
    char buffer[65536];
    *kept = 0;
    *cut = false;
    for (;;) {
        const ssize_t got = read(data, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got < 0) {
            return false;
        }
        if (got == 0) {
            return true;
        }
        const qint64 room = limit - *kept;
        const qint64 used = std::min<qint64>(room, got);
        if (used > 0 && !plWriteAll(out, buffer, used)) {
            return false;
        }
        *kept += used;
        if (used < got) {
            *cut = true;
            return true;
        }
    }
}

bool collect(const QByteArray &name, int keep, const Limits &limits, qint64 now)
{
    const int folder = openDumpFolder(name);
    if (folder < 0) {
        complain("cannot open %s/%s: %s", s_classDir, name.constData(), std::strerror(errno));
        return false;
    }
    const int data = plOpenUntrustedAt(folder, "data", PlOwner::Anyone, -1, nullptr);
    if (data < 0) {
        complain("%s/%s/data is not a dump", s_classDir, name.constData());
        close(folder);
        return false;
    }
    const QByteArray device = failingDevice(folder);
    NewFile copy = createHidden(keep, "devcd");
    qint64 kept = 0;
    bool cut = false;
    bool ok =
        copy.fd >= 0 && copyDump(data, copy.fd, limits.size, &kept, &cut) && fsync(copy.fd) == 0;
    close(data);
    if (copy.fd >= 0 && close(copy.fd) != 0) {
        ok = false;
    }

    NewFile note = createHidden(keep, "info");
    const QByteArray text = "device=" + device + "\ntime=" + QByteArray::number(now) +
                            "\nsize=" + QByteArray::number(kept) +
                            "\ntruncated=" + (cut ? "1" : "0") + "\nsource=" + name + '\n';
    ok = ok && note.fd >= 0 && plWriteAll(note.fd, text.constData(), text.size()) &&
         fsync(note.fd) == 0;
    if (note.fd >= 0 && close(note.fd) != 0) {
        ok = false;
    }

    // The notes first: a .data file is what the reader lists.
    QByteArray stem = "devcd-" + QByteArray::number(now) + '-' + name;
    for (int n = 2;
         ok && faccessat(keep, (stem + ".data").constData(), F_OK, AT_SYMLINK_NOFOLLOW) == 0; ++n) {
        stem = "devcd-" + QByteArray::number(now) + '-' + name + '-' + QByteArray::number(n);
    }
    ok = ok &&
         renameat(keep, note.temporary.constData(), keep, (stem + ".info").constData()) == 0 &&
         renameat(keep, copy.temporary.constData(), keep, (stem + ".data").constData()) == 0;
    if (!ok) {
        complain("cannot keep %s/%s: %s", s_classDir, name.constData(), std::strerror(errno));
        // Only the hidden files this run made; a name it could not create is someone else's.
        if (copy.fd >= 0) {
            unlinkat(keep, copy.temporary.constData(), 0);
        }
        if (note.fd >= 0) {
            unlinkat(keep, note.temporary.constData(), 0);
        }
        close(folder);
        return false;
    }
    // Kept: writing to the dump frees it in the kernel.
    const int release = openat(folder, "data", O_WRONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (release >= 0) {
        plWriteAll(release, "1", 1);
        close(release);
    }
    close(folder);
    std::printf("%s/%s.data%s\n", s_keepDir, stem.constData(), cut ? " (cut)" : "");
    return true;
}

// Removes the oldest dumps while there are more than the limits allow.
void prune(int keep, const Limits &limits)
{
    struct Kept {
        QByteArray name;
        qint64 modified;
        qint64 size;
    };
    QList<Kept> dumps;
    const int own = fcntl(keep, F_DUPFD_CLOEXEC, 0);
    DIR *dir = own >= 0 ? fdopendir(own) : nullptr;
    if (!dir) {
        if (own >= 0) {
            close(own);
        }
        return;
    }
    while (const struct dirent *entry = readdir(dir)) {
        const QByteArray name(entry->d_name);
        PlFileStatus status;
        if (name.startsWith('.') || !name.endsWith(".data") ||
            plFileStatusAt(keep, name.constData(), AT_SYMLINK_NOFOLLOW, &status) != 0 ||
            !S_ISREG(status.mode)) {
            continue;
        }
        dumps.append({name, status.modified, status.size});
    }
    closedir(dir);
    std::sort(dumps.begin(), dumps.end(), [](const Kept &a, const Kept &b) {
        return a.modified != b.modified ? a.modified < b.modified : a.name < b.name;
    });
    qint64 total = 0;
    for (const Kept &dump : dumps) {
        total += dump.size;
    }
    for (int i = 0; i < dumps.size() && (dumps.size() - i > limits.count || total > limits.total);
         ++i) {
        const QByteArray &name = dumps.at(i).name;
        unlinkat(keep, name.constData(), 0);
        unlinkat(keep, (name.left(name.size() - 5) + ".info").constData(), 0);
        total -= dumps.at(i).size;
    }
}

int usageError(const char *problem)
{
    complain("%s", problem);
    std::fputs(s_usage, stderr);
    return 2;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    Limits limits;
    QList<QByteArray> names;
    const QStringList arguments = QCoreApplication::arguments();
    for (int i = 1; i < arguments.size(); ++i) {
        const QString &word = arguments.at(i);
        if (word == QLatin1String("-h") || word == QLatin1String("--help")) {
            std::fputs(s_usage, stdout);
            return 0;
        }
        qint64 *limit = word == QLatin1String("--max-count")   ? &limits.count
                        : word == QLatin1String("--max-size")  ? &limits.size
                        : word == QLatin1String("--max-total") ? &limits.total
                                                               : nullptr;
        if (limit) {
            bool ok = false;
            *limit = i + 1 < arguments.size() ? arguments.at(++i).toLongLong(&ok) : 0;
            if (!ok || *limit < 1) {
                return usageError("a limit must be a number, 1 or more");
            }
        } else if (isDumpName(word.toLatin1())) {
            names << word.toLatin1();
        } else {
            return usageError("not a devcoredump name (devcdN)");
        }
    }
    if (names.isEmpty()) {
        const int classFd = open(plRootedPath(s_classDir).constData(),
                                 O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        DIR *dir = classFd >= 0 ? fdopendir(classFd) : nullptr;
        while (const struct dirent *entry = dir ? readdir(dir) : nullptr) {
            if (isDumpName(entry->d_name)) {
                names << QByteArray(entry->d_name);
            }
        }
        if (dir) {
            closedir(dir);
        } else if (classFd >= 0) {
            close(classFd);
        }
        std::sort(names.begin(), names.end());
    }
    const int keep = openKeepFolder();
    if (keep < 0) {
        return 1;
    }
    bool ok = true;
    const qint64 now = std::time(nullptr);
    for (const QByteArray &name : names) {
        ok = collect(name, keep, limits, now) && ok;
    }
    prune(keep, limits);
    close(keep);
    return std::fflush(stdout) == 0 && ok ? 0 : 1;
}
