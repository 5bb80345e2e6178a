#include "KIVO_CrashText.h"

#include "KIVO_CrashFiles.h"

#include <QDateTime>

#include <cstdio>
#include <cstring>

namespace {

constexpr size_t s_rowBufferSize = 30;

// A row as the list shows it: cut to the 29 characters of the rows' 30-byte buffer.
QString rowText(const QByteArray &text)
{
    return QString::fromUtf8(text.left(int(s_rowBufferSize) - 1));
}

QByteArray number(int64_t value)
{
    return QByteArray::number(qlonglong(value));
}

// Local time without leading zeros, as the seed's detail texts write it.
QByteArray timeText(int64_t when, const char *format)
{
    const QDateTime local = QDateTime::fromSecsSinceEpoch(when);
    char buffer[96];
    std::snprintf(buffer, sizeof buffer, format, local.time().hour(), local.time().minute(),
                  local.time().second(), local.date().day(), local.date().month(),
                  local.date().year());
    return QByteArray(buffer);
}

// The first bytes as the BP detail shows them: "%02x ", a line break after every sixth.
QByteArray hexDump(const uint8_t *data, int64_t length)
{
    QByteArray dump;
    const int64_t shown = std::min<int64_t>(length, PANIC_DATA_MAX);
    for (int64_t i = 0; i < shown; ++i) {
        char hex[4];
        std::snprintf(hex, sizeof hex, "%02x ", data[i]);
        dump += hex;
        if ((i + 1) % 6 == 0) {
            dump += '\n';
        }
    }
    return dump;
}

QByteArray shown(const char *text)
{
    return crashPrintable(QByteArray(text));
}

} // namespace

const PanicSource crashSources[3] = {
    {PANIC_PSTORE, "pstore", "Kernel Panic", readPstorePanics},
    {PANIC_COREDUMP, "coredump", "AP Panics", readCoredumpCrashes},
    {PANIC_DEVCD, "devcd", "BP Panics", readDevcdDumps},
};

const PanicSource *crashSourceJoining(PanicType seedType)
{
    switch (seedType) {
    case PANIC_KERNEL:
        return &crashSources[0];
    case PANIC_AP:
        return &crashSources[1];
    case PANIC_BP:
        return &crashSources[2];
    default:
        return nullptr;
    }
}

const PanicSource *anyPanicSource(PanicType type)
{
    if (const PanicSource *source = panicSource(type)) {
        return source;
    }
    for (const PanicSource &source : crashSources) {
        if (source.type == type) {
            return &source;
        }
    }
    return nullptr;
}

const PanicSource *anyPanicSourceNamed(const char *name)
{
    for (const PanicSource *source : allPanicSources()) {
        if (name && std::strcmp(source->name, name) == 0) {
            return source;
        }
    }
    return nullptr;
}

QList<const PanicSource *> allPanicSources()
{
    QList<const PanicSource *> sources;
    for (const PanicSource &source : panicSources) {
        sources << &source;
    }
    for (const PanicSource &source : crashSources) {
        sources << &source;
    }
    return sources;
}

const char *coredumpCoreText(uint8_t core)
{
    switch (core) {
    case COREDUMP_CORE_PRESENT:
        return "present";
    case COREDUMP_CORE_MISSING:
        return "missing";
    case COREDUMP_CORE_TRUNCATED:
        return "truncated";
    case COREDUMP_CORE_INACCESSIBLE:
        return "inaccessible";
    default:
        return "none";
    }
}

QString panicRowText(const PstoreRecord &record)
{
    return rowText(number(record.panicNum) + ' ' +
                   QByteArray(record.reason[0] ? record.reason : "dmesg") + ' ' +
                   shown(record.name));
}

QString panicRowText(const CoredumpRecord &record)
{
    return rowText(' ' + number(record.panicNum) + "  " + shown(record.comm) + ' ' +
                   QByteArray(record.signalName));
}

QString panicRowText(const DevcdRecord &record)
{
    return rowText(number(record.panicNum) + ' ' + QByteArray(record.device));
}

QString panicDetailText(const PstoreRecord &record)
{
    QByteArray text = "Record Num: " + number(record.panicNum);
    text += "\nRecord: " + shown(record.path);
    text += "\nReason: " + (record.compressed
                                ? QByteArray("compressed, not decoded")
                                : QByteArray(record.reason[0] ? record.reason : "unknown"));
    text += "\nTimestamp " + timeText(record.timestamp, "%d:%d:%d \n %d-%d-%d");
    text += "\nLength " + number(record.size);
    text += "\nPanic Lines\n" + QByteArray(record.excerpt);
    return QString::fromUtf8(text);
}

QString panicDetailText(const CoredumpRecord &record)
{
    QByteArray text = "Crash Num: " + number(record.panicNum);
    text += "\nProgram: " + shown(record.comm);
    text += "\nExecutable: " + shown(record.exe);
    text += "\nPID: " + number(record.pid) + " UID: " + number(record.uid);
    text += "\nSignal: " + number(record.signal) + ' ' + QByteArray(record.signalName);
    text += "\nTimestamp " + timeText(record.timestamp, "%d:%d:%d \n %d-%d-%d");
    text += "\nCore: " + QByteArray(coredumpCoreText(record.core));
    if (record.coreFile[0]) {
        text += "\n " + shown(record.coreFile);
    }
    text += record.fromJournal ? "\nFrom: journal" : "\nFrom: core file";
    return QString::fromUtf8(text);
}

QString panicDetailText(const DevcdRecord &record)
{
    QByteArray text = "Dump Num: " + number(record.panicNum);
    text += "\nDevice: " + QByteArray(record.device);
    text += "\nTimestamp " + timeText(record.timestamp, "%d:%d:%d\n%d-%d-%d");
    text += "\nLength " + number(record.length) + (record.truncated ? " (cut)" : "");
    text += "\nDump Data\n" + hexDump(record.data, record.length);
    return QString::fromUtf8(text);
}
