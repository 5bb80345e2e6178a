#include "KIVO_PanicSource.h"

#include "KIVO_CrashText.h"
#include "KIVO_PanicText.h"
#include "KIVO_PanicVisit.h"
#include "PlSafeFile.h"

#include <QByteArray>
#include <QDateTime>
#include <QJsonArray>

namespace {

QString localIsoTime(qint64 when)
{
    const QDateTime local = QDateTime::fromSecsSinceEpoch(when);
    return local.toOffsetFromUtc(local.offsetFromUtc()).toString(Qt::ISODate);
}

QString hexId(uint32_t id)
{
    return QString::number(id, 16);
}

QString bytes(const char *text)
{
    return KIVO_PanicSource::escapedName(QByteArray(text));
}

QString hexBytes(const uint8_t *data, int64_t length, char separator = '\0')
{
    const int kept = int(std::min<int64_t>(length, PANIC_DATA_MAX));
    return QString::fromLatin1(
        QByteArray(reinterpret_cast<const char *>(data), kept).toHex(separator));
}

// The fields of each record type beside the source, number, time and row.
void insertFields(const PanicRecord &record, QJsonObject *object)
{
    object->insert(QStringLiteral("id"), qint64(record.panicId));
    object->insert(QStringLiteral("idHex"), hexId(record.panicId));
    object->insert(QStringLiteral("version"), hexBytes(record.version, 3, '.'));
    object->insert(QStringLiteral("length"), qint64(record.length));
    object->insert(QStringLiteral("data"), hexBytes(record.data, record.length));
}

void insertFields(const ApDumpRecord &record, QJsonObject *object)
{
    object->insert(QStringLiteral("id"), qint64(record.moduleId));
    object->insert(QStringLiteral("idHex"), hexId(record.moduleId));
    // Names that are not UTF-8 keep their bytes: escaped, and in hexadecimal beside them.
    const QByteArray module(record.moduleName);
    const QByteArray file(record.fileName);
    object->insert(QStringLiteral("module"), KIVO_PanicSource::escapedName(module));
    if (!KIVO_PanicSource::isUtf8(module)) {
        object->insert(QStringLiteral("moduleHex"), QString::fromLatin1(module.toHex()));
    }
    object->insert(QStringLiteral("nameLength"), qint64(record.nameLength));
    object->insert(QStringLiteral("file"), KIVO_PanicSource::escapedName(file));
    if (!KIVO_PanicSource::isUtf8(file)) {
        object->insert(QStringLiteral("fileHex"), QString::fromLatin1(file.toHex()));
    }
}

void insertFields(const KernelPanicRecord &record, QJsonObject *object)
{
    object->insert(QStringLiteral("id"), qint64(record.panicId));
    object->insert(QStringLiteral("idHex"), hexId(record.panicId));
}

void insertFields(const PstoreRecord &record, QJsonObject *object)
{
    object->insert(QStringLiteral("file"), bytes(record.path));
    object->insert(QStringLiteral("reason"), QString::fromLatin1(record.reason));
    object->insert(QStringLiteral("compressed"), record.compressed != 0);
    object->insert(QStringLiteral("size"), qint64(record.size));
    object->insert(QStringLiteral("lines"), bytes(record.excerpt));
}

void insertFields(const CoredumpRecord &record, QJsonObject *object)
{
    object->insert(QStringLiteral("program"), bytes(record.comm));
    object->insert(QStringLiteral("exe"), bytes(record.exe));
    object->insert(QStringLiteral("pid"), qint64(record.pid));
    object->insert(QStringLiteral("uid"), qint64(record.uid));
    object->insert(QStringLiteral("gid"), qint64(record.gid));
    object->insert(QStringLiteral("signal"), qint64(record.signal));
    object->insert(QStringLiteral("signalName"), QString::fromLatin1(record.signalName));
    object->insert(QStringLiteral("core"), QString::fromLatin1(coredumpCoreText(record.core)));
    object->insert(QStringLiteral("coreFile"), bytes(record.coreFile));
    object->insert(QStringLiteral("coreSize"), qint64(record.coreSize));
    object->insert(QStringLiteral("from"),
                   record.fromJournal ? QStringLiteral("journal") : QStringLiteral("core file"));
}

void insertFields(const DevcdRecord &record, QJsonObject *object)
{
    object->insert(QStringLiteral("device"), bytes(record.device));
    object->insert(QStringLiteral("file"), bytes(record.fileName));
    object->insert(QStringLiteral("length"), qint64(record.length));
    object->insert(QStringLiteral("truncated"), record.truncated != 0);
    object->insert(QStringLiteral("data"), hexBytes(record.data, record.length));
}

} // namespace

