#include "PlLineEdit.h"

PlLineEdit::PlLineEdit(QWidget *parent, const char *name, int widgetClassId) : QLineEdit(parent)
{
    Q_UNUSED(widgetClassId);
    if (name) {
        setObjectName(QString::fromLatin1(name));
    }
    setMinimumHeight(26);
}

PlLineEdit::~PlLineEdit() = default;

PlLineEdit *PlLineEdit::getInputField()
{
    return this;
}

void PlLineEdit::setInputMode(int mode)
{
    setInputMethodHints(mode == 6 ? Qt::ImhFormattedNumbersOnly : Qt::ImhNone);
}
