#pragma once

#include <QString>

#include <optional>

// Every AT command the bridge sends through ModemManager, and the readers of their answers, in
// one place: the network lock of Quectel LTE modems (AT+QNWLOCK) and their serving cell report
// (AT+QENG). Answers may carry unsolicited lines between the ones asked for; those are skipped.
class KIVO_QuectelAt {
public:
    // The serving LTE cell as AT+QENG="servingcell" reports it. Fields the modem gives as "-"
    // stay unknown.
    struct ServingCell {
        QString state; // "SEARCH", "LIMSRV", "NOCONN", "CONNECT"
        QString rat;   // "LTE", "GSM", "WCDMA", ...; empty while searching
        std::optional<quint32> earfcn;
        std::optional<quint32> physicalCellId;
        QString cellId; // upper-case hex as the modem gives it
        QString tac;
    };
    // The LTE lock as AT+QNWLOCK="common/lte" reports it.
    struct Lock {
        bool on = false;
        quint32 earfcn = 0;
        std::optional<quint32> physicalCellId;
    };

    static bool isQuectel(const QString &manufacturer);

    static QString lockCommand(quint32 earfcn);
    static QString unlockCommand();
    static QString lockQueryCommand();
    static QString servingCellCommand();
    // Answered by any modem that takes AT commands at all.
    static QString probeCommand();

    // The ERROR or +CME ERROR line of an answer, empty when the command was accepted.
    static QString errorLine(const QString &answer);
    static std::optional<ServingCell> parseServingCell(const QString &answer);
    static std::optional<Lock> parseLock(const QString &answer);
};
