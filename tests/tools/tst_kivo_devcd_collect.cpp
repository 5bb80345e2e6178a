// kivo-devcd-collect on a devcoredump class folder built in a test root: dumps kept with their
// notes and freed, cut at the size limit, the oldest removed first, hostile entries refused.
#include "KivoTestRoot.h"
#include "ToolRun.h"

#include <QDir>
#include <QFile>
#include <QtTest>

#include <sys/stat.h>

namespace {

const QString s_keep = QStringLiteral("/var/lib/kivo/devcoredump");

QByteArray dumpData()
{
    QByteArray data("\x7f"
                    "ELF",
                    4);
    for (int i = 0; i < 36; ++i) {
        data += char(i);
    }
    return data;
}

} // namespace

class tst_KIVO_DevcdCollect : public QObject {
    Q_OBJECT

private slots:
    void init();
    void collect_data();
    void collect();

private:
    QString path(const QString &devicePath) const
    {
        return m_root.path(devicePath);
    }
    KivoTestRoot m_root;
};

void tst_KIVO_DevcdCollect::init()
{
    for (const char *dir : {"/sys", "/var", "/elsewhere"}) {
        QDir(path(QLatin1String(dir))).removeRecursively();
    }
    m_root.writeFile("/sys/class/devcoredump/devcd3/data", dumpData());
    QVERIFY(QFile::link("../../../devices/platform/soc/4080000.remoteproc",
                        path("/sys/class/devcoredump/devcd3/failing_device")));
}

void tst_KIVO_DevcdCollect::collect_data()
{
    QTest::addColumn<QString>("hazard");
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QStringList>("kept");   // the .data files left, oldest first
    QTest::addColumn<QByteArray>("newNote"); // the new dump's note without its time line

    const QByteArray note = "device=4080000.remoteproc\nsize=40\ntruncated=0\nsource=devcd3\n";
    QTest::newRow("kept with its note, freed")
        << "" << QStringList{"devcd3"} << 0 << QStringList{"new"} << note;
    QTest::newRow("every dump when none is named")
        << "" << QStringList() << 0 << QStringList{"new"} << note;
    QTest::newRow("cut at the size limit")
        << "" << QStringList{"--max-size", "10", "devcd3"} << 0 << QStringList{"new"}
        << QByteArray("device=4080000.remoteproc\nsize=10\ntruncated=1\nsource=devcd3\n");
    QTest::newRow("oldest removed over the count")
        << "three old" << QStringList{"--max-count", "2", "devcd3"} << 0
        << QStringList{"devcd-300-devcd0.data", "new"} << note;
    QTest::newRow("oldest removed over the total")
        << "three old" << QStringList{"--max-total", "100", "devcd3"} << 0
        << QStringList{"devcd-200-devcd0.data", "devcd-300-devcd0.data", "new"} << note;
    QTest::newRow("data a link") << "data link" << QStringList{"devcd3"} << 1 << QStringList()
                                 << QByteArray();
    QTest::newRow("data a FIFO") << "data fifo" << QStringList{"devcd3"} << 1 << QStringList()
                                 << QByteArray();
    QTest::newRow("keeping folder a link")
        << "keep link" << QStringList{"devcd3"} << 1 << QStringList() << QByteArray();
    QTest::newRow("keeping folder writable by others")
        << "keep open" << QStringList{"devcd3"} << 1 << QStringList() << QByteArray();
    QTest::newRow("not a dump name")
        << "" << QStringList{"../devcd3"} << 2 << QStringList() << QByteArray();
}

void tst_KIVO_DevcdCollect::collect()
{
    QFETCH(QString, hazard);
    QFETCH(QStringList, arguments);
    QFETCH(QStringList, kept);
    QFETCH(QByteArray, newNote);

    const QString data = path("/sys/class/devcoredump/devcd3/data");
    if (hazard == QLatin1String("three old")) {
        for (int when : {100, 200, 300}) {
            const QString stem = s_keep + "/devcd-" + QString::number(when) + "-devcd0";
            m_root.writeFile(stem + ".data", QByteArray(30, 'x'));
            m_root.writeFile(stem + ".info", "device=old\n");
            QVERIFY(setModifiedTime(QFile::encodeName(path(stem + ".data")), when));
        }
    } else if (hazard == QLatin1String("data link")) {
        m_root.writeFile("/elsewhere/dump", dumpData());
        QVERIFY(QFile::remove(data) && QFile::link(path("/elsewhere/dump"), data));
    } else if (hazard == QLatin1String("data fifo")) {
        QVERIFY(QFile::remove(data) && mkfifo(QFile::encodeName(data), 0600) == 0);
    } else if (hazard == QLatin1String("keep link")) {
        QVERIFY(QDir().mkpath(path("/elsewhere/keep")) && QDir().mkpath(path("/var/lib/kivo")));
        QVERIFY(QFile::link(path("/elsewhere/keep"), path(s_keep)));
    } else if (hazard == QLatin1String("keep open")) {
        QVERIFY(QDir().mkpath(path(s_keep)));
        QVERIFY(chmod(QFile::encodeName(path(s_keep)), 0777) == 0);
    }

    const ToolRun result =
        runTool(QStringLiteral(KIVO_DEVCD_COLLECT), arguments, {"KIVO_ROOT=" + m_root.root()});
    QTEST(result.exitCode, "exitCode");
    QStringList left =
        QDir(path(s_keep)).entryList({"*.data"}, QDir::Files, QDir::Time | QDir::Reversed);
    QString fresh;
    for (QString &name : left) {
        if (name.startsWith("devcd-") && name.endsWith("-devcd3.data")) {
            fresh = name;
            name = QStringLiteral("new");
        }
    }
    QCOMPARE(left, kept);
    QVERIFY(QDir(path("/elsewhere/keep")).isEmpty());
    if (fresh.isEmpty()) {
        return;
    }
    // A folder made by the collector passes its group on to the dumps.
    struct stat folder;
    QVERIFY(stat(QFile::encodeName(path(s_keep)).constData(), &folder) == 0);
    QCOMPARE(unsigned(folder.st_mode & 07777), hazard.isEmpty() ? 02750u : 0755u);
    // The dump as it was, the note beside it, and the dump freed by a write.
    const QString stem = s_keep + '/' + fresh.chopped(5);
    QCOMPARE(m_root.readFile(stem + ".data"),
             dumpData().left(newNote.contains("size=10") ? 10 : 40));
    const QString note = QString::fromLatin1(m_root.readFile(stem + ".info"));
    QCOMPARE(QString(note).remove(QRegularExpression("time=[0-9]+\n")).toLatin1(), newNote);
    QCOMPARE(m_root.readFile("/sys/class/devcoredump/devcd3/data").left(1), QByteArray("1"));
    QCOMPARE(result.out, ("/var/lib/kivo/devcoredump/" + fresh +
                          (newNote.contains("truncated=1") ? " (cut)" : "") + '\n')
                             .toUtf8());
}

QTEST_GUILESS_MAIN(tst_KIVO_DevcdCollect)
#include "tst_kivo_devcd_collect.moc"
