// The simulators as their clients see them on the bus: the answers of org.kivo.Telephony and
// the Event signals that follow, the answer blocks of the FTS engine on "kivo_listen_channel",
// and the misbehaviour that their control interfaces order.
#include "KivoTestRoot.h"
#include "QCopChannel.h"
#include "SimProcess.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QScopeGuard>
#include <QTest>
#include <QUrl>
#include <QtEndian>

namespace {

// Where each method goes, and the types of its arguments (see call()).
const QStringList s_methods = {
    "org.kivo.Telephony /org/kivo/Telephony Register:a SetCellStickerMode:y CheckArfcn:u "
    "SetCellBarAccessMode:i",
    "org.kivo.Sim.Telephony /org/kivo/Sim ForceStatus:siu ForceError:ssu ForceWrongSignature:su "
    "ForceEvent:uu InjectEvent:qy SetReplyDelay:su Vanish:u Appear: LastStickerRequest:",
    "org.kivo.Sim.Fts /org/kivo/Sim SetMute:b SetDelay:u SetSelections:tt SendVisibles: "
    "SendRaw:ssy RequestCount:s LastRequest: Selections:",
    "org.freedesktop.DBus /org/freedesktop/DBus NameHasOwner:s"};
const QString s_invalid = QStringLiteral(" = org.freedesktop.DBus.Error.InvalidArgs");

// Written by hand (ARFCN, cell id, LAC, level, flags), so that the expected bytes do not
// follow the shipped list.
const char s_cells[] =
    "62 0x2A14 0x0B12 -67 -\n36 0x2A13 0x0B12 -79 barred\n"
    "85 0x3C01 0x0C40 -88 forbidden-lai\n105 0x51F0 0x2201 -95 wrong-plmn\n"
    "1008 0x2A16 0x0B12 -91 barred,wrong-plmn\n600 0x2B02 0x0B12 -69 invalid-info\n";

// "METHOD ARG..." as a call, each ARG of its type letter: y bytes in hex, a a list of one quint16,
// b, i, u, q, t numbers (0x for hex), s text with %20 for a blank.
QDBusMessage call(const QString &line)
{
    const QStringList words = line.split(QLatin1Char(' '));
    const QString route = s_methods.filter(' ' + words.at(0) + ':').value(0);
    const QString letters = route.section(' ' + words.at(0) + ':', 1).section(' ', 0, 0);
    QVariantList arguments;
    for (int i = 0; i < letters.size(); ++i) {
        const QString word = words.value(i + 1);
        const char type = letters.at(i).toLatin1();
        arguments << (type == 'y' ? QVariant(QByteArray::fromHex(word.toLatin1()))
                      : type == 'a'
                          ? QVariant::fromValue(QList<quint16>{quint16(word.toUInt(nullptr, 0))})
                      : type == 'b' ? QVariant(word == QLatin1String("true"))
                      : type == 'i' ? QVariant(word.toInt())
                      : type == 'u' ? QVariant(word.toUInt(nullptr, 0))
                      : type == 'q' ? QVariant::fromValue(quint16(word.toUInt(nullptr, 0)))
                      : type == 't' ? QVariant::fromValue(word.toULongLong(nullptr, 0))
                                    : QVariant(QUrl::fromPercentEncoding(word.toLatin1())));
    }
    const QString service = route.section(' ', 0, 0);
    QDBusMessage message =
        QDBusMessage::createMethodCall(service, route.section(' ', 1, 1), service, words.at(0));
    message.setArguments(arguments);
    return message;
}

// "CALL = ANSWER" with the answer as "signature values" of the reply, or the error name; a line
// without " = " wants an empty reply.
QString callAndAnswer(const QString &line)
{
    const QString method = line.section(QStringLiteral(" = "), 0, 0);
    const QDBusMessage reply = QDBusConnection::sessionBus().call(call(method), QDBus::Block, 3000);
    if (reply.type() == QDBusMessage::ErrorMessage) {
        return method + " = " + reply.errorName();
    }
    QStringList answer{reply.signature()};
    for (const QVariant &value : reply.arguments()) {
        answer << (value.typeId() == QMetaType::UChar ? QString::number(value.value<uchar>())
                   : value.typeId() == QMetaType::QByteArray
                       ? QString::fromLatin1(value.toByteArray().toHex())
                       : value.toString());
    }
    return method + " = " + answer.join(QLatin1Char(' '));
}

} // namespace

// What the clients see: each Event as its type and data in hex, each message on
// "kivo_listen_channel" as its name and data in hex; and the senders of the events.
class Observer : public QObject {
    Q_OBJECT

public:
    Observer()
    {
        QDBusConnection::sessionBus().connect(QString(), "/org/kivo/Telephony",
                                              "org.kivo.Telephony", "Event", this,
                                              SLOT(event(QDBusMessage)));
        connect(&channel, &QCopChannel::received, this,
                [this](const QByteArray &message, const QByteArray &data) {
                    seen << QString::fromLatin1(message + data.toHex());
                });
    }

