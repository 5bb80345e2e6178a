// The Debian packages as a device image gets them: built with cpack from this build tree,
// unpacked with dpkg -x into scratch roots, their files and control fields checked, and the
// tools run from there.
#include "KivoTestRoot.h"

#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

class tst_KIVO_Packages : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void programs_data();
    void programs();
    void simulatorData();
    void controlFields_data();
    void controlFields();
    void toolsRunFromScratchRoot();

private:
    QString scratchRoot(const QString &package) const;

    KivoTestRoot m_root;
    QTemporaryDir m_work{QDir::tempPath() + QStringLiteral("/kivo-packages-XXXXXX")};
    QMap<QString, QString> m_debs;
};

namespace {

struct Result {
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};

Result run(const QString &program, const QStringList &arguments,
           const QString &workingDirectory = QString(), int timeout = 30000)
{
    QProcess process;
    process.setWorkingDirectory(workingDirectory);
    process.start(program, arguments);
    Result result;
    if (!process.waitForFinished(timeout)) {
        process.kill();
        process.waitForFinished();
        return result;
    }
    result.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    result.out = process.readAllStandardOutput();
    result.err = process.readAllStandardError();
    return result;
}

QStringList sorted(QStringList list)
{
    list.sort();
    return list;
}

} // namespace

QString tst_KIVO_Packages::scratchRoot(const QString &package) const
{
    return m_work.filePath(QStringLiteral("root-") + package);
}

void tst_KIVO_Packages::initTestCase()
{
    QVERIFY(m_work.isValid());
    const QString build = QStringLiteral(KIVO_BUILD_DIR);
    // The packages and cpack's staging go to the scratch directory, not the build tree.
    const Result cpack = run(QStringLiteral(KIVO_CPACK),
                             {"-G", "DEB", "-B", m_work.path(), "--config",
                              build + QStringLiteral("/CPackConfig.cmake")},
                             build, 280000);
    QVERIFY2(cpack.exitCode == 0, cpack.out + cpack.err);

    for (const QString &deb : QDir(m_work.path()).entryList({"*.deb"}, QDir::Files)) {
        const QString path = m_work.filePath(deb);
        const Result name = run(QStringLiteral("dpkg-deb"), {"-f", path, "Package"});
        QCOMPARE(name.exitCode, 0);
        const QString package = QString::fromUtf8(name.out.trimmed());
        m_debs.insert(package, path);
        const Result unpack = run(QStringLiteral("dpkg"), {"-x", path, scratchRoot(package)});
        QVERIFY2(unpack.exitCode == 0, unpack.err);
    }
    QCOMPARE(m_debs.keys(), QStringList({"kivo", "kivo-tools"}));
}

void tst_KIVO_Packages::programs_data()
{
    QTest::addColumn<QString>("package");
    QTest::addColumn<QStringList>("programs");

    QTest::newRow("kivo holds the program alone") << "kivo" << QStringList{"kivo"};
    QTest::newRow("kivo-tools holds every tool and simulator")
        << "kivo-tools" << QString::fromLatin1(KIVO_PACKAGED_TOOLS).split(QLatin1Char(','));
}

void tst_KIVO_Packages::programs()
{
    QFETCH(QString, package);
    QFETCH(QStringList, programs);

    const QDir bin(scratchRoot(package) + QStringLiteral("/usr/bin"));
    QCOMPARE(sorted(bin.entryList(QDir::Files)), sorted(programs));
    for (const QString &program : programs) {
        QVERIFY2(QFileInfo(bin.filePath(program)).isExecutable(), qPrintable(program));
    }
    // Nothing outside /usr: no test programs, no build paths.
    QCOMPARE(QDir(scratchRoot(package)).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
             QStringList{"usr"});
}

void tst_KIVO_Packages::simulatorData()
{
    const QString share =
        scratchRoot(QStringLiteral("kivo-tools")) + QStringLiteral("/usr/share/kivo");
    if (!KIVO_WITH_SIMULATORS) {
        QSKIP("this tree builds no simulator");
    }
    QDirIterator files(share, QDir::Files, QDirIterator::Subdirectories);
    QVERIFY2(files.hasNext(), "no default data under /usr/share/kivo");
}

void tst_KIVO_Packages::controlFields_data()
{
    QTest::addColumn<QString>("package");
    QTest::addColumn<QStringList>("libraries");

    QTest::newRow("kivo") << "kivo" << QStringList{"libqt6widgets6", "libqt6dbus6", "libc6"};
    QTest::newRow("kivo-tools") << "kivo-tools" << QStringList{"libqt6core6", "libqt6dbus6"};
}

void tst_KIVO_Packages::controlFields()
{
    QFETCH(QString, package);
    QFETCH(QStringList, libraries);

    const Result fields =
        run(QStringLiteral("dpkg-deb"), {"-f", m_debs.value(package), "Package", "Version",
                                         "Maintainer", "Depends", "Description"});
    QCOMPARE(fields.exitCode, 0);
    QMap<QString, QString> field;
    for (const QString &line : QString::fromUtf8(fields.out).split(QLatin1Char('\n'))) {
        if (line.startsWith(QLatin1Char(' '))) {
            continue;
        }
        const qsizetype colon = line.indexOf(QLatin1Char(':'));
        if (colon > 0) {
            field.insert(line.left(colon), line.mid(colon + 1).trimmed());
        }
    }
    QCOMPARE(field.value("Package"), package);
    QCOMPARE(field.value("Version"), QStringLiteral(KIVO_VERSION));
    QVERIFY2(field.value("Maintainer").contains(QLatin1Char('@')), fields.out);
    QVERIFY2(!field.value("Description").isEmpty(), fields.out);
    const QString depends = field.value("Depends");
    for (const QString &library : libraries) {
        QVERIFY2(depends.contains(library), qPrintable(depends));
    }
}

void tst_KIVO_Packages::toolsRunFromScratchRoot()
{
    const QString bin = scratchRoot(QStringLiteral("kivo-tools")) + QStringLiteral("/usr/bin/");
    m_root.writeFile(KivoTestRoot::defaultIniPath(),
                     "[KIVO]\nstoredArfcn=62\nCell%20Sticker%20State=2\n");

    const Result status = run(bin + QStringLiteral("kivo-status"), {"--json"});
    QVERIFY2(status.exitCode == 0, status.err);
    const QJsonObject stored = QJsonDocument::fromJson(status.out)
                                   .object()
                                   .value("settings")
                                   .toObject()
                                   .value("storedArfcn")
                                   .toObject();
    QCOMPARE(stored.value("band").toString(), QStringLiteral("P-GSM 900"));

    const Result help = run(bin + QStringLiteral("kivo-qcop"), {"--help"});
    QVERIFY2(help.exitCode == 0, help.err);
    QVERIFY(help.out.startsWith("Usage: kivo-qcop send"));
}

QTEST_GUILESS_MAIN(tst_KIVO_Packages)
#include "tst_kivo_packages.moc"
