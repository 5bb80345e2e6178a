#include "ToolRun.h"

#include <QtGlobal>

ToolRun finishTool(QProcess &process, int timeout)
{
    // Emulated test runs (a cross build under qemu-user) give their programs more time.
    const int factor = qMax(1, qEnvironmentVariableIntValue("KIVO_TEST_TIMEOUT_FACTOR"));
    ToolRun run;
    if (!process.waitForFinished(timeout * factor)) {
        process.kill();
        process.waitForFinished();
        return run;
    }
    run.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    run.out = process.readAllStandardOutput();
    run.err = process.readAllStandardError();
    return run;
}

ToolRun runTool(const QString &program, const QStringList &arguments,
                const QStringList &environment, const QString &workingDirectory, int timeout)
{
    QProcess process;
    QProcessEnvironment variables = QProcessEnvironment::systemEnvironment();
    for (const QString &variable : environment) {
        variables.insert(variable.section(QLatin1Char('='), 0, 0),
                         variable.section(QLatin1Char('='), 1));
    }
    process.setProcessEnvironment(variables);
    process.setWorkingDirectory(workingDirectory);
    process.start(program, arguments);
    return finishTool(process, timeout);
}
