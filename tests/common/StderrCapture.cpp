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
    return reader.open(QIODevice::ReadOnly) && reader.seek(m_start) ? reader.readAll()
                                                                     : QByteArray();
}

void StderrCapture::clear()
{
    std::fflush(stderr);
    m_start = QFile(m_file.fileName()).size();
}
