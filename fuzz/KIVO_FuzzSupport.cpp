#include "KIVO_FuzzSupport.h"

#include "PlRoot.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTimer>
#include <QWidget>

#include <cstdlib>
#include <cstring>

namespace KIVO_Fuzz {

QString setUpEnvironment()
{
    static QString root;
    if (!root.isEmpty()) {
        return root;
    }
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    setenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/kivo-no-bus", 1);
    unsetenv("VEK_APP_WRITE_PATH");
    const QString base = QFileInfo(QStringLiteral("/dev/shm")).isWritable()
                             ? QStringLiteral("/dev/shm")
                             : QDir::tempPath();
    // Removed when the fuzzer ends normally; a crash leaves it for the post-mortem.
    static QTemporaryDir dir(base + QStringLiteral("/kivo-fuzz-XXXXXX"));
    root = dir.path();
    setenv("KIVO_ROOT", root.toLocal8Bit().constData(), 1);
    return root;
}

void ensureApplication()
{
    static int argc = 1;
    static char name[] = "kivo-fuzz";
    static char *argv[] = {name, nullptr};
    if (!QApplication::instance()) {
        new QApplication(argc, argv);
    }
}

void closeModalPopups()
{
    static QTimer *timer = nullptr;
    if (timer) {
        return;
    }
    timer = new QTimer;
    timer->setInterval(0);
    QObject::connect(timer, &QTimer::timeout, timer, [] {
        if (QWidget *popup = QApplication::activeModalWidget()) {
            popup->close();
        }
    });
    timer->start();
}

MemoryFile::MemoryFile(const uint8_t *data, size_t size)
{
    if (size == 0) {
        file = std::fopen("/dev/null", "rb");
        return;
    }
    // An exact-size copy, so that a read past the end is caught.
    m_bytes.reset(new uint8_t[size]);
    std::memcpy(m_bytes.get(), data, size);
    file = fmemopen(m_bytes.get(), size, "rb");
}

MemoryFile::~MemoryFile()
{
    if (file) {
        std::fclose(file);
    }
}

void writeRootedFile(const char *devicePath, const uint8_t *data, size_t size)
{
    const QString path = QString::fromLocal8Bit(plRootedPath(devicePath));
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        file.write(reinterpret_cast<const char *>(data), static_cast<qint64>(size));
    }
}

} // namespace KIVO_Fuzz
