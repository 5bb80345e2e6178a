#include "KIVO_Popups.h"

#include "KIVO_Presenter.h"
#include "PlMessageDlg.h"
#include "PlNoticeDlg.h"
#include "TAPI_KIVO_Types.h"

#include <QPixmap>

namespace {

// The one message popup: message type 2, the text as its message line, an empty title icon.
void runMessage(const QString &title, const QString &text)
{
    QPixmap icon;
    auto *dialog = new PlMessageDlg(title, text, 2, 0, nullptr, nullptr, true, 0);
    dialog->setTitleIcon(icon);
    dialog->exec();
    delete dialog;
}

// An outcome notice: notice type 1, open until the user closes it.
void runNotice(const QString &title, const QString &text)
{
    auto *notice = new PlNoticeDlg(1, title, QStringLiteral(" "), nullptr);
    notice->setMessageText(text);
    notice->setTitleIcon(QPixmap());
    notice->exec();
    delete notice;
}

class PopupPresenter final : public KIVO_Presenter {
public:
    void show(const KIVO_EnginePopup &popup) override
    {
        switch (popup.kind) {
        case KIVO_EnginePopup::Kind::Message:
            runMessage(popup.title, popup.text);
            break;
        case KIVO_EnginePopup::Kind::Notice:
            runNotice(popup.title, popup.text);
            break;
        case KIVO_EnginePopup::Kind::TapiError:
            runMessage(popup.title, tapiErrorText(popup.code));
            break;
        }
    }
};

} // namespace

void showMessagePopup(const char *title, const char *text)
{
    runMessage(QString::fromLatin1(title), QString::fromLatin1(text));
}

KIVO_Presenter *kivoPopupPresenter()
{
    static PopupPresenter presenter;
    return &presenter;
}

QString tapiErrorText(int code)
{
    switch (code) {
    case TapiTimeout:
        return QStringLiteral("Timeout!");
    case TapiInvalidParameter:
        return QStringLiteral("Invalid Parameter!");
    case TapiSendmsgError:
        return QStringLiteral("Sendmsg Error!");
    case TapiSendPrimitiveError:
        return QStringLiteral("Send Primitive Error!");
    case TapiReceivemsgError:
        return QStringLiteral("Receivemsg Error!");
    case TapiNoMemory:
        return QStringLiteral("No enough memory!");
    case TapiRequestFailed:
    default:
        return QStringLiteral("Request Failed!");
    }
}

void showTimedNotice(const QString &text)
{
    auto *notice = new PlNoticeDlg(1, 1500u, text, nullptr, nullptr, nullptr, true, 0);
    notice->exec();
    delete notice;
}
