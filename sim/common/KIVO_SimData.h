#pragma once

#include <QCoreApplication>
#include <QFileInfo>
#include <QString>

// Where a simulator's shipped default file is: next to the program in the build tree, or in
// share/kivo/ beside the bin/ folder it was installed to (/usr/share/kivo/ from the package).
inline QString kivoSimShippedFile(const char *name)
{
    const QString dir = QCoreApplication::applicationDirPath();
    const QString besideProgram = dir + QLatin1Char('/') + QLatin1String(name);
    if (QFileInfo::exists(besideProgram)) {
        return besideProgram;
    }
    return QFileInfo(dir + QStringLiteral("/../share/kivo/") + QLatin1String(name))
        .absoluteFilePath();
}
