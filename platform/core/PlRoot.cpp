#include "PlRoot.h"

#include <cstdlib>

QByteArray plRoot()
{
    const char *root = std::getenv("KIVO_ROOT");
    if (!root) {
        return QByteArray();
    }
    return QByteArray(root);
}

QByteArray plRootedPath(const char *path)
{
    if (!path) {
        return QByteArray();
    }
    const QByteArray root = plRoot();
    if (root.isEmpty() || path[0] != '/') {
        return QByteArray(path);
    }
    // A root given with a trailing slash must not double the separator.
    QByteArray rooted = root;
    while (rooted.size() > 1 && rooted.endsWith('/')) {
        rooted.chop(1);
    }
    if (rooted == "/") {
        return QByteArray(path);
    }
    return rooted + path;
}

QString plRootedPath(const QString &path)
{
    return QString::fromLocal8Bit(plRootedPath(path.toLocal8Bit().constData()));
}

QByteArray plShellQuoted(const QByteArray &word)
{
    QByteArray quoted = "'";
    for (char c : word) {
        if (c == '\'') {
            quoted += "'\\''";
        } else {
            quoted += c;
        }
    }
    quoted += '\'';
    return quoted;
}
