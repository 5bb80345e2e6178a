#pragma once

#include "KIVO_Settings.h"
#include "TAPI_KIVO_Types.h"

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QtGlobal>

namespace KIVO_Sticker {

// The sticker states, as "Cell Sticker State" holds them.
enum State : int {
    NoSticker = 0,
    ArfcnEntered = 1, // an ARFCN entered, its request not yet confirmed
    StickerSet = 2,
};

// The result codes of the outcome event (type 0x0F03). 0 to 9 index the result table; the two
// wrong-ARFCN codes take their own path; every other code means success.
enum Outcome : quint32 {
    WrongPlmn = 0,
    ForbiddenLai,
    CellBarred,
    InvalidInformation,
    FailedUnknown,
    NcResel,
    ModeEntered,
    StickerStopped,
    ScanningForCell,
    SuspendedDedicatedMode,
    WrongArfcn = 0x100,
    WrongArfcnBand = 0x200,
};

// The mode the screen chooses and the request carries.
enum Mode : quint8 { Off = 0, On = 1 };

} // namespace KIVO_Sticker

// The ARFCN of a sticker request: little-endian on the wire, kept as two 16-bit halves with
// the low half first, as the device writes it (no unaligned 32-bit access).
quint32 stickerArfcn(const StickerRequest &request);
void setStickerArfcn(StickerRequest &request, quint32 arfcn);

// The text of an outcome code and whether the sticker still stands after it (the wrong-ARFCN
// codes are not handled here).
struct KIVO_StickerResult {
    const char *text;
    int keepsSticker;
};
KIVO_StickerResult stickerResultFor(quint32 code);

// The engine's fields the sticker settles, named as the engine names them.
struct KIVO_StickerFields {
    quint8 &cell_sticker_mode;
    StickerRequest &stickerRequest;
    int &arfcn;
    int &storedArfcn;
    int &cellStickerState;
    int &prevCellStickerState;
};

// What the sticker asks of the world and needs answered at once: the settings file, the
// telephony layer and the user.
class KIVO_StickerLink {
public:
    virtual ~KIVO_StickerLink() = default;
    // A row of the settings table, as its engine field holds it (its default when unset).
    virtual int readSetting(const KIVO_Setting &setting) = 0;
    // A value of 2^31 or more is written as the unsigned number it is ("storedArfcn").
    virtual void writeSetting(const char *key, qint64 value) = 0;
    // The verdict: 0 acceptable, anything else a wrong ARFCN.
    virtual quint8 checkArfcn(quint32 arfcn) = 0;
    // 0 when the layer accepted the request, otherwise its error code.
    virtual int sendRequest(const StickerRequest *request) = 0;
    // A message the user's key brings up, shown at once; the machine goes on once it returns,
    // reading its fields afresh (a modal message runs a nested event loop).
    virtual void showMessage(const QString &title, const QString &text) = 0;
    // The notice of an outcome, asked for once the state is settled. It may wait behind a
    // popup that is open; the machine does not wait for it.
    virtual void showNotice(const QString &text) = 0;
    // The telephony layer refused a request with `status`; shown like the machine's notices.
    virtual void showTapiError(int status) = 0;
};

// The cell sticker: every change of its state, whether it comes from the "Cell Sticker" screen
// (mode choice, "Set"), the "Arfcn" popup, the telephony layer's outcome events or a failure
// passed back to a screen. The state lives in the engine's fields; everything it asks of the
// user (messages, notices, telephony errors) goes through the link as calls, and the signals
// tell facts, so that the machine runs without a display.
class KIVO_StickerMachine : public QObject {
    Q_OBJECT

public:
    KIVO_StickerMachine(const KIVO_StickerFields &fields, KIVO_StickerLink *link,
                        QObject *parent = nullptr);
    ~KIVO_StickerMachine() override;

    // The screen is built: mode, state and (with a sticker set) the ARFCN from the file.
    void loadScreen();
    // The mode dialog's choice: row 0 On, any other Off.
    void chooseMode(int row);
    // The screen's "Set": with the mode On the request for the entered ARFCN, with it Off the
    // release of the sticker set.
    void pressSet();
    // A failed sticker (cellBarred()) reached an open screen: the mode goes Off and the stop is
    // sent.
    void stickerFailed();
    // The "Arfcn" popup opens: with a sticker stored, the ARFCN is taken from the file into
    // `arfcn` for the field, and true is returned; otherwise nothing changes.
    bool loadEntry();
    // The popup's "Set" with the field's text.
    void enterArfcn(const QByteArray &text);
    // The outcome event's result code.
    void outcome(quint32 code);

signals:
    // The sticker failed (outcome codes 0 to 5).
    void cellBarred();
    // Whether the screen's "Enter Arfcn" row may be chosen.
    void arfcnEntryEnabled(bool enabled);

private:
    Q_DISABLE_COPY(KIVO_StickerMachine)
    void startSticker();
    void stopSticker();
    // Settles the state and the stored ARFCN after an outcome; writes the ARFCN the notice
    // shows into *shownArfcn where there is one.
    void UpdateSticker(int keepsSticker, int *shownArfcn);
    void setMode(quint8 mode);
    void restorePrevState();

    KIVO_StickerFields m_fields;
    KIVO_StickerLink *m_link;
};
