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

namespace {

// Parses an ini file as the store writes it: a [KIVO] group of integer keys, nothing else.
bool parseStore(const QByteArray &content, QMap<QString, qint64> *values, QString *why)
{
    const QList<QByteArray> lines = content.split('\n');
    if (content.isEmpty() || lines.first() != "[KIVO]") {
        *why = QStringLiteral("no [KIVO] group at the start");
        return false;
    }
    static const QRegularExpression keyLine(QStringLiteral("^([A-Za-z_%0-9]+)=(\\d+)$"));
    for (int i = 1; i < lines.size(); ++i) {
        if (lines.at(i).isEmpty()) {
            continue;
        }
        const auto match = keyLine.match(QString::fromLatin1(lines.at(i)));
        if (!match.hasMatch()) {
            *why = QStringLiteral("bad line: ") + QString::fromLatin1(lines.at(i));
            return false;
        }
        values->insert(match.captured(1), match.captured(2).toLongLong());
    }
    return true;
}

} // namespace

void tst_KIVO_SettingsCrash::killDuringWrites()
{
    const QString ini = m_root.path(KivoTestRoot::defaultIniPath());
    const QString volatileStore = m_root.path(QStringLiteral("/tmp/kivo"));
    QDir().mkpath(m_root.path(QStringLiteral("/tmp")));
    const QStringList keys = {"msg_warning_mode", "tone_warning_mode", "kivo_mode",
                              "storedArfcn", "cell_sticker_mode", "Cell%20Sticker%20State"};
    QMap<QString, qint64> previous;
    const int kills = 300;
    for (int kill = 0; kill < kills; ++kill) {
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

        for (const QString &path : {ini, volatileStore}) {
            QFile file(path);
            QVERIFY2(file.open(QIODevice::ReadOnly), qPrintable(path));
            QMap<QString, qint64> values;
            QString why;
            const QByteArray content = file.readAll();
            QVERIFY2(parseStore(content, &values, &why),
                     qPrintable(QStringLiteral("kill %1, %2: %3\n%4")
                                    .arg(kill)
                                    .arg(path, why, QString::fromLatin1(content))));
            if (path == ini) {
                for (const QString &key : keys) {
                    QVERIFY2(values.contains(key), qPrintable(key));
                    // Each process starts again at round 1, so a key holds some round >= 1.
                    QVERIFY(values.value(key) >= 1);
                }
                previous = values;
            } else {
                QVERIFY(values.contains(QStringLiteral("Cell%20Barring")));
            }
        }
    }
    QCOMPARE(previous.size(), keys.size());
}

QTEST_GUILESS_MAIN(tst_KIVO_SettingsCrash)
#include "tst_kivo_settings_crash.moc"
