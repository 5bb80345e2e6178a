#include "PlFlexBit.h"

#include "PlRoot.h"

#include <QFile>
#include <QFileInfo>

namespace {

// Parses a decimal number that fills the whole (trimmed) text.
bool parseDecimal(const QByteArray &text, long long *value)
{
    bool ok = false;
    *value = text.trimmed().toLongLong(&ok, 10);
    return ok;
}

} // namespace

int getFlexBit(int flag, unsigned char *byte)
{
    if (!byte) {
        return -1;
    }
    *byte = 0;
    const QString path = QString::fromLocal8Bit(plRootedPath("/etc/kivo/flexbits"));
    // Only a regular file is read: opening a FIFO or a device in its place would block
    // start-up for good. Anything else reads as no flag, like a missing file.
    if (!QFileInfo(path).isFile()) {
        return -1;
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return -1;
    }
    while (!file.atEnd()) {
        const QByteArray line = file.readLine().trimmed();
        if (line.isEmpty() || line.startsWith('#')) {
            continue;
        }
        const int eq = line.indexOf('=');
        if (eq < 0) {
            continue;
        }
        long long key = 0;
        long long value = 0;
        if (!parseDecimal(line.left(eq), &key) || key != flag) {
            continue;
        }
        if (!parseDecimal(line.mid(eq + 1), &value)) {
            continue;
        }
        *byte = static_cast<unsigned char>(value & 0xff);
        return 0;
    }
    return -1;
}
