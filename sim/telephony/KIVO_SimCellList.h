#pragma once

#include <QList>
#include <QString>

// The cells the simulated phone hears, read from a plain-text list (format in sim/README.md).
// A plain value, owned by the telephony simulator.
class KIVO_SimCellList {
public:
    struct Cell {
        quint32 arfcn = 0;
        quint16 cellId = 0;
        quint16 lac = 0;
        int rxlev = 0; // dBm
        bool wrongPlmn = false;
        bool forbiddenLai = false;
        bool barred = false;
        bool invalidInfo = false;
        bool ncResel = false;

        // The sticker result for this cell: the lowest code among its faults, 6 when none.
        quint32 stickerResult() const;
        QString flags() const;
    };

    // False with "file:line: reason" when the file cannot be read or a line is wrong.
    bool load(const QString &path, QString *error);

    // The cell heard on the ARFCN, or null.
    const Cell *find(quint32 arfcn) const;
    const QList<Cell> &cells() const;

private:
    QList<Cell> m_cells;
};
