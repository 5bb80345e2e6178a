#include "KIVO_TourScript.h"

#include "KIVO_Engine.h"
#include "KIVO_TourRunner.h"
#include "KIVO_TourStage.h"

#include "PlListBox.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QVariantList>

namespace {

using Front = KIVO_TourRunner::Front;
using Action = KIVO_TourRunner::Action;

enum Key {
    Up = Qt::Key_Up,
    Down = Qt::Key_Down,
    Select = Qt::Key_Return,
    Left = Qt::Key_F1,
    Right = Qt::Key_F2,
    Back = Qt::Key_Escape,
    Erase = Qt::Key_Backspace,
};

Front screen(const char *className, const char *title)
{
    return {className, QString::fromLatin1(title), QString()};
}

Front popup(const char *className, const char *title, const char *text = "")
{
    return {className, QString::fromLatin1(title), QString::fromLatin1(text)};
}

// The screens, by class and title.
const Front s_main = screen("KIVO_MainScreen", "KIVO");
const Front s_ftsOptions = screen("KIVO_FTSOptions_P2", "FTS Options");
const Front s_activeFeatures = screen("KIVO_ActiveFeatures", "Active Features");
const Front s_cellSticker = screen("KIVO_CellSticker", "Cell Sticker");
const Front s_cellBar = screen("KIVO_CellBar", "Cell Bar Access");
const Front s_notification = screen("KIVO_Notification", "Notification");
const Front s_cellChange = screen("KIVO_CellChange", "Cell Change Warning");
const Front s_internalOptions = screen("KIVO_InternalOptions", "Panic Viewer");
const Front s_panicsType = screen("KIVO_PanicsType", "Panics Type");
const Front s_panics = screen("KIVO_PanicsDisplay", "Panics");
const Front s_panicData = screen("KIVO_DataDisplay", "Panic Data");

const char s_stickerInfo[] = "Cell Sticker Information";

// Whether a shown screen of this class has rows: the FTS editors fill theirs when the FTS
// engine answers, after they show.
bool hasRows(const char *className)
{
    const auto windows = QApplication::topLevelWidgets();
    for (QWidget *window : windows) {
        auto *list = window->findChild<PlListBox *>();
        if (window->isVisible() && qstrcmp(window->metaObject()->className(), className) == 0 &&
            list && list->count() > 0) {
            return true;
        }
    }
    return false;
}

class Script {
public:
    Script(KIVO_TourRunner &tour, KIVO_TourStage &stage) : m_tour(tour), m_stage(stage)
    {
    }

    Action keys(const QList<int> &keys) const
    {
        KIVO_TourRunner *tour = &m_tour;
        return [tour, keys] { tour->press(keys); };
    }

    // A call of the FTS engine simulator's control interface, then the keys.
    Action fts(const QString &method, const QVariantList &arguments,
               const QList<int> &then = {}) const
    {
        return control(&KIVO_TourStage::ftsControl, method, arguments, then);
    }

    // A call of the telephony simulator's control interface, then the keys.
    Action telephony(const QString &method, const QVariantList &arguments,
                     const QList<int> &then = {}) const
    {
        return control(&KIVO_TourStage::telephonyControl, method, arguments, then);
    }

    void mainMenu();
    void ftsOptions();
    void cellSticker();
    void cellBar();
    void notification();
    void panicViewer();
    void leave();

private:
    using ControlCall = bool (KIVO_TourStage::*)(const QString &, const QVariantList &, QString *);

    Action control(ControlCall call, const QString &method, const QVariantList &arguments,
                   const QList<int> &then) const
    {
        KIVO_TourRunner *tour = &m_tour;
        KIVO_TourStage *stage = &m_stage;
        return [tour, stage, call, method, arguments, then] {
            QString error;
            if (!(stage->*call)(method, arguments, &error)) {
                tour->fail(error);
                return;
            }
            tour->press(then);
        };
    }

