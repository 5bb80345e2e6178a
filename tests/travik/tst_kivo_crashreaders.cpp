// The crash readers of a mainline Linux (pstore, systemd-coredump, devcoredump) on places built
// in a temporary root: records found and ordered, missing places, and hostile entries.
#include "CrashFixtures.h"
#include "KIVO_CrashText.h"
#include "KivoTestRoot.h"
#include "StderrCapture.h"

#include <QtTest>

#include <sys/stat.h>
#include <unistd.h>

class tst_KIVO_CrashReaders : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void records_data();
    void records();

private:
    KivoTestRoot m_root;
};

void tst_KIVO_CrashReaders::initTestCase()
{
    qputenv("TZ", "UTC");
    tzset();
}

void tst_KIVO_CrashReaders::init()
{
    for (const char *dir : {"/sys", "/var", "/run", "/elsewhere"}) {
        QDir(m_root.path(QLatin1String(dir))).removeRecursively();
    }
}

void tst_KIVO_CrashReaders::records_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<QString>("fixture");
    QTest::addColumn<QStringList>("rows");
    QTest::addColumn<QString>("detailHas"); // how the newest record's detail ends

    const int pstore = PANIC_PSTORE;
    const int coredump = PANIC_COREDUMP;
    const int devcd = PANIC_DEVCD;
    QTest::newRow("pstore: live and archived, newest first, console not a panic")
        << pstore << "pstore two" << QStringList{"2 Oops dmesg-efi-1", "1 Panic dmesg-ramoops-0"}
        << "Internal error: Oops: 96000005 [#1] SMP\n<4>[ 3.000000] Call trace:\n"
           "<4>[ 3.000001]  qcom_q6v5_crash+0x10/0x20";
    QTest::newRow("pstore: a record folder's dmesg.txt stands for its parts")
        << pstore << "pstore folder" << QStringList{"1 Panic dmesg.txt"}
        << "<0>[ 9.0] Kernel panic - not syncing: sysrq triggered crash";
    QTest::newRow("pstore: compressed, named, not decoded")
        << pstore << "pstore compressed" << QStringList{"1 dmesg dmesg-ramoops-0.enc.z"}
        << "Reason: compressed, not decoded\nTimestamp 13:5:9 \n 4-5-2024\nLength 64\n"
           "Panic Lines\n";
    QTest::newRow("pstore: panic line past the read bound")
        << pstore << "pstore huge" << QStringList{"1 Panic dmesg-ramoops-0"} << "\nPanic Lines\n";
    QTest::newRow("pstore: FIFO") << pstore << "pstore fifo" << QStringList() << "";
    QTest::newRow("pstore: record a link") << pstore << "pstore link" << QStringList() << "";
    QTest::newRow("pstore: folder a link") << pstore << "pstore folder link" << QStringList() << "";

    QTest::newRow("coredump: journal, newest first, core kept or not")
        << coredump << "journal" << QStringList{" 2  kivo SIGSEGV", " 1  modemd SIGABRT"}
        << "Program: kivo\nExecutable: /usr/bin/kivo\nPID: 4242 UID: 1000\nSignal: 11 SIGSEGV\n"
           "Timestamp 13:5:9 \n 4-5-2024\nCore: present\n "
           "core.kivo.1000.0123456789abcdef0123456789abcdef.4242.1714827909000000.zst\n"
           "From: journal";
    QTest::newRow("coredump: a core without its entry joins the journal's")
        << coredump << "journal plus core"
        << QStringList{" 3  camd SIGBUS", " 2  kivo SIGSEGV", " 1  modemd SIGABRT"}
        << "From: core file";
    QTest::newRow("coredump: no journal, the core's attributes")
        << coredump << "xattr" << QStringList{" 1  camd SIGBUS"}
        << "PID: 77 UID: 1001\nSignal: 7 SIGBUS\nTimestamp 13:40:0 \n 4-5-2024\nCore: present\n "
           "core.camd.1001.0123456789abcdef0123456789abcdef.77.1714830000000000.zst\n"
           "From: core file";
    QTest::newRow("coredump: no journal, no attributes, the core's name")
        << coredump << "core name" << QStringList{" 1  cam.d "}
        << "PID: 78 UID: 1002\nSignal: 0 \nTimestamp 13:56:40 \n 4-5-2024\nCore: present\n "
           "core.cam.d.1002.0123456789abcdef0123456789abcdef.78.1714831000000000.zst\n"
           "From: core file";
    QTest::newRow("coredump: truncated journal, the core still listed")
        << coredump << "truncated journal" << QStringList{" 1  camd SIGBUS"} << "";
    QTest::newRow("coredump: FIFO journal")
        << coredump << "fifo journal" << QStringList{" 1  camd SIGBUS"} << "";
    QTest::newRow("coredump: journal folder a link")
        << coredump << "journal link" << QStringList() << "";

    QTest::newRow("devcd: newest first by the collector's time")
        << devcd << "devcd two" << QStringList{"2 4080000.remoteproc", "1 wlan0"}
        << "Device: 4080000.remoteproc\nTimestamp 13:5:9\n4-5-2024\nLength 40\nDump Data\n"
           "7f 45 4c 46 01 01 \n00 01 02 03 04 05 \n06 07 08 09 0a 0b \n0c 0d 0e 0f 10 11 \n"
           "12 13 14 15 16 17 \n18 19 1a 1b 1c 1d \n";
    QTest::newRow("devcd: no notes")
        << devcd << "devcd bare" << QStringList{"1 unknown"} << "Length 3\nDump Data\n61 62 63 ";
    QTest::newRow("devcd: FIFO and link") << devcd << "devcd hostile" << QStringList() << "";
}

void tst_KIVO_CrashReaders::records()
{
    QFETCH(int, type);
    QFETCH(QString, fixture);
    QFETCH(QStringList, rows);
    QFETCH(QString, detailHas);

    QString skip;
    QVERIFY2(makeCrashFixture(m_root.root(), fixture, &skip), qPrintable(fixture));
    if (!skip.isEmpty()) {
        QSKIP(qPrintable(skip));
    }
    const PanicType panicType = static_cast<PanicType>(type);
    PanicNode *head = nullptr;
    uint8_t count = 99;
    StderrCapture capture;
    anyPanicSource(panicType)->read(&head, &count);
    QCOMPARE(panicRowTexts(panicType, head, count), rows);
    QCOMPARE(int(count), rows.size());
    if (!detailHas.isEmpty()) {
        QVERIFY2(panicDetailText(panicType, head).endsWith(detailHas),
                 qPrintable(panicDetailText(panicType, head)));
    }
    freePanicList(&head);
}

QTEST_GUILESS_MAIN(tst_KIVO_CrashReaders)
#include "tst_kivo_crashreaders.moc"
