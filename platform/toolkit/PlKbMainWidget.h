#pragma once

#include "PlMainWidget.h"

// The keyboard-driven screen every KIVO screen derives from; it owns the application title.
class PlKbMainWidget : public PlMainWidget {
    Q_OBJECT

public:
    PlKbMainWidget(QWidget *parent, const char *name, int flags);
    ~PlKbMainWidget() override;

    // Sets the application's one title: every screen's title area and window title show it.
    void setAppTitle(const QString &title);

private:
    Q_DISABLE_COPY(PlKbMainWidget)
};
