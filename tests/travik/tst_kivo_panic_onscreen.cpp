// The kivo program itself, unchanged, on a test root holding the crash places of a mainline Linux
// beside the seed phone's own: the panic lists as a screen reader reads them off the screen.
#include "CrashFixtures.h"
#include "KivoOnScreen.h"
#include "KivoTestRoot.h"

#include <QTest>

class tst_KIVO_PanicOnScreen : public QObject {
    Q_OBJECT

private slots:
    void lists_data();
    void lists();

private:
    KivoTestRoot m_root;
};

void tst_KIVO_PanicOnScreen::lists_data()
{
    QTest::addColumn<int>("type"); // the row on Panics Type
    QTest::addColumn<QString>("fixture");
    QTest::addColumn<QStringList>("rows");

    // The seed's kernel panic partition and AP dumps come first, as they were.
    QTest::newRow("kernel: a pstore panic and oops below the partition's")
        << 3 << "pstore two"
        << QStringList{" 82000 ", "2 Oops dmesg-efi-1", "1 Panic dmesg-ramoops-0"};
    QTest::newRow("ap: systemd-coredump's crashes below the dumps")
        << 1 << "journal"
        << QStringList{" 3  82100 ", " 1  1a ", " 2  kivo SIGSEGV", " 1  modemd SIGABRT"};
}

void tst_KIVO_PanicOnScreen::lists()
{
    QFETCH(int, type);
    QFETCH(QString, fixture);
    QFETCH(QStringList, rows);

    m_root.writeFlexBits("356=1\n");
    m_root.writeFile("/dev/mtdblock/kpanic", "Panic\nCurrent Time = 2024-05-04 13:05:09\n");
    m_root.writeFile("/usr/data_resource/apr/coredump_table.cfg", "1a=messaging\n");
    qint64 time = 1714827609;
    for (const char *dump : {"core.messaging.17", "core.dump", "core.browser.3"}) {
        const QString path = QStringLiteral("/veklocal/apr_app_dump/") + QLatin1String(dump);
        m_root.writeFile(path, "ELF");
        QVERIFY(setModifiedTime(QFile::encodeName(m_root.path(path)), time));
        time += 100;
    }
    QString skip;
    QVERIFY(makeCrashFixture(m_root.root(), fixture, &skip));
    KivoOnScreen screen;
    QProcessEnvironment environment;
    environment.insert(QStringLiteral("KIVO_ROOT"), m_root.root());
    QVERIFY2(skip.isEmpty() && screen.start(QStringLiteral(KIVO_PROGRAM), environment, &skip),
             qPrintable(screen.error()));
    if (!skip.isEmpty()) {
        QSKIP(qPrintable(skip));
    }

    const QStringList down(type, QStringLiteral("Down"));
    const QByteArray lastRow = rows.last().toUtf8();
    const struct {
        const char *title;
        const char *text; // what shows that window is up
        QStringList keys;
    } steps[] = {
        {"KIVO", "Internal Options", {"Down", "Down", "Down", "Return"}},
        {"Panic Viewer", "Panic Viewer", {"Return"}},
        {"Panics Type", "QUIRN Panics", down + QStringList{"Return"}},
        {"Panics", lastRow.constData(), {}},
    };
    for (const auto &step : steps) {
        QVERIFY2(screen.pressOn(step.title, step.text, step.keys), qPrintable(screen.error()));
    }
    QCOMPARE(screen.seen().rows, rows);
}

QTEST_GUILESS_MAIN(tst_KIVO_PanicOnScreen)
#include "tst_kivo_panic_onscreen.moc"
