#include "PlRoot.h"

#include <cstdlib>
#include <unistd.h>

namespace {

// A relative root taken against the current directory, so that no path made from it can start
// with '-' or mean something else once the directory changes.
QByteArray absoluteRoot(const char *root)
{
    if (!root || root[0] == '\0' || root[0] == '/') {
        return QByteArray(root);
    }
    char *current = getcwd(nullptr, 0);
    if (!current) {
        return QByteArray(root);
    }
    QByteArray absolute(current);
    std::free(current);
    if (!absolute.endsWith('/')) {
        absolute += '/';
    }
    return absolute + root;
}

// KIVO_ROOT is made absolute once, as the program starts, before anything reads it.
struct RootAtStartUp {
    RootAtStartUp()
    {
        plMakeRootAbsolute();
    }
};
const RootAtStartUp s_rootAtStartUp;

} // namespace

void plMakeRootAbsolute()
{
    const char *root = std::getenv("KIVO_ROOT");
    if (root && root[0] != '\0' && root[0] != '/') {
        setenv("KIVO_ROOT", absoluteRoot(root).constData(), 1);
    }
}

QByteArray plRoot()
{
    // A root set relative after the start (by a test, say) is still taken as absolute.
    const char *root = std::getenv("KIVO_ROOT");
    if (!root) {
        return QByteArray();
    }
    return absoluteRoot(root);
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
