#include "KIVO_PanicSource.h"

#include "KIVO_PanicText.h"

#include <QByteArray>
#include <QDateTime>
#include <QJsonArray>

namespace {

const PanicType s_types[] = {PANIC_BP, PANIC_AP, PANIC_QUIRN, PANIC_KERNEL};

QString localIsoTime(qint64 when)
{
    const QDateTime local = QDateTime::fromSecsSinceEpoch(when);
    return local.toOffsetFromUtc(local.offsetFromUtc()).toString(Qt::ISODate);
}

QString hexId(uint32_t id)
{
    return QString::number(id, 16);
}

} // namespace

KIVO_PanicSource::KIVO_PanicSource(PanicType type) : m_type(type)
{
    switch (type) {
    case PANIC_BP:
        readBpPanics(&m_head, &m_count);
        break;
    case PANIC_AP:
        readApPanics(&m_head, &m_count);
        break;
    case PANIC_QUIRN:
        readQuirnPanics(&m_head, &m_count);
        break;
    case PANIC_KERNEL:
        readKernelPanic(&m_head);
        break;
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
    // The same walk as the rows: `count` nodes from the head, ending with the list; for the
    // kernel the head alone.
    QList<const PanicNode *> nodes;
    const int limit = m_type == PANIC_KERNEL ? 1 : m_count;
    for (const PanicNode *node = m_head; node && node->data && nodes.size() < limit;
         node = node->next) {
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
    const qint64 when = timestamp(m_type, node);
    object.insert(QStringLiteral("timestamp"), qint64(when));
    object.insert(QStringLiteral("time"), localIsoTime(when));
    object.insert(QStringLiteral("row"), panicRowText(m_type, node));
    if (m_type == PANIC_BP || m_type == PANIC_QUIRN) {
        const auto *record = static_cast<const PanicRecord *>(node->data);
        const int kept = int(std::min(record->length, PANIC_DATA_MAX));
        object.insert(QStringLiteral("id"), qint64(record->panicId));
        object.insert(QStringLiteral("idHex"), hexId(record->panicId));
        object.insert(
            QStringLiteral("version"),
            QString::fromLatin1(
                QByteArray(reinterpret_cast<const char *>(record->version), 3).toHex('.')));
        object.insert(QStringLiteral("length"), qint64(record->length));
        object.insert(QStringLiteral("data"),
                      QString::fromLatin1(
                          QByteArray(reinterpret_cast<const char *>(record->data), kept).toHex()));
    } else if (m_type == PANIC_AP) {
        const auto *record = static_cast<const ApDumpRecord *>(node->data);
        object.insert(QStringLiteral("id"), qint64(record->moduleId));
        object.insert(QStringLiteral("idHex"), hexId(record->moduleId));
        object.insert(QStringLiteral("module"), QString::fromLocal8Bit(record->moduleName));
        object.insert(QStringLiteral("nameLength"), qint64(record->nameLength));
        object.insert(QStringLiteral("file"), QString::fromLocal8Bit(record->fileName));
    } else {
        const auto *record = static_cast<const KernelPanicRecord *>(node->data);
        object.insert(QStringLiteral("id"), qint64(record->panicId));
        object.insert(QStringLiteral("idHex"), hexId(record->panicId));
    }
    if (details) {
        object.insert(QStringLiteral("detail"), panicDetailText(m_type, node));
    }
    return object;
}

QString KIVO_PanicSource::name(PanicType type)
{
    switch (type) {
    case PANIC_BP:
        return QStringLiteral("bp");
    case PANIC_AP:
        return QStringLiteral("ap");
    case PANIC_QUIRN:
        return QStringLiteral("quirn");
    case PANIC_KERNEL:
        return QStringLiteral("kernel");
    }
    return QString();
}

bool KIVO_PanicSource::fromName(const QString &name, PanicType *type)
{
    for (PanicType candidate : s_types) {
        if (name == KIVO_PanicSource::name(candidate)) {
            *type = candidate;
            return true;
        }
    }
    return false;
}

uint32_t KIVO_PanicSource::number(PanicType type, const PanicNode *node)
{
    return type == PANIC_KERNEL ? 1 : panicNumber(type, node);
}

qint64 KIVO_PanicSource::timestamp(PanicType type, const PanicNode *node)
{
    switch (type) {
    case PANIC_BP:
    case PANIC_QUIRN:
        return static_cast<const PanicRecord *>(node->data)->timestamp;
    case PANIC_AP:
        return static_cast<const ApDumpRecord *>(node->data)->timestamp;
    case PANIC_KERNEL:
        return static_cast<const KernelPanicRecord *>(node->data)->timestamp;
    }
    return 0;
}
