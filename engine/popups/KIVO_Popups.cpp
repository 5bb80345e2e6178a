#include "KIVO_Popups.h"

#include "PlMessageDlg.h"
#include "PlNoticeDlg.h"

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
    case 3:
        return QStringLiteral("Timeout!");
    case 4:
        return QStringLiteral("Invalid Parameter!");
    case 5:
        return QStringLiteral("Sendmsg Error!");
    case 6:
        return QStringLiteral("Send Primitive Error!");
    case 7:
        return QStringLiteral("Receivemsg Error!");
    case 10:
        return QStringLiteral("No enough memory!");
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
