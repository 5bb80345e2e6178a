// kivo-bench-baseline: the floor KIVO's start-up is measured against. The smallest Qt Widgets
// program that shows the same kind of 240 x 320 screen as KIVO's main menu (a title, a list of
// four rows, a soft-key bar), connects to the session bus, and quits after its first frame
// (the first-frame probe linked in ends it).
#include <QApplication>
#include <QDBusConnection>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>
#include <QWidget>

int main(int argc, char **argv)
{
    QApplication app(argc, argv);

    QWidget screen;
    screen.resize(240, 320);
    auto *layout = new QVBoxLayout(&screen);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    auto *title = new QLabel(QStringLiteral("KIVO"));
    title->setAlignment(Qt::AlignCenter);
    layout->addWidget(title);

    auto *list = new QListWidget;
    list->addItems({QStringLiteral("FTS Options"), QStringLiteral("Active Features"),
                    QStringLiteral("Notification"), QStringLiteral("Internal Options")});
    list->setCurrentRow(0);
    layout->addWidget(list, 1);

    auto *softKeys = new QHBoxLayout;
    softKeys->addStretch(1);
    softKeys->addWidget(new QPushButton(QStringLiteral("Exit")));
    layout->addLayout(softKeys);

    // Only the connection: KIVO's own bus traffic at start-up is part of what is measured.
    QDBusConnection::sessionBus().isConnected();

    screen.show();
    return app.exec();
}
