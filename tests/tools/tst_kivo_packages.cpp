// The Debian packages as a device image gets them: built with cpack from this build tree,
// unpacked with dpkg -x into scratch roots, their files and control fields checked, and the
// tools run from there.
#include "KivoTestRoot.h"
#include "ToolRun.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTest>

namespace {

// The ELF machine (e_machine, 16 bits at offset 18, little-endian on all of these) that
// programs of a Debian architecture carry; 0 for an architecture not listed.
int elfMachineOf(const QString &debianArch)
{
    static const QMap<QString, int> machines{
        {"amd64", 62}, {"i386", 3}, {"arm64", 183}, {"armhf", 40}, {"armel", 40}};
    return machines.value(debianArch);
}

int elfMachine(const QString &program)
{
    QFile file(program);
    if (!file.open(QIODevice::ReadOnly)) {
        return -1;
    }
    const QByteArray header = file.read(20);
    if (header.size() < 20 || !header.startsWith(QByteArray::fromHex("7f454c46"))) {
        return -1;
    }
    return quint8(header[18]) | quint8(header[19]) << 8;
}

} // namespace

class tst_KIVO_Packages : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void package_data();
    void package();
    void toolsRunFromScratchRoot();

private:
    KivoTestRoot m_root;
    QTemporaryDir m_work{QDir::tempPath() + QStringLiteral("/kivo-packages-XXXXXX")};
    QMap<QString, QString> m_debs;
};

void tst_KIVO_Packages::initTestCase()
{
    QVERIFY(m_work.isValid());
    const QString build = QStringLiteral(KIVO_BUILD_DIR);
    // The packages and cpack's staging go to the scratch directory, not the build tree.
    const ToolRun cpack =
        runTool(QStringLiteral(KIVO_CPACK),
                {"-G", "DEB", "-B", m_work.path(), "--config", build + "/CPackConfig.cmake"}, {},
                build, 280000);
    QVERIFY2(cpack.exitCode == 0, cpack.out + cpack.err);

    for (const QString &deb : QDir(m_work.path()).entryList({"*.deb"}, QDir::Files)) {
        const QString path = m_work.filePath(deb);
        const QString package = runTool("dpkg-deb", {"-f", path, "Package"}).out.trimmed();
        m_debs.insert(package, path);
        const ToolRun unpack = runTool("dpkg", {"-x", path, m_work.filePath("root-" + package)});
        QVERIFY2(unpack.exitCode == 0, unpack.err);
    }
    QCOMPARE(m_debs.keys(), QStringList({"kivo", "kivo-tools"}));
}

void tst_KIVO_Packages::package_data()
{
    QTest::addColumn<QString>("package");
    QTest::addColumn<QStringList>("programs");
    QTest::addColumn<QStringList>("libraries"); // in Depends; with '!', absent from it

    QTest::newRow("kivo holds the program and the ModemManager bridge")
        << "kivo" << QStringList{"kivo", "kivo-mm-bridge"}
        << QStringList{"libqt6widgets6", "libqt6dbus6", "libc6"};
    QTest::newRow("kivo-tools holds every tool and simulator")
        << "kivo-tools" << QString::fromLatin1(KIVO_PACKAGED_TOOLS).split(QLatin1Char(','))
        << QStringList{"libqt6core6", "libqt6dbus6", "!libqt6widgets6", "!libqt6gui6", "!libgl1"};
}

void tst_KIVO_Packages::package()
{
    QFETCH(QString, package);
    QFETCH(QStringList, programs);
    QFETCH(QStringList, libraries);

    const QString root = m_work.filePath("root-" + package);
    QStringList installed = QDir(root + "/usr/bin").entryList(QDir::Files | QDir::Executable);
    installed.sort();
    programs.sort();
    QCOMPARE(installed, programs);
    // Nothing outside /usr: no test programs, no build paths.
    QCOMPARE(QDir(root).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList{"usr"});
    if (package == QLatin1String("kivo")) {
        QFile unit(root + "/usr/lib/systemd/user/kivo-mm-bridge.service");
        QVERIFY2(unit.open(QIODevice::ReadOnly), qPrintable(unit.fileName()));
        QVERIFY(unit.readAll().contains("\nExecStart=kivo-mm-bridge\n"));
    }
    if (package == QLatin1String("kivo-tools") && KIVO_WITH_SIMULATORS) {
        QVERIFY2(QDirIterator(root + "/usr/share/kivo", QDir::Files, QDirIterator::Subdirectories)
                     .hasNext(),
                 "no simulator data under /usr/share/kivo");
    }

    const auto field = [&](const char *name) {
        return QString::fromUtf8(runTool("dpkg-deb", {"-f", m_debs.value(package), name}).out)
            .trimmed();
    };
    for (const QString &library : libraries) {
        const bool absent = library.startsWith(QLatin1Char('!'));
        QVERIFY2(field("Depends").contains(library.mid(absent)) != absent, qPrintable(library));
    }

    // The architecture named is the one the programs inside are built for: the same machine as
    // this test program's own (a cross build's target too).
    const int ownMachine = elfMachine(QCoreApplication::applicationFilePath());
    QCOMPARE(elfMachineOf(field("Architecture")), ownMachine);
    for (const QString &program : std::as_const(installed)) {
        QCOMPARE(elfMachine(root + "/usr/bin/" + program), ownMachine);
    }
}

void tst_KIVO_Packages::toolsRunFromScratchRoot()
{
    const QString bin = m_work.filePath("root-kivo-tools/usr/bin/");
    m_root.writeFile(KivoTestRoot::defaultIniPath(),
                     "[KIVO]\nstoredArfcn=62\nCell%20Sticker%20State=2\n");

    const ToolRun status = runTool(bin + "kivo-status", {"--json"});
    QVERIFY2(status.exitCode == 0, status.err);
    const QJsonObject settings = QJsonDocument::fromJson(status.out)["settings"].toObject();
    QCOMPARE(settings["storedArfcn"]["band"].toString(), QStringLiteral("P-GSM 900"));
}

QTEST_GUILESS_MAIN(tst_KIVO_Packages)
#include "tst_kivo_packages.moc"
