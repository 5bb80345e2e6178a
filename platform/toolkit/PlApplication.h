#pragma once

#include <QApplication>
#include <QPointer>
#include <QWidget>

// The platform application object: a QApplication with the phone's look, and a main widget
// whose closing ends the event loop.
class PlApplication : public QApplication {
    Q_OBJECT

public:
    enum Type { Tty = 0, GuiClient = 1, GuiServer = 2 };

    PlApplication(int &argc, char **argv, int type);
    ~PlApplication() override;

    void setMainWidget(QWidget *widget);
    QWidget *mainWidget() const;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    Q_DISABLE_COPY(PlApplication)
    QPointer<QWidget> m_mainWidget;
};
