#include "KIVO_ListScreen.h"

#include "PlListBox.h"
#include "PlScrollPanel.h"
#include "PlSettingItem.h"

#include <QCoreApplication>
#include <QVBoxLayout>

KIVO_ListScreen::KIVO_ListScreen(QWidget *parent, const char *name, const char *context,
                                 const char *title, const QStringList &rows)
    : KIVO_Screen(parent, name), m_ownTitle(title)
{
    setAppTitle(QCoreApplication::translate(context, title));

    PlScrollPanel *panel = getContentWidget(true);
    panel->enableClipper(false);
    QWidget *viewport = panel->viewport();
    auto *layout = new QVBoxLayout(viewport);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(-1);

    m_list = new PlListBox("%M", viewport, 0, 40);
    for (const QString &text : rows) {
        auto *row = new PlSettingItem(m_list, QString());
        row->appendSubItem(0, text, false);
        m_list->insertItem(row, -1, true);
    }
    layout->addWidget(m_list, 0, Qt::Alignment());
    m_list->setCurrentRow(0);
    connect(m_list, &PlListBox::selected, this, &KIVO_ListScreen::switchView);
    setContentWidget(m_list);

    setSoftKey(1, QCoreApplication::translate(context, "Back"), &KIVO_ListScreen::slotBack);
}

KIVO_ListScreen::~KIVO_ListScreen() = default;

PlListBox *KIVO_ListScreen::listBox() const
{
    return m_list;
}

const char *KIVO_ListScreen::ownTitle() const
{
    return m_ownTitle.constData();
}

void KIVO_ListScreen::setBackKeyText(const QString &text)
{
    softKey()->setText(1, text, 0);
}

void KIVO_ListScreen::slotBack()
{
    closeScreen();
}
