#include "StderrCapture.h"

#include <cstdio>
#include <unistd.h>

StderrCapture::StderrCapture()
{
    if (!m_file.open()) {
        return;
    }
    std::fflush(stderr);
    m_savedFd = dup(STDERR_FILENO);
    dup2(m_file.handle(), STDERR_FILENO);
}

StderrCapture::~StderrCapture()
{
    if (m_savedFd >= 0) {
        std::fflush(stderr);
        dup2(m_savedFd, STDERR_FILENO);
        close(m_savedFd);
    }
}

QByteArray StderrCapture::text()
{
    std::fflush(stderr);
    QFile reader(m_file.fileName());
    if (!reader.open(QIODevice::ReadOnly)) {
        return QByteArray();
    }
    reader.seek(m_start);
    return reader.readAll();
}

void StderrCapture::clear()
{
    std::fflush(stderr);
    QFile reader(m_file.fileName());
    m_start = reader.size();
}
