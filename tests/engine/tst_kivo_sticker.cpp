// The cell sticker's state machine alone, with no display, bus or settings file: from the
// engine's sticker fields, one event or key gives the fields afterwards and, in order, what
// went out: ARFCN checks, requests byte for byte, settings writes, messages, notices, telephony
// errors, cellBarred() and the "Enter Arfcn" row. Every transition of the sticker is a row.
#include "KIVO_StickerMachine.h"
#include "StderrCapture.h"

#include <QTest>

namespace {

// The settings file, the telephony layer and the user, as the machine meets them.
class Recorder : public KIVO_StickerLink {
public:
    // The file holds a sticker on 77 with the mode On.
    int readSetting(const KIVO_Setting &setting) override
    {
        const QMap<QByteArray, int> file{
            {"cell_sticker_mode", 1}, {"Cell Sticker State", 2}, {"storedArfcn", 77}};
        return file.value(setting.key, setting.defaultValue);
    }
    void writeSetting(const char *key, qint64 value) override
    {
        out << QStringLiteral("write %1=%2").arg(QLatin1String(key)).arg(value);
    }
    quint8 checkArfcn(quint32 arfcn) override
    {
        out << QStringLiteral("check %1").arg(arfcn);
        return quint8(answers.isEmpty() ? 0 : answers.takeFirst());
    }
    int sendRequest(const StickerRequest *request) override
    {
        out << "send " + QByteArray(reinterpret_cast<const char *>(request), 5).toHex();
        return answers.isEmpty() ? 0 : answers.takeFirst();
    }
    void showMessage(const QString &title, const QString &text) override
    {
        out << "message " + title + ": " + text;
    }
    void showNotice(const QString &text) override
    {
        out << "notice " + text;
    }
    void showTapiError(int status) override
    {
        out << QStringLiteral("error %1").arg(status);
    }

    QList<int> answers; // the verdict, then the request statuses, in the order asked
    QStringList out;
};

// "state prev arfcn storedArfcn mode | request" as the engine holds them.
struct Fields {
    explicit Fields(const QString &text)
    {
        const QStringList parts = text.split(QLatin1Char(' '));
        state = parts.at(0).toInt();
        prev = parts.at(1).toInt();
        arfcn = parts.at(2).toInt();
        stored = parts.at(3).toInt();
        mode = quint8(parts.at(4).toUInt());
        const QByteArray bytes = QByteArray::fromHex(parts.at(6).toLatin1());
        std::memcpy(&request, bytes.constData(), sizeof(request));
    }
    QString text() const
    {
        return QString::asprintf("%d %d %d %d %d | ", state, prev, arfcn, stored, mode) +
               QByteArray(reinterpret_cast<const char *>(&request), 5).toHex();
    }

    int state;
    int prev;
    int arfcn;
    int stored;
    quint8 mode;
    StickerRequest request;
};

} // namespace

class tst_KIVO_Sticker : public QObject {
    Q_OBJECT

private slots:
    void transition_data();
    void transition();
};

// The fields before, the input and the link's answers to it (the verdict, then the request
// statuses), the fields after, what went out in order ("; " apart) and the traces.
void row(const char *name, const char *before, const char *input, const QList<int> &answers,
         const char *after, const QString &out, const char *trace)
{
    QTest::newRow(name) << QString::fromLatin1(before) << QString::fromLatin1(input) << answers
                        << QString::fromLatin1(after) << out.split("; ", Qt::SkipEmptyParts)
                        << QByteArray(trace);
}