    QCopChannel channel{"kivo_listen_channel"};
    QStringList seen;
    QStringList senders;

private slots:
    void event(const QDBusMessage &message)
    {
        QByteArray type(2, '\0');
        qToBigEndian(message.arguments().value(0).value<quint16>(), type.data());
        seen << (type + message.arguments().value(1).toByteArray()).toHex();
        senders << message.service();
    }
};

class tst_KIVO_Simulators : public QObject {
    Q_OBJECT

private slots:
    void telephony_data();
    void telephony();
    void fts_data();
    void fts();

private:
    void run(const QString &program);
    KivoTestRoot m_root;
};

// Each list in one string, its items apart by "; ".
void addRow(const char *name, const char *arguments, const QString &steps, const QString &seen)
{
    const auto list = [](const QString &items, const char *by) {
        return items.split(QLatin1String(by), Qt::SkipEmptyParts);
    };
    QTest::newRow(name) << list(QString::fromLatin1(arguments), " ") << steps.split("; ")
                        << list(seen, "; ");
}

void addColumns()
{
    QTest::addColumn<QStringList>("arguments"); // of the simulator
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<QStringList>("seen"); // by the clients, in order
}

void tst_KIVO_Simulators::telephony_data()
{
    addColumns();
    // CheckArfcn, ARFCN:verdict with 0 acceptable, 1 in no GSM band, 2 in a band not in use.
    const auto arfcns = [](const char *name, const char *arguments, const char *verdicts) {
        QStringList calls;
        for (const QString &pair : QString::fromLatin1(verdicts).split(QLatin1Char(' '))) {
            calls << "CheckArfcn " + pair.section(':', 0, 0) + " = y " + pair.section(':', 1);
        }
        addRow(name, arguments, calls.join("; "), "");
    };
    arfcns("arfcn: E-GSM900, DCS1800", "",
           "0:0 124:0 125:1 128:2 251:2 511:1 512:0 885:0 886:1 974:2 975:0 1023:0 1024:1 "
           "0xffffffff:1");
    arfcns("arfcn: P-GSM900", "--bands P-GSM900", "0:2 1:0");
    arfcns("arfcn: R-GSM900", "--bands R-GSM900", "954:1 955:0");
    arfcns("arfcn: GSM850, PCS1900", "--bands GSM850,PCS1900",
           "127:1 128:0 251:0 252:1 810:0 811:2");
    arfcns("arfcn: GSM450, GSM480", "--bands GSM450,GSM480", "259:0 293:0 294:1 306:0 340:0 341:1");

    // Outcome data: result code, ARFCN, cell id, LAC, little-endian.
    const auto sticker = [](const char *name, const char *arguments, const QString &request,
                            const char *events) {
        addRow(name, arguments, "SetCellStickerMode " + request + " = i 0", events);
    };
    sticker("sticker: barred", "", "0124000000", "0f03 02000000 24000000 132a 120b");
    sticker("sticker: forbidden LAI", "", "0155000000", "0f03 01000000 55000000 013c 400c");
    sticker("sticker: wrong PLMN before barred, ARFCN above 255", "", "01f0030000",
            "0f03 00000000 f0030000 162a 120b");
    sticker("sticker: invalid information", "", "0158020000", "0f03 03000000 58020000 022b 120b");
    sticker("sticker: no cell heard", "", "0164000000", "0f03 04000000 64000000 0000 0000");
    sticker("sticker: scanning first", "--scanning", "013e000000",
            "0f03 08000000 3e000000 142a 120b; 0f03 06000000 3e000000 142a 120b");
    sticker("sticker: stop", "", "003e000000", "0f03 07000000 3e000000 142a 120b");
    sticker("sticker: stop on no ARFCN", "", "00ffffffff", "0f03 07000000 ffffffff 0000 0000");
    sticker("sticker: ARFCN in no band", "", "0100040000", "0f03 00010000 00040000 0000 0000");
    sticker("sticker: ARFCN of a band not in use", "", "0180000000",
            "0f03 00020000 80000000 0000 0000");
    // A refused request queues no outcome: it would arrive before the barred one.
    addRow("sticker: refused empty, 4 bytes, 6 bytes, mode 2", "",
           "SetCellStickerMode " + s_invalid + "; SetCellStickerMode 013e0000" + s_invalid +
               "; SetCellStickerMode 013e00000000" + s_invalid + "; SetCellStickerMode 023e000000" +
               s_invalid +
               "; SetCellStickerMode 0124000000 = i 0; LastStickerRequest = ay 0124000000",
           "0f03 02000000 24000000 132a 120b");
    addRow("bar access: 0 to 2 taken, 3 and -1 refused", "",
           "SetCellBarAccessMode 0 = i 0; SetCellBarAccessMode 1 = i 0; "
           "SetCellBarAccessMode 2 = i 0; SetCellBarAccessMode 3" +
               s_invalid + "; SetCellBarAccessMode -1" + s_invalid,
           "");
    addRow("register: new handles", "", "Register 0x0f03 = i 1; Register 0x0f03 = i 2", "");
    addRow("register: refused every time", "--register-result -1",
           "Register 0x0f03 = i -1; Register 0x0f03 = i -1", "");

    // The control interface: faults for a number of calls, events, the service name's life.
    addRow("control: forced statuses and events, once", "",
           "ForceStatus SetCellStickerMode 3 1; SetCellStickerMode 013e000000 = i 3; "
           "ForceEvent 0x200 1; SetCellStickerMode 013e000000 = i 0; "
           "SetCellStickerMode 013e000000 = i 0",
           "0f03 00020000 3e000000 0000 0000; 0f03 06000000 3e000000 142a 120b");
    addRow("control: forced errors and wrong signature", "",
           "ForceError CheckArfcn org.freedesktop.DBus.Error.NoMemory 1; "
           "CheckArfcn 62 = org.freedesktop.DBus.Error.NoMemory; CheckArfcn 62 = y 0; "
           "ForceWrongSignature CheckArfcn 1; CheckArfcn 62 = s forced wrong signature; "
           "ForceError all org.kivo.Sim.Error.Failed 0; "
           "SetCellBarAccessMode 1 = org.kivo.Sim.Error.Failed; "
           "Register 0x0f03 = org.kivo.Sim.Error.Failed; CheckArfcn 62 = org.kivo.Sim.Error.Failed",
           "");
    addRow("control: absent until Appear", "--absent",
           "Register 0x0f03 = org.freedesktop.DBus.Error.ServiceUnknown; Appear = b true; "
           "Register 0x0f03 = i 1",
           "");
    addRow("control: Vanish and return", "",
           "Vanish 1000; ~NameHasOwner org.kivo.Telephony = b false; "
           "~NameHasOwner org.kivo.Telephony = b true; Register 0x0f03 = i 1",
           "");
}

