#include "PlMultiLineEdit.h"

#include <QTextCursor>

PlMultiLineEdit::PlMultiLineEdit(QWidget *parent, const char *name, int flags)
    : QPlainTextEdit(parent)
{
    Q_UNUSED(flags);
    if (name) {
        setObjectName(QString::fromLatin1(name));
    }
    QFont mono = font();
    mono.setFamily(QStringLiteral("monospace"));
    mono.setStyleHint(QFont::TypeWriter);
    setFont(mono);
}

PlMultiLineEdit::~PlMultiLineEdit() = default;

void PlMultiLineEdit::setUnderline(bool underline)
{
    QFont f = font();
    f.setUnderline(underline);
    setFont(f);
}

void PlMultiLineEdit::insert(const QString &text)
{
    QTextCursor cursor(document());
    cursor.movePosition(QTextCursor::End);
    cursor.insertText(text);
}
