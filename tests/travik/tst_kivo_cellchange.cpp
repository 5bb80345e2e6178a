// "Cell Change Warning": the two on/off dialogs and what they leave in the settings file.
#include "KIVO_CellChange.h"
#include "KIVO_Settings.h"
#include "KivoTestRoot.h"
#include "PopupWatcher.h"
#include "ScreenHelpers.h"

#include <QSettings>

class tst_KIVO_CellChange : public QObject {
    Q_OBJECT

private slots:
    void dialog_data();
    void dialog();

private:
    KivoTestRoot m_root;
};

void tst_KIVO_CellChange::dialog_data()
{
    QTest::addColumn<QByteArray>("ini"); // as found, written by hand
    QTest::addColumn<int>("row");        // 0 message, 1 tone
    QTest::addColumn<int>("choice");     // the row chosen, -1 to cancel
    QTest::addColumn<QString>("title");
    QTest::addColumn<QList<bool>>("checked");
    QTest::addColumn<int>("value"); // the setting afterwards, in the engine and the file

    // Spaces and a comment: a store that rewrote the file would not keep these bytes.
    const QByteArray both = "[KIVO]\nmsg_warning_mode = 1\n; by hand\ntone_warning_mode = 0\n";
    const QList<bool> on{true, false};
    const QList<bool> off{false, true};

    QTest::newRow("message cancelled") << both << 0 << -1 << "ShowMessageWarning" << on << 1;
    QTest::newRow("message unchanged") << both << 0 << 0 << "ShowMessageWarning" << on << 1;
    QTest::newRow("message off") << both << 0 << 1 << "ShowMessageWarning" << on << 0;
    QTest::newRow("tone on") << both << 1 << 0 << "ShowToneWarning" << off << 1;
    QTest::newRow("hand-edited tone 2 to off")
        << QByteArray("[KIVO]\ntone_warning_mode=2\n") << 1 << 1 << "ShowToneWarning" << off << 0;
}

void tst_KIVO_CellChange::dialog()
{
    QFETCH(QByteArray, ini);
    QFETCH(int, row);
    QFETCH(int, choice);
    QFETCH(int, value);

    const QString iniPath = KivoTestRoot::defaultIniPath();
    m_root.writeFile(iniPath, ini);
    EngineScope scope;
    KIVO_Engine &engine = scope.engine;
    loadSettings(&engine);
    const quint8 before[] = {engine.msg_warning_mode, engine.tone_warning_mode};

    PopupWatcher watcher;
    watcher.answer(choice < 0 ? PopupWatcher::Answer::Cancel : PopupWatcher::Answer::Accept,
                   choice);
    KIVO_CellChange screen(nullptr, "Notification");
    QVERIFY(screen.isVisible());
    QCOMPARE(screen.windowTitle(), QStringLiteral("Cell Change Warning"));
    press(&screen, row == 1 ? std::initializer_list<Qt::Key>{Qt::Key_Down, Qt::Key_Return}
                            : std::initializer_list<Qt::Key>{Qt::Key_Return});

    QCOMPARE(watcher.seen().size(), 1);
    QTEST(watcher.seen().first().title, "title");
    QCOMPARE(watcher.seen().first().rows, (QStringList{"On", "Off"}));
    QTEST(watcher.seen().first().checked, "checked");

    const quint8 after[] = {engine.msg_warning_mode, engine.tone_warning_mode};
    QCOMPARE(int(after[row]), value);
    QCOMPARE(after[1 - row], before[1 - row]);
    const bool changes = choice >= 0 && value != before[row];
    if (changes) {
        const char *key = row == 0 ? "KIVO/msg_warning_mode" : "KIVO/tone_warning_mode";
        QCOMPARE(QSettings(m_root.path(iniPath), QSettings::IniFormat).value(key).toInt(), value);
    } else {
        QCOMPARE(m_root.readFile(iniPath), ini);
    }
}

QTEST_MAIN(tst_KIVO_CellChange)
#include "tst_kivo_cellchange.moc"
