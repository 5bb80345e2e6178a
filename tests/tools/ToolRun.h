#pragma once

#include <QProcess>

// One run of a program to its end, as a user runs it from a shell.
struct ToolRun {
    int exitCode = -1; // -1: crashed or still running at the time-out (then killed)
    QByteArray out;
    QByteArray err;
};

// Waits for a started process to end and collects its output. The time-outs are in
// milliseconds, multiplied by KIVO_TEST_TIMEOUT_FACTOR when that is set (emulated runs).
ToolRun finishTool(QProcess &process, int timeout = 60000);
// Runs `program` in this test's environment with `environment` ("NAME=VALUE") added; KIVO_ROOT
// is the test's temporary root unless given there.
ToolRun runTool(const QString &program, const QStringList &arguments,
                const QStringList &environment = {}, const QString &workingDirectory = {},
                int timeout = 60000);