KIVO_PanicSource::KIVO_PanicSource(PanicType type) : m_type(type)
{
    if (const PanicSource *source = anyPanicSource(type)) {
        source->read(&m_head, &m_count);
    }
}

KIVO_PanicSource::~KIVO_PanicSource()
{
    freePanicList(&m_head);
}

PanicType KIVO_PanicSource::type() const
{
    return m_type;
}

const PanicNode *KIVO_PanicSource::head() const
{
    return m_head;
}

uint8_t KIVO_PanicSource::count() const
{
    return m_count;
}

QList<const PanicNode *> KIVO_PanicSource::shownNodes() const
{
    QList<const PanicNode *> nodes;
    for (const PanicNode *node : panicRowNodes(m_type, m_head, m_count)) {
        nodes << node;
    }
    return nodes;
}

const PanicNode *KIVO_PanicSource::find(uint32_t number) const
{
    if (m_type == PANIC_KERNEL) {
        return number == 1 && m_head && m_head->data ? m_head : nullptr;
    }
    if (number == 0 || number > m_count) {
        return nullptr;
    }
    return findPanicNode(m_type, m_head, number);
}

QJsonObject KIVO_PanicSource::toJson(bool details) const
{
    QJsonArray panics;
    for (const PanicNode *node : shownNodes()) {
        panics.append(toJson(node, details));
    }
    QJsonObject object;
    object.insert(QStringLiteral("source"), name(m_type));
    object.insert(QStringLiteral("count"), int(m_count));
    object.insert(QStringLiteral("panics"), panics);
    return object;
}

QJsonObject KIVO_PanicSource::toJson(const PanicNode *node, bool details) const
{
    QJsonObject object;
    object.insert(QStringLiteral("source"), name(m_type));
    object.insert(QStringLiteral("number"), qint64(number(m_type, node)));
    const qint64 when = panicTime(m_type, node);
    object.insert(QStringLiteral("timestamp"), qint64(when));
    object.insert(QStringLiteral("time"), localIsoTime(when));
    object.insert(QStringLiteral("row"), panicRowText(m_type, node));
    visitPanicRecord(m_type, node,
                     [&object](const auto &record) { insertFields(record, &object); });
    if (details) {
        object.insert(QStringLiteral("detail"), panicDetailText(m_type, node));
    }
    return object;
}

QString KIVO_PanicSource::name(PanicType type)
{
    const PanicSource *source = anyPanicSource(type);
    return source ? QString::fromLatin1(source->name) : QString();
}

uint32_t KIVO_PanicSource::number(PanicType type, const PanicNode *node)
{
    return type == PANIC_KERNEL ? 1 : panicNumber(type, node);
}

bool KIVO_PanicSource::isUtf8(const QByteArray &bytes)
{
    for (int at = 0; at < bytes.size();) {
        const int length = plUtf8SequenceLength(bytes, at);
        if (length == 0) {
            return false;
        }
        at += length;
    }
    return true;
}

// Not plTraceEscaped(): JSON escapes control characters itself, so only non-UTF-8 bytes change.
QString KIVO_PanicSource::escapedName(const QByteArray &bytes)
{
    if (isUtf8(bytes)) {
        return QString::fromUtf8(bytes);
    }
    QByteArray escaped;
    for (int at = 0; at < bytes.size();) {
        const int length = plUtf8SequenceLength(bytes, at);
        if (length == 0) {
            escaped += "\\x" + QByteArray::number(uchar(bytes.at(at)), 16).rightJustified(2, '0');
            ++at;
        } else if (bytes.at(at) == '\\') {
            escaped += "\\\\";
            ++at;
        } else {
            escaped += bytes.mid(at, length);
            at += length;
        }
    }
    return QString::fromUtf8(escaped);
}
