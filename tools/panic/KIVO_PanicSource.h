#pragma once

#include "KIVO_Panic_Util.h"

#include <QJsonObject>
#include <QList>
#include <QString>

// One panic source read once, through the panic screens' own source table (readers and texts),
// into a panic list that this object owns and frees; and its JSON form.
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

    // "bp", "ap", "quirn", "kernel", from the source table.
    static QString name(PanicType type);
    static uint32_t number(PanicType type, const PanicNode *node);

    // A name from the file system as JSON keeps it: valid UTF-8 as it is, any other byte as
    // "\xHH" (and a backslash as "\\" then, so the escape cannot be mistaken).
    static QString escapedName(const QByteArray &bytes);
    static bool isUtf8(const QByteArray &bytes);

private:
    PanicType m_type;
    PanicNode *m_head = nullptr;
    uint8_t m_count = 0;
};