    KIVO_TourRunner &m_tour;
    KIVO_TourStage &m_stage;
};

void Script::mainMenu()
{
    // The FTS engine holds its answers back for a while: the editors cannot open yet.
    m_tour.step(QStringLiteral("main-menu"), s_main,
                fts(QStringLiteral("SetMute"), {true}, {Select}));
}

void Script::ftsOptions()
{
    m_tour.step(QStringLiteral("fts-options"), s_ftsOptions, keys({Down, Select}));
    // The titles go out now, unasked; KIVO keeps them.
    m_tour.step(QStringLiteral("list-not-available"),
                popup("PlNoticeDlg", "", "List N/A,Please Wait"),
                fts(QStringLiteral("SendTitles"), {}, {Select}));
    m_tour.when(
        QStringLiteral("the FTS titles"), [] { return kivo_eng && kivo_eng->titlesNum > 0; },
        fts(QStringLiteral("SetMute"), {false}));

    m_tour.step(QString(), s_ftsOptions, keys({Up, Select}));
    m_tour.step(QStringLiteral("fts-availability"), popup("PlSingleSelectDlg", "FTS Options"),
                keys({Down, Select}));
    m_tour.step(QStringLiteral("fts-availability-set"),
                popup("PlMessageDlg", "FTS Options", "FTS successfully set to: Temorarily On"),
                keys({Select}));

    // The simulator's favourites are its first two screens; a third is ticked and sent.
    m_tour.step(QString(), s_ftsOptions, keys({Down, Select}));
    m_tour.when(QStringLiteral("the favourites"), [] { return hasRows("KIVO_Favourites"); }, {});
    m_tour.step(QStringLiteral("favourites"), screen("KIVO_Favourites", "Edit Favourites"),
                keys({Down, Down, Left, Right}));
    m_tour.step(QStringLiteral("favourites-changed"),
                popup("PlNoticeDlg", "", "Favourites Changed"), keys({Select}));
    // The editors leave their own title in the title bar.
    m_tour.step(QString(), screen("KIVO_FTSOptions_P2", "Edit Favourites"), keys({Down, Select}));
    m_tour.when(QStringLiteral("the visibles"), [] { return hasRows("KIVO_Visibles"); }, {});
    m_tour.step(QStringLiteral("visibles"), screen("KIVO_Visibles", "Edit Visibles"),
                keys({Right}));
    m_tour.step(QString(), screen("KIVO_FTSOptions_P2", "Edit Visibles"), keys({Right}));
    m_tour.step(QString(), screen("KIVO_MainScreen", "Edit Visibles"), keys({Down, Select}));
}

void Script::cellSticker()
{
    m_tour.step(QStringLiteral("active-features"), s_activeFeatures, keys({Select}));
    // Mode on, ARFCN 62 (a good cell of the simulator), Set.
    m_tour.step(QStringLiteral("cell-sticker"), s_cellSticker, keys({Select}));
    m_tour.step(QStringLiteral("cell-sticker-mode"), popup("PlSingleSelectDlg", "Cell Sticker"),
                keys({Up, Select}));
    m_tour.step(QString(), s_cellSticker, keys({Down, Select}));
    KIVO_TourRunner *tour = &m_tour;
    m_tour.step(QString(), popup("KIVO_TargetArfcn", "Arfcn"),
                [tour] { tour->type(QStringLiteral("62")); });
    m_tour.step(QStringLiteral("target-arfcn"), popup("KIVO_TargetArfcn", "Arfcn"), keys({Left}));
    m_tour.step(QString(), s_cellSticker, keys({Left}));
    m_tour.step(QStringLiteral("cell-sticker-question"),
                popup("PlMessageDlg", s_stickerInfo, "Set sticker on ARFCN 62 ?"), keys({Select}));
    m_tour.step(QStringLiteral("cell-sticker-notice"),
                popup("PlNoticeDlg", s_stickerInfo, "Cell id: 62\nMode Entered"), keys({Select}));

    // Set again without a fresh ARFCN.
    m_tour.step(QString(), s_cellSticker, keys({Left}));
    m_tour.step(QStringLiteral("cell-sticker-no-cell"),
                popup("PlMessageDlg", "Cell Sticker Error", "No cell selected"), keys({Select}));

    // ARFCN 1100 is in no GSM band: the check refuses it.
    m_tour.step(QString(), s_cellSticker, keys({Select}));
    m_tour.step(QString(), popup("KIVO_TargetArfcn", "Arfcn"), [tour] {
        tour->press({Erase, Erase});
        tour->type(QStringLiteral("1100"));
    });
    // Return in the popup works its "Set" too.
    m_tour.step(QString(), popup("KIVO_TargetArfcn", "Arfcn"), keys({Select}));
    m_tour.step(QString(), s_cellSticker, keys({Left}));
    m_tour.step(QString(), popup("PlMessageDlg", s_stickerInfo, "Set sticker on ARFCN 1100 ?"),
                keys({Select}));
    m_tour.step(QStringLiteral("cell-sticker-wrong-arfcn"),
                popup("PlMessageDlg", s_stickerInfo, "Wrong ARFCN entered"), keys({Select}));

    // ARFCN 36 is a barred cell: the sticker fails, KIVO switches the mode off and asks the
    // layer to stop, whose answer comes a second later as a notice of its own.
    m_tour.step(QString(), s_cellSticker, keys({Select}));
    m_tour.step(QString(), popup("KIVO_TargetArfcn", "Arfcn"), [tour] {
        tour->press({Erase, Erase});
        tour->type(QStringLiteral("36"));
    });
    m_tour.step(QString(), popup("KIVO_TargetArfcn", "Arfcn"), keys({Left}));
    m_tour.step(QString(), s_cellSticker,
                telephony(QStringLiteral("SetOutcomeDelay"), {1000u}, {Left}));
    m_tour.step(QString(), popup("PlMessageDlg", s_stickerInfo, "Set sticker on ARFCN 36 ?"),
                keys({Select}));
    m_tour.step(
        QStringLiteral("cell-sticker-barred"),
        popup("PlNoticeDlg", s_stickerInfo, "Cell id: 36\nCell Sticker Stopped\nCell Barred"),
        keys({Select}));
    m_tour.step(QStringLiteral("cell-sticker-stopped"),
                popup("PlNoticeDlg", s_stickerInfo, "Cell id: 62\nCell Sticker Stopped"),
                telephony(QStringLiteral("SetOutcomeDelay"), {300u}, {Select}));

    // Set once more: there is no sticker to stop.
    m_tour.step(QString(), s_cellSticker, keys({Left}));
    m_tour.step(QStringLiteral("cell-sticker-not-set"),
                popup("PlMessageDlg", s_stickerInfo, "Sticker not set"), keys({Select}));
    m_tour.step(QString(), s_cellSticker, keys({Right}));
}

void Script::cellBar()
{
    m_tour.step(QString(), s_activeFeatures, keys({Down, Select}));
    m_tour.step(QStringLiteral("cell-bar-access"), s_cellBar, keys({Down, Select}));
    m_tour.step(QStringLiteral("cell-bar-set"),
                popup("PlMessageDlg", "Cell Barring", "Cell Bar set to: Inverted"), keys({Select}));
    // The simulator answers the next mode request with status 3.
    m_tour.step(QString(), s_activeFeatures,
                telephony(QStringLiteral("ForceStatus"),
                          {QStringLiteral("SetCellBarAccessMode"), 3, 1u}, {Select}));
    m_tour.step(QStringLiteral("cell-bar-access-inverted"), s_cellBar, keys({Up, Select}));
    m_tour.step(QStringLiteral("tapi-error"), popup("PlMessageDlg", "KIVO: TAPI Error", "Timeout!"),
                keys({Select}));
    m_tour.step(QString(), s_activeFeatures, keys({Right}));
}

void Script::notification()
{
    m_tour.step(QString(), s_main, keys({Down, Select}));
    m_tour.step(QStringLiteral("notification"), s_notification, keys({Select}));
    m_tour.step(QStringLiteral("cell-change-warning"), s_cellChange, keys({Select}));
    m_tour.step(QStringLiteral("message-warning"), popup("PlSingleSelectDlg", "ShowMessageWarning"),
                keys({Up, Select}));
    m_tour.step(QString(), s_cellChange, keys({Down, Select}));
    m_tour.step(QStringLiteral("tone-warning"), popup("PlSingleSelectDlg", "ShowToneWarning"),
                keys({Back}));
    m_tour.step(QString(), s_cellChange, keys({Right}));
    m_tour.step(QString(), s_notification, keys({Right}));
}

void Script::panicViewer()
{
    m_tour.step(QString(), s_main, keys({Down, Select}));
    m_tour.step(QStringLiteral("internal-options"), s_internalOptions, keys({Select}));
    m_tour.step(QStringLiteral("panics-type"), s_panicsType, keys({Select}));
    // BP panic 2 carries a full 36-byte dump; the rows run from the newest.
    m_tour.step(QStringLiteral("panic-list-bp"), s_panics, keys({Down, Down, Down, Select}));
    m_tour.step(QStringLiteral("panic-detail-bp"), s_panicData, keys({Right}));
    m_tour.step(QString(), s_panics, keys({Right}));
    m_tour.step(QString(), s_panicsType, keys({Down, Select}));
    m_tour.step(QStringLiteral("panic-list-ap"), s_panics, keys({Down, Select}));
    m_tour.step(QStringLiteral("panic-detail-ap"), s_panicData, keys({Right}));
    m_tour.step(QString(), s_panics, keys({Right}));
    m_tour.step(QString(), s_panicsType, keys({Down, Select}));
    m_tour.step(QStringLiteral("panic-list-quirn"), s_panics, keys({Down, Down, Select}));
    m_tour.step(QStringLiteral("panic-detail-quirn"), s_panicData, keys({Right}));
    m_tour.step(QString(), s_panics, keys({Right}));
    m_tour.step(QString(), s_panicsType, keys({Down, Select}));
    m_tour.step(QStringLiteral("panic-list-kernel"), s_panics, keys({Select}));
    m_tour.step(QStringLiteral("panic-detail-kernel"), s_panicData, keys({Right}));
    m_tour.step(QString(), s_panics, keys({Right}));

    // The kernel panic partition emptied: nothing to list.
    KIVO_TourRunner *tour = &m_tour;
    const QString kernelPanic =
        QDir(m_stage.root()).filePath(QStringLiteral("dev/mtdblock/kpanic"));
    m_tour.step(QString(), s_panicsType, [tour, kernelPanic] {
        if (!QFile::remove(kernelPanic)) {
            tour->fail(QStringLiteral("cannot remove %1").arg(kernelPanic));
            return;
        }
        tour->press({Select});
    });
    m_tour.step(QStringLiteral("no-panics"),
                popup("PlMessageDlg", "Panic List:", "No Panics to display"), keys({Select}));
    m_tour.step(QStringLiteral("panic-list-empty"), s_panics, keys({Right}));
}

void Script::leave()
{
    // The telephony service goes away while KIVO runs.
    m_tour.step(QString(), s_panicsType, telephony(QStringLiteral("Vanish"), {0u}));
    m_tour.step(QStringLiteral("tapi-disconnected"),
                popup("PlMessageDlg", "KIVO: TAPI Disconnected", "TAPI Device Closed!"),
                keys({Select}));
    m_tour.step(QString(), s_panicsType, keys({Right}));
    m_tour.step(QString(), s_internalOptions, keys({Right}));
    // "Exit" ends KIVO's event loop, and with it the tour.
    m_tour.step(QString(), s_main, keys({Right}));
}

} // namespace

void addTourSteps(KIVO_TourRunner &tour, KIVO_TourStage &stage)
{
    Script script(tour, stage);
    script.mainMenu();
    script.ftsOptions();
    script.cellSticker();
    script.cellBar();
    script.notification();
    script.panicViewer();
    script.leave();
}
