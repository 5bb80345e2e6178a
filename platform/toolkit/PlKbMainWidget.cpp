#include "PlKbMainWidget.h"

PlKbMainWidget::PlKbMainWidget(QWidget *parent, const char *name, int flags)
    : PlMainWidget(parent, name, flags)
{
}

PlKbMainWidget::~PlKbMainWidget() = default;

void PlKbMainWidget::setAppTitle(const QString &title)
{
    applyAppTitle(title);
}