void tst_KIVO_Sticker::transition_data()
{
    QTest::addColumn<QString>("before");
    QTest::addColumn<QString>("input"); // a key, a choice or an outcome code
    QTest::addColumn<QList<int>>("answers");
    QTest::addColumn<QString>("after");
    QTest::addColumn<QStringList>("out");
    QTest::addColumn<QByteArray>("trace");

    const QString ask = "message Cell Sticker Information: Set sticker on ARFCN 70 ?; check 70";
    const QString info = QStringLiteral("notice Cell id: %1\n%2");
    const QString failed = QStringLiteral("barred; notice Cell id: %1\nCell Sticker Stopped\n%2");

    // The "Arfcn" popup and the screen being built.
    row("entry: any state to 1", "2 0 62 62 1 | 013e000000", "enter 70", {},
        "1 2 70 62 1 | 013e000000", "write Cell Sticker State=1", "value of stored arfcn = 70");
    row("entry: empty is 0", "1 0 9 -1 1 | 0100000000", "enter ", {}, "1 1 0 -1 1 | 0100000000",
        "write Cell Sticker State=1", "value of stored arfcn = 0");
    row("popup: file's ARFCN", "2 0 5 62 1 | 0100000000", "popup", {}, "2 0 77 62 1 | 0100000000",
        "field 77", "\nStored arfcn = 77");
    row("popup: none stored", "0 0 5 -1 1 | 0100000000", "popup", {}, "0 0 5 -1 1 | 0100000000", "",
        "");
    row("screen: sticker set in the file", "0 0 5 62 0 | 0000000000", "screen", {},
        "2 0 77 62 1 | 0100000000", "entry on", "\nValue of arfcn = 77");
    row("mode On", "0 0 -1 -1 0 | 0000000000", "mode 0", {}, "0 0 -1 -1 1 | 0100000000",
        "entry on; write cell_sticker_mode=1", "");
    row("mode Off", "2 0 62 62 1 | 013e000000", "mode 1", {}, "2 0 62 62 0 | 003e000000",
        "entry off; write cell_sticker_mode=0", "");

    // "Set" with the mode On.
    row("on: no cell selected", "2 0 62 62 1 | 013e000000", "set", {}, "2 0 62 62 1 | 013e000000",
        "message Cell Sticker Error: No cell selected", "");
    row("on: ARFCN of the last request", "1 2 62 62 1 | 013e000000", "set", {},
        "2 2 62 62 1 | 013e000000", "write Cell Sticker State=2", "\ncell sticker state = 2 ");
    row("on: wrong ARFCN", "1 0 70 62 1 | 013e000000", "set", {3}, "0 0 62 62 1 | 0146000000",
        ask + "; write Cell Sticker State=0; message Cell Sticker Information: Wrong ARFCN entered",
        "");
    row("on: accepted", "1 0 70 62 1 | 013e000000", "set", {0, 0}, "1 0 70 62 1 | 0146000000",
        ask + "; send 0146000000", "");
    row("on: refused", "1 2 70 62 1 | 013e000000", "set", {0, 4}, "2 2 62 62 0 | 0046000000",
        ask + "; send 0146000000; error 4; entry off; write Cell Sticker State=2",
        "\nkivo_eng->arfcn = 62 ");

    // "Set" with the mode Off, and a failure passed back to the screen.
    row("off: sticker not set", "1 0 62 62 0 | 0000000000", "set", {}, "1 0 62 62 0 | 0000000000",
        "message Cell Sticker Information: Sticker not set", "");
    row("off: release", "2 0 62 62 0 | 0000000000", "set", {0}, "2 0 62 62 0 | 003e000000",
        "send 003e000000", "");
    row("off: release refused", "2 0 62 62 0 | 0000000000", "set", {5}, "2 0 62 62 0 | 003e000000",
        "send 003e000000; error 5", "");
    row("failed: stop accepted", "0 0 62 62 1 | 013e000000", "failed", {0},
        "0 0 62 62 0 | 003e000000", "send 003e000000; write cell_sticker_mode=0", "");
    row("failed: stop refused", "0 0 62 62 1 | 013e000000", "failed", {1},
        "0 0 62 62 0 | 003e000000", "send 003e000000; error 1", "");
    row("failed: mode Off already", "0 0 62 62 0 | 003e000000", "failed", {},
        "0 0 62 62 0 | 003e000000", "", "");

    // The outcome events: state, code.
    row("1, 6 keeps", "1 0 70 62 1 | 0146000000", "outcome 6", {}, "2 0 70 70 1 | 0146000000",
        "write storedArfcn=70; write Cell Sticker State=2; " + info.arg(70).arg("Mode Entered"),
        "\nUpdate sticker\nValue of arfcn = 70");
    row("1, 2 fails", "1 2 70 62 1 | 0146000000", "outcome 2", {}, "2 2 62 62 1 | 0146000000",
        "write storedArfcn=62; write Cell Sticker State=2; " + failed.arg(70).arg("Cell Barred"),
        "\nUpdate sticker\nValue of arfcn = 62");
    row("1, 0 fails, none stored", "1 0 36 -1 1 | 0124000000", "outcome 0", {},
        "0 0 -1 -1 1 | 0124000000",
        "write storedArfcn=4294967295; write Cell Sticker State=0; " +
            failed.arg(36).arg("Wrong PLMN"),
        "\nUpdate sticker\nValue of arfcn = -1");
    row("1, 7 confirms, then resets", "1 2 70 62 1 | 0146000000", "outcome 7", {},
        "0 0 70 70 1 | 01ffffffff",
        "write storedArfcn=70; write Cell Sticker State=2; write Cell Sticker State=0; " +
            info.arg(70).arg("Cell Sticker Stopped"),
        "\nUpdate sticker\nValue of arfcn = 70");
    row("2, 8 keeps", "2 1 62 62 1 | 013e000000", "outcome 8", {}, "2 1 62 62 1 | 013e000000",
        "write storedArfcn=62; " + info.arg(62).arg("Scanning for Cell"),
        "\nUpdate sticker\nValue of arfcn = 62");
    row("2, 5 fails", "2 0 62 62 1 | 013e000000", "outcome 5", {}, "2 0 62 62 1 | 013e000000",
        "write storedArfcn=62; " + failed.arg(62).arg("NC RESEL"),
        "\nUpdate sticker\nValue of arfcn = 62");
    row("0, 10 is success", "0 0 33 -1 1 | 0100000000", "outcome 10", {},
        "0 0 33 -1 1 | 0100000000", info.arg(33).arg("Arfcn is Ok"), "\nUpdate sticker");
    row("0, 3 fails", "0 0 33 -1 1 | 0100000000", "outcome 3", {}, "0 0 33 -1 1 | 0100000000",
        failed.arg(33).arg("Invalid Information"), "\nUpdate sticker");
    row("1, 0x100 wrong ARFCN", "1 2 70 62 1 | 0146000000", "outcome 256", {},
        "2 2 62 62 1 | 0146000000", "write Cell Sticker State=2; notice Wrong ARFCN entered",
        "\nIs arfcn wrong 70 ");
    row("2, 0x200 wrong ARFCN", "2 0 62 62 1 | 013e000000", "outcome 512", {},
        "0 0 62 62 1 | 013e000000", "write Cell Sticker State=0; notice Wrong ARFCN entered",
        "\nIs arfcn wrong 62 ");
}