void tst_KIVO_Simulators::telephony()
{
    run(QStringLiteral(KIVO_SIM_TELEPHONY));
}

void tst_KIVO_Simulators::fts_data()
{
    addColumns();
    // The titles answer: count byte, then per title a 32-bit big-endian byte count and UTF-16
    // big-endian. The titles file is the first step.
    const QString titles = QStringLiteral("getTiltlesRsp(QString, QString) ");
    addRow("titles: three", "", "TA%0APower%0A%C3%84; getTitles(QString,QString)",
           titles + "03 00000004 0054 0041 0000000a 0050 006f 0077 0065 0072 00000002 00c4");
    addRow("titles: comments and blank lines skipped, inner blanks kept", "",
           "%23 screens%0A%0A  %0AA B%0A; getTitles(QString,QString)",
           titles + "01 00000006 0041 0020 0042");
    addRow("titles: none", "", "; getTitles(QString,QString)", titles + "00");
    addRow("titles: more than the count byte holds", "",
           QString("T%0A").repeated(300) + "; getTitles(QString,QString)",
           titles + "ff" + QString("000000020054").repeated(255));

    // Selections survive a restart of the engine.
    addRow("favourites kept, top bit of lo", "",
           "; setFavourites(QString,QString) 0000000180000000; getFavourites(QString,QString); "
           "~RequestCount = u 2; LastRequest = say getFavourites(QString,QString) ; restart; "
           "getFavourites(QString,QString)",
           "getFavouritesRsp(QString, QString) 0000000180000000; "
           "getFavouritesRsp(QString, QString) 0000000180000000");
    addRow("visibles kept, bits 63 and 0", "",
           "; setVisibles(QStrihg,QString) 8000000000000001; getVisibles(QString,QString); "
           "~RequestCount = u 2; restart; getVisibles(QString,QString)",
           "getVisiblesResponse(QString, Qstring) 8000000000000001; "
           "getVisiblesResponse(QString, Qstring) 8000000000000001");
    // Each of these would change the visibles from 9 to something else.
    addRow("ignored: 4 bytes, no data, name spelled right, other channel", "",
           "; setVisibles(QStrihg,QString) 0000000000000009; setVisibles(QStrihg,QString) "
           "00000000; setVisibles(QStrihg,QString); setVisibles(QString,QString) "
           "0000000000000002; @kivo_listen_channel setVisibles(QStrihg,QString) 0000000000000003; "
           "getVisibles(QString,QString)",
           "setVisibles(QStrihg,QString) 0000000000000003; "
           "getVisiblesResponse(QString, Qstring) 0000000000000009");

    // The control interface: answers withheld, late, cut short or unasked.
    addRow("control: a muted request is heard, not answered", "--mute",
           "TA%0A; getTitles(QString,QString); ~RequestCount = u 1; SetMute false; "
           "getFavourites(QString,QString)",
           "getFavouritesRsp(QString, QString) 0000000000000001");
    addRow("control: a delayed answer comes after a later one", "--delay 1500",
           "TA%0A; getTitles(QString,QString); ~RequestCount = u 1; SetDelay 0; "
           "getFavourites(QString,QString)",
           "getFavouritesRsp(QString, QString) 0000000000000001; " + titles +
               "01 00000004 0054 0041");
    addRow("control: unasked answers go whole, answers are cut", "--truncate 3",
           "; SetSelections 0x0000000500000003 0x8000000000000001; Selections = tt 21474836483 "
           "9223372036854775809; SendVisibles; SendRaw "
           "kivo_listen_channel getVisiblesResponse(QString,%20QString) 01; "
           "getFavourites(QString,QString)",
           "getVisiblesResponse(QString, Qstring) 8000000000000001; "
           "getVisiblesResponse(QString, QString) 01; getFavouritesRsp(QString, QString) 000000");
}

