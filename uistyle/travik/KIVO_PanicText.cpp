#include "KIVO_PanicText.h"

#include "KIVO_CrashText.h"
#include "KIVO_PanicVisit.h"

#include <QByteArray>
#include <QDateTime>

#include <cstdio>
#include <cstring>
#include <ctime>

namespace {

// Row texts are formatted into a buffer of 30 bytes: longer texts are cut to 29 characters.
constexpr size_t s_rowBufferSize = 30;

template <typename... Args> QString rowText(const char *format, Args... args)
{
    char buffer[s_rowBufferSize];
    std::snprintf(buffer, sizeof buffer, format, args...);
    return QString::fromLatin1(buffer);
}

QByteArray formatted(const char *format, unsigned int value)
{
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, format, value);
    return QByteArray(buffer);
}

// Local time without leading zeros: hour:minute:second, the separator, day-month-year. Qt's
// calendar rather than localtime(): a record's unsigned 32-bit time goes beyond January 2038,
// past the end of a 32-bit time_t.
QByteArray timeText(qint64 when, const char *format)
{
    const QDateTime local = QDateTime::fromSecsSinceEpoch(when);
    const QDate date = local.date();
    const QTime time = local.time();
    char buffer[96];
    std::snprintf(buffer, sizeof buffer, format, time.hour(), time.minute(), time.second(),
                  date.day(), date.month(), date.year());
    return QByteArray(buffer);
}

// The kept data bytes as "%02x ", with a line break after every sixth byte.
QByteArray hexDump(const uint8_t *data, uint32_t length)
{
    const uint32_t shown = length < PANIC_DATA_MAX ? length : PANIC_DATA_MAX;
    QByteArray dump;
    for (uint32_t i = 0; i < shown; ++i) {
        dump += formatted("%02x ", data[i]);
        if ((i + 1) % 6 == 0) {
            dump += '\n';
        }
    }
    return dump;
}

void readKernelSource(PanicNode **head, uint8_t *)
{
    readKernelPanic(head);
}

} // namespace

const PanicSource panicSources[4] = {
    {PANIC_BP, "bp", "BP Panics", readBpPanics},
    {PANIC_AP, "ap", "AP Panics", readApPanics},
    {PANIC_QUIRN, "quirn", "QUIRN Panics", readQuirnPanics},
    {PANIC_KERNEL, "kernel", "Kernel Panic", readKernelSource},
};

const PanicSource *panicSource(PanicType type)
{
    return type <= PANIC_KERNEL ? &panicSources[type] : nullptr;
}

const PanicSource *panicSourceNamed(const char *name)
{
    for (const PanicSource &source : panicSources) {
        if (name && std::strcmp(source.name, name) == 0) {
            return &source;
        }
    }
    return nullptr;
}

QString panicRowText(const PanicRecord &record)
{
    return rowText("%d %x %02x.%02x", static_cast<int>(record.panicNum), record.panicId,
                   record.version[0], record.version[1]);
}

QString panicRowText(const ApDumpRecord &record)
{
    return rowText(" %d  %x ", static_cast<int>(record.panicNum), record.moduleId);
}

QString panicRowText(const KernelPanicRecord &record)
{
    return rowText(" %x ", record.panicId);
}

QString panicRowText(PanicType type, const PanicNode *node)
{
    return visitPanicRecord(type, node, [](const auto &record) { return panicRowText(record); });
}

QList<PanicNode *> panicRowNodes(PanicType type, PanicNode *head, uint8_t count)
{
    // The kernel shows its one record; the others `count` rows, though the count can run above
    // the records (AP gaps): the walk ends with the list.
    const int rows = visitPanicRecord(type, head,
                                      PanicVisitor{[](const KernelPanicRecord &) { return 1; },
                                                   [count](const auto &) { return int(count); }});
    QList<PanicNode *> nodes;
    for (PanicNode *node = head; node && node->data && nodes.size() < rows; node = node->next) {
        nodes << node;
    }
    return nodes;
}

QStringList panicRowTexts(PanicType type, const PanicNode *head, uint8_t count)
{
    QStringList rows;
    for (const PanicNode *node : panicRowNodes(type, const_cast<PanicNode *>(head), count)) {
        rows << panicRowText(type, node);
    }
    return rows;
}

int64_t panicTime(PanicType type, const PanicNode *node)
{
    return visitPanicRecord(type, node,
                            [](const auto &record) { return int64_t(record.timestamp); });
}

QString panicDetailText(const PanicRecord &record)
{
    char version[16];
    std::snprintf(version, sizeof version, "%02x:%02x", record.version[0], record.version[1]);
    QByteArray text = "Panic Num: " + formatted("%u", record.panicNum);
    text += "\nPanic Ver: " + QByteArray(version);
    text += "\nPanic Id: " + formatted("%x", record.panicId);
    text += "\nTimestamp " + timeText(qint64(record.timestamp), "%d:%d:%d\n%d-%d-%d");
    text += "\nLength " + formatted("%u", record.length);
    text += "\nPanic Data\n" + hexDump(record.data, record.length);
    return QString::fromLatin1(text);
}

QString panicDetailText(const ApDumpRecord &record)
{
    // The module name comes from a file name and is shown as the system spells it.
    QByteArray text = "Panic Num: " + formatted("%u", record.panicNum);
    text += "\nCore Module Name:\n " + QByteArray(record.moduleName);
    text += "\nPanic Id: " + formatted("%x", record.moduleId);
    text += "\nTimestamp " + timeText(record.timestamp, "%d:%d:%d \n %d-%d-%d");
    text += "\nLength " + formatted("%u", record.nameLength);
    return QString::fromLocal8Bit(text);
}

QString panicDetailText(const KernelPanicRecord &record)
{
    return QString::fromLatin1("Timestamp " + timeText(record.timestamp, "%d:%d:%d \n %d-%d-%d"));
}

QString panicDetailText(PanicType type, const PanicNode *node)
{
    return visitPanicRecord(type, node, [](const auto &record) { return panicDetailText(record); });
}
