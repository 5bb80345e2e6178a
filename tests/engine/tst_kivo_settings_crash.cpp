// Killing KIVO in the middle of settings writes must never leave a settings file empty,
// corrupt or with a value that was never written.
#include "KivoTestRoot.h"

#include <QProcess>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTest>

#include <csignal>

class tst_KIVO_SettingsCrash : public QObject {
    Q_OBJECT

private slots:
    void killDuringWrites();

private:
    KivoTestRoot m_root;
};

void tst_KIVO_SettingsCrash::killDuringWrites()
{
    QDir().mkpath(m_root.path(QStringLiteral("/tmp")));
    // A store as it is written: a [KIVO] group of integer keys, nothing else.
    static const QRegularExpression whole(
        QStringLiteral("\\A\\[KIVO\\]\\n([A-Za-z_%0-9]+=\\d+\\n)*\\z"));
    // Each writer starts again at round 1, so every key holds some round >= 1.
    const QList<QPair<QString, QStringList>> stores = {
        {KivoTestRoot::defaultIniPath(),
         {"msg_warning_mode", "tone_warning_mode", "kivo_mode", "storedArfcn", "cell_sticker_mode",
          "Cell%20Sticker%20State"}},
        {QStringLiteral("/tmp/kivo"), {"Cell%20Barring"}}};
    for (int kill = 0; kill < 300; ++kill) {
        QProcess writer;
        writer.start(QStringLiteral(SETTINGS_WRITER), {});
        QVERIFY(writer.waitForStarted(5000));
        if (kill == 0) {
            QVERIFY(writer.waitForReadyRead(10000));
        }
        // A random moment within the burst, 0 to 30 ms after the start.
        QTest::qSleep(QRandomGenerator::global()->bounded(30));
        ::kill(static_cast<pid_t>(writer.processId()), SIGKILL);
        QVERIFY(writer.waitForFinished(5000));

        for (const auto &[path, keys] : stores) {
            const QString content = QString::fromLatin1(m_root.readFile(path));
            const QString where = QStringLiteral("kill %1, %2:\n%3").arg(kill).arg(path, content);
            QVERIFY2(whole.match(content).hasMatch(), qPrintable(where));
            for (const QString &key : keys) {
                const QRegularExpression written(QStringLiteral("^%1=[1-9]\\d*$").arg(key),
                                                 QRegularExpression::MultilineOption);
                QVERIFY2(written.match(content).hasMatch(), qPrintable(key + ", " + where));
            }
        }
    }
}

QTEST_GUILESS_MAIN(tst_KIVO_SettingsCrash)
#include "tst_kivo_settings_crash.moc"
