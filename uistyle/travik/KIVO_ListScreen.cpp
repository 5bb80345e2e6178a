#include "KIVO_ListScreen.h"

#include "PlListBox.h"
#include "PlScrollPanel.h"
#include "PlSettingItem.h"
#include "PlSoftKey.h"

#include <QCoreApplication>
#include <QVBoxLayout>

QWidget *screenParent = nullptr;

KIVO_ListScreen::KIVO_ListScreen(QWidget *parent, const char *name, const char *context,
                                 const char *title, const QStringList &rows)
    : PlKbMainWidget(parent, name, 0), m_openerTitle(name), m_ownTitle(title)
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

    auto *keys = new PlSoftKey("CST_2A", this, this);
    keys->setText(1, QCoreApplication::translate(context, "Back"), 0);
    keys->setClickedSlot(1, this, &KIVO_ListScreen::slotBack);
    setCSTWidget(keys);
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

const char *KIVO_ListScreen::openerTitle() const
{
    return m_openerTitle.constData();
}

void KIVO_ListScreen::setBackKeyText(const QString &text)
{
    softKey()->setText(1, text, 0);
}

void KIVO_ListScreen::slotBack()
{
    hide();
    setAppTitle(QString::fromLatin1(m_openerTitle));
}