void tst_KIVO_Simulators::fts()
{
    run(QStringLiteral(KIVO_SIM_FTS));
}

// The steps: "METHOD(...) HEX" a QCop request on "fts_listen_channel" ("@CHANNEL" before it for
// another), "restart" starts the simulator anew, "~CALL = ANSWER" repeats the call until that
// answer, anything else is "CALL = ANSWER" (see callAndAnswer()).
void tst_KIVO_Simulators::run(const QString &program)
{
    QFETCH(QStringList, arguments);
    QFETCH(QStringList, steps);
    QFETCH(QStringList, seen);
    QStringList expected;

    // The FTS engine's first step is its titles file.
    const bool fts = program == QLatin1String(KIVO_SIM_FTS);
    m_root.writeFile(fts ? "/etc/kivo/sim/fts-titles.txt" : "/etc/kivo/sim/cells.txt",
                     fts ? QUrl::fromPercentEncoding(steps.value(0).toUtf8()).toUtf8() : s_cells);
    m_root.remove(QStringLiteral("/var/lib/kivo-sim/fts-selections.ini"));
    const QString busName = fts                              ? "org.kivo.Sim.Fts"
                            : arguments.contains("--absent") ? "org.kivo.Sim.Telephony"
                                                             : "org.kivo.Telephony";
    const QStringList options = fts ? arguments : arguments + QStringList{"--outcome-delay", "50"};
    SimProcess sim(program, busName);
    QVERIFY(sim.start(options));
    // A failed row shows what the simulator heard and did.
    const auto showLog = qScopeGuard([&sim] {
        if (QTest::currentTestFailed()) {
            qInfo("%s", sim.output().constData());
        }
    });
    Observer observer;
    for (const QString &step : steps.mid(fts ? 1 : 0)) {
        QStringList words = step.split(QLatin1Char(' '));
        const QString channel =
            step.startsWith('@') ? words.takeFirst().mid(1) : QStringLiteral("fts_listen_channel");
        if (words.at(0).contains(QLatin1Char('('))) {
            QCopChannel::send(channel.toLatin1(), words.at(0).toLatin1(),
                              QByteArray::fromHex(words.value(1).toLatin1()));
        } else if (step == QLatin1String("restart")) {
            sim.stop();
            QVERIFY(sim.start(options));
        } else if (step.startsWith('~')) {
            QTRY_COMPARE(callAndAnswer(step.mid(1)), step.mid(1));
        } else {
            QCOMPARE(callAndAnswer(step),
                     step.contains(QLatin1String(" = ")) ? step : step + " = ");
        }
    }
    // Blanks in the expected hex are only for reading.
    for (const QString &item : seen) {
        const qsizetype split = item.lastIndexOf(QLatin1Char(')')) + 1;
        expected << item.left(split) + QString(item.mid(split)).remove(QLatin1Char(' '));
    }
    QTRY_COMPARE(observer.seen, expected);
    // Events come from the simulator itself.
    for (const QString &sender : observer.senders) {
        QCOMPARE(sender, QDBusConnection::sessionBus().interface()->serviceOwner(busName).value());
    }
}

QTEST_GUILESS_MAIN(tst_KIVO_Simulators)
#include "tst_kivo_simulators.moc"
