#pragma once

#include "KIVO_Panic_Util.h"

#include <QJsonObject>
#include <QList>
#include <QString>

// One panic source read once, with the same readers as the panic list screen, into a panic
// list that this object owns and frees.
class KIVO_PanicSource {
public:
    explicit KIVO_PanicSource(PanicType type);
    ~KIVO_PanicSource();
    KIVO_PanicSource(const KIVO_PanicSource &) = delete;
    KIVO_PanicSource &operator=(const KIVO_PanicSource &) = delete;

    PanicType type() const;
    const PanicNode *head() const;
    uint8_t count() const;
    // The nodes that the panic list screen shows as rows, in row order.
    QList<const PanicNode *> shownNodes() const;
    // The node of panic `number`, or null; the kernel record is number 1.
    const PanicNode *find(uint32_t number) const;
    // {"source", "count", "panics": [...]}; with `details` every panic carries its detail text.
    QJsonObject toJson(bool details) const;
    QJsonObject toJson(const PanicNode *node, bool details) const;

    // "bp", "ap", "quirn", "kernel".
    static QString name(PanicType type);
    static bool fromName(const QString &name, PanicType *type);
    static uint32_t number(PanicType type, const PanicNode *node);
    static qint64 timestamp(PanicType type, const PanicNode *node);

private:
    PanicType m_type;
    PanicNode *m_head = nullptr;
    uint8_t m_count = 0;
};
