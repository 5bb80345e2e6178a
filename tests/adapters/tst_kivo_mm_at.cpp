// The readers of the Quectel AT answers and of the 3GPP locations ModemManager announces, on
// answers written by hand from the modem's documented formats.
#include "KIVO_MMCellWarnings.h"
#include "KIVO_QuectelAt.h"

#include <QTest>

class tst_KIVO_MMAt : public QObject {
    Q_OBJECT

private slots:
    void servingCell_data();
    void servingCell();
    void lock_data();
    void lock();
    void errorLine_data();
    void errorLine();
    void cellChange_data();
    void cellChange();
};

void tst_KIVO_MMAt::servingCell_data()
{
    QTest::addColumn<QString>("answer");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<QString>("state");
    QTest::addColumn<QString>("rat");
    QTest::addColumn<qint64>("earfcn"); // -1 unknown
    QTest::addColumn<qint64>("pci");    // -1 unknown
    QTest::addColumn<QString>("cellId");
    QTest::addColumn<QString>("tac");

    const QString lte = QStringLiteral(
        "+QENG: \"servingcell\",\"NOCONN\",\"LTE\",\"FDD\",262,01,1A2B301,12,1300,3,5,5,b12,-95,"
        "-10,-65,12,-");
    // valid
    QTest::newRow("LTE, every field, CRLF and OK around")
        << "\r\n" + lte + "\r\n\r\nOK\r\n"
        << true << "NOCONN"
        << "LTE" << qint64(1300) << qint64(12) << "1A2B301"
        << "B12";
    QTest::newRow("LTE after unsolicited lines")
        << "+QIND: \"csq\",20,99\r\nRING\r\n" + lte << true << "NOCONN"
        << "LTE" << qint64(1300) << qint64(12) << "1A2B301"
        << "B12";
    QTest::newRow("LTE, unknown fields as -")
        << QStringLiteral("+QENG: \"servingcell\",\"LIMSRV\",\"LTE\",\"FDD\",-,-,-,-,-,-,-,-,-,-,-,"
                          "-,-,-")
        << true << "LIMSRV"
        << "LTE" << qint64(-1) << qint64(-1) << ""
        << "";
    QTest::newRow("searching") << QStringLiteral("+QENG: \"servingcell\",\"SEARCH\"") << true
                               << "SEARCH"
                               << "" << qint64(-1) << qint64(-1) << ""
                               << "";
    QTest::newRow("GSM: no EARFCN")
        << QStringLiteral("+QENG: \"servingcell\",\"NOCONN\",\"GSM\",262,01,B12,2A14,5,62,-,-70")
        << true << "NOCONN"
        << "GSM" << qint64(-1) << qint64(-1) << ""
        << "";
    // truncated, corrupt
    QTest::newRow("LTE cut short")
        << QStringLiteral(
               "+QENG: \"servingcell\",\"NOCONN\",\"LTE\",\"FDD\",262,01,1A2B301,12,1300")
        << false << ""
        << "" << qint64(-1) << qint64(-1) << ""
        << "";
    QTest::newRow("neighbour lines only")
        << QStringLiteral("+QENG: \"neighbourcell intra\",\"LTE\",1300,12,-10,-95,-65") << false
        << ""
        << "" << qint64(-1) << qint64(-1) << ""
        << "";
    QTest::newRow("ERROR") << QStringLiteral("ERROR") << false << ""
                           << "" << qint64(-1) << qint64(-1) << ""
                           << "";
    QTest::newRow("LTE, EARFCN not a number")
        << QStringLiteral("+QENG: \"servingcell\",\"NOCONN\",\"LTE\",\"FDD\",262,01,1A2B301,12,"
                          "13x0,3,5,5,B12,-95")
        << true << "NOCONN"
        << "LTE" << qint64(-1) << qint64(12) << "1A2B301"
        << "B12";
}

void tst_KIVO_MMAt::servingCell()
{
    QFETCH(QString, answer);
    QFETCH(bool, valid);

    const auto cell = KIVO_QuectelAt::parseServingCell(answer);
    QCOMPARE(cell.has_value(), valid);
    if (!valid) {
        return;
    }
    QFETCH(QString, state);
    QFETCH(QString, rat);
    QFETCH(qint64, earfcn);
    QFETCH(qint64, pci);
    QFETCH(QString, cellId);
    QFETCH(QString, tac);
    QCOMPARE(cell->state, state);
    QCOMPARE(cell->rat, rat);
    QCOMPARE(cell->earfcn ? qint64(*cell->earfcn) : -1, earfcn);
    QCOMPARE(cell->physicalCellId ? qint64(*cell->physicalCellId) : -1, pci);
    QCOMPARE(cell->cellId, cellId);
    QCOMPARE(cell->tac, tac);
}

