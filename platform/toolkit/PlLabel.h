#pragma once

#include <QLabel>

// A text label of the toolkit.
class PlLabel : public QLabel {
    Q_OBJECT

public:
    PlLabel(QWidget *parent, const char *name, int flags, int widgetClassId);
    ~PlLabel() override;

private:
    Q_DISABLE_COPY(PlLabel)
};