void tst_KIVO_Sticker::transition()
{
    QFETCH(QString, before);
    QFETCH(QString, input);

    Fields fields(before);
    Recorder recorder;
    QFETCH(QList<int>, answers);
    recorder.answers = answers;
    KIVO_StickerMachine machine(
        {fields.mode, fields.request, fields.arfcn, fields.stored, fields.state, fields.prev},
        &recorder);
    QStringList &out = recorder.out;
    connect(&machine, &KIVO_StickerMachine::cellBarred, this, [&] { out << "barred"; });
    connect(&machine, &KIVO_StickerMachine::arfcnEntryEnabled, this,
            [&](bool enabled) { out << (enabled ? "entry on" : "entry off"); });

    StderrCapture capture;
    const QString argument = input.section(QLatin1Char(' '), 1);
    if (input == "screen") {
        machine.loadScreen();
    } else if (input == "popup") {
        if (machine.loadEntry()) {
            out << QStringLiteral("field %1").arg(fields.arfcn);
        }
    } else if (input.startsWith("enter ")) {
        machine.enterArfcn(argument.toLatin1());
    } else if (input.startsWith("mode ")) {
        machine.chooseMode(argument.toInt());
    } else if (input == "set") {
        machine.pressSet();
    } else if (input == "failed") {
        machine.stickerFailed();
    } else {
        machine.outcome(argument.toUInt());
    }
    QTEST(fields.text(), "after");
    QTEST(out, "out");
    QTEST(capture.text(), "trace");
}

QTEST_GUILESS_MAIN(tst_KIVO_Sticker)
#include "tst_kivo_sticker.moc"
