#include "KIVO_Popups.h"

#include "PlMessageDlg.h"
#include "PlNoticeDlg.h"
#include "TAPI_KIVO.h"

#include <QPixmap>

void showMessagePopup(const char *title, const char *text)
{
    QPixmap icon;
    auto *dialog = new PlMessageDlg(QString::fromLatin1(title), QString::fromLatin1(text), 2, 0,
                                    nullptr, nullptr, true, 0);
    dialog->setTitleIcon(icon);
    dialog->exec();
    delete dialog;
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