void tst_KIVO_MMAt::lock_data()
{
    QTest::addColumn<QString>("answer");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<bool>("on");
    QTest::addColumn<quint32>("earfcn");
    QTest::addColumn<qint64>("pci"); // -1 none

    QTest::newRow("off") << QStringLiteral("+QNWLOCK: \"common/lte\",0\r\n\r\nOK") << true << false
                         << 0u << qint64(-1);
    QTest::newRow("on an EARFCN") << QStringLiteral("+QNWLOCK: \"common/lte\",1,6300,0") << true
                                  << true << 6300u << qint64(-1);
    QTest::newRow("on an EARFCN and a cell, after an unsolicited line")
        << QStringLiteral("+QIND: \"csq\",20,99\r\n+QNWLOCK: \"common/lte\",2,1300,12") << true
        << true << 1300u << qint64(12);
    QTest::newRow("EARFCN as -") << QStringLiteral("+QNWLOCK: \"common/lte\",1,-,0") << false
                                 << false << 0u << qint64(-1);
    QTest::newRow("cell as -") << QStringLiteral("+QNWLOCK: \"common/lte\",2,1300,-") << false
                               << false << 0u << qint64(-1);
    QTest::newRow("unknown mode") << QStringLiteral("+QNWLOCK: \"common/lte\",3,1300,0") << false
                                  << false << 0u << qint64(-1);
    QTest::newRow("another lock kind")
        << QStringLiteral("+QNWLOCK: \"common/4g\",1,1300,0") << false << false << 0u << qint64(-1);
    QTest::newRow("+CME ERROR") << QStringLiteral("+CME ERROR: 3") << false << false << 0u
                                << qint64(-1);
}

void tst_KIVO_MMAt::lock()
{
    QFETCH(QString, answer);
    QFETCH(bool, valid);
    QFETCH(bool, on);
    QFETCH(quint32, earfcn);
    QFETCH(qint64, pci);

    const auto lock = KIVO_QuectelAt::parseLock(answer);
    QCOMPARE(lock.has_value(), valid);
    if (valid) {
        QCOMPARE(lock->on, on);
        QCOMPARE(lock->earfcn, earfcn);
        QCOMPARE(lock->physicalCellId ? qint64(*lock->physicalCellId) : -1, pci);
    }
}

void tst_KIVO_MMAt::errorLine_data()
{
    QTest::addColumn<QString>("answer");
    QTest::addColumn<QString>("line");

    QTest::newRow("nothing (OK taken off)") << QString() << QString();
    QTest::newRow("OK") << QStringLiteral("\r\nOK\r\n") << QString();
    QTest::newRow("ERROR") << QStringLiteral("\r\nERROR\r\n") << QStringLiteral("ERROR");
    QTest::newRow("+CME ERROR after an unsolicited line")
        << QStringLiteral("+QIND: \"csq\",20,99\r\n+CME ERROR: 3\r\n")
        << QStringLiteral("+CME ERROR: 3");
    QTest::newRow("ERROR inside a field is no error")
        << QStringLiteral("+QENG: \"servingcell\",\"ERROR\"") << QString();
}

void tst_KIVO_MMAt::errorLine()
{
    QFETCH(QString, answer);
    QFETCH(QString, line);

    QCOMPARE(KIVO_QuectelAt::errorLine(answer), line);
}

void tst_KIVO_MMAt::cellChange_data()
{
    QTest::addColumn<QString>("previous");
    QTest::addColumn<QString>("current");
    QTest::addColumn<QString>("body"); // "" no warning

    QTest::newRow("LTE: another cell, same area")
        << "262,01,0,1A2B301,B12"
        << "262,01,0,1A2B302,B12"
        << "From area B12, cell 1A2B301\nto area B12, cell 1A2B302";
    QTest::newRow("LTE: another area") << "262,01,0,1A2B301,B12"
                                       << "262,01,0,1A2B301,B13"
                                       << "From area B12, cell 1A2B301\nto area B13, cell 1A2B301";
    QTest::newRow("GSM: LAC without TAC") << "262,01,B12,2A14"
                                          << "262,01,B12,2A16"
                                          << "From area B12, cell 2A14\nto area B12, cell 2A16";
    QTest::newRow("same cell") << "262,01,0,1A2B301,B12"
                               << "262,01,0,1A2B301,B12"
                               << "";
    QTest::newRow("registration gained") << ""
                                         << "262,01,0,1A2B301,B12"
                                         << "";
    QTest::newRow("registration lost") << "262,01,0,1A2B301,B12"
                                       << ""
                                       << "";
}

void tst_KIVO_MMAt::cellChange()
{
    QFETCH(QString, previous);
    QFETCH(QString, current);
    QFETCH(QString, body);

    QCOMPARE(KIVO_MMCellWarnings::describeChange(previous, current), body);
}

QTEST_GUILESS_MAIN(tst_KIVO_MMAt)
#include "tst_kivo_mm_at.moc"
