#include "PlLabel.h"

PlLabel::PlLabel(QWidget *parent, const char *name, int flags, int widgetClassId)
    : QLabel(parent)
{
    Q_UNUSED(flags);
    Q_UNUSED(widgetClassId);
    if (name) {
        setObjectName(QString::fromLatin1(name));
    }
    setWordWrap(true);
}

PlLabel::~PlLabel() = default;
