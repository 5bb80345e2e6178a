#pragma once

#include <QDir>
#include <QFile>
#include <QString>

#include <cerrno>
#include <cstring>

#include <sys/mount.h>

// A small tmpfs mounted on a directory while the object lives, to give a test a full or a
// read-only file system without touching a real one. Mounting needs root (or a kernel that lets
// this process mount); where it cannot, isMounted() is false and error() says why, so that the
// test can skip with that reason.
class ScratchMount {
public:
    // Mounts a tmpfs of `kilobytes` KiB on `directory`, made when missing.
    ScratchMount(const QString &directory, int kilobytes) : m_directory(directory)
    {
        QDir().mkpath(directory);
        const QByteArray options = "size=" + QByteArray::number(kilobytes) + "k,mode=0755";
        if (::mount("tmpfs", QFile::encodeName(directory).constData(), "tmpfs", 0,
                    options.constData()) == 0) {
            m_mounted = true;
        } else {
            m_error = QStringLiteral("cannot mount a tmpfs on %1: %2 (needs root)")
                          .arg(directory, QString::fromLocal8Bit(std::strerror(errno)));
        }
    }
    ~ScratchMount()
    {
        if (m_mounted) {
            ::umount2(QFile::encodeName(m_directory).constData(), MNT_DETACH);
        }
    }
    Q_DISABLE_COPY(ScratchMount)

    bool isMounted() const
    {
        return m_mounted;
    }
    QString error() const
    {
        return m_error;
    }

    bool remountReadOnly()
    {
        return ::mount("tmpfs", QFile::encodeName(m_directory).constData(), "tmpfs",
                       MS_REMOUNT | MS_RDONLY, nullptr) == 0;
    }

    // Fills the free space with one file; true once a write was refused for want of space.
    bool fill()
    {
        QFile filler(m_directory + QStringLiteral("/filler"));
        if (!filler.open(QIODevice::WriteOnly | QIODevice::Unbuffered)) {
            return false;
        }
        const QByteArray block(1024, 'x');
        while (filler.write(block) == block.size()) {
        }
        return true;
    }

private:
    QString m_directory;
    QString m_error;
    bool m_mounted = false;
};
