#pragma once

#include <QTemporaryFile>

// Sends everything written to file descriptor 2 into a temporary file while it lives, so a
// test can read the program's traces byte for byte.
class StderrCapture {
public:
    StderrCapture();
    ~StderrCapture();

    // All that was written since construction (or the last clear()).
    QByteArray text();
    void clear();

private:
    QTemporaryFile m_file;
    int m_savedFd = -1;
    qint64 m_start = 0;
};
