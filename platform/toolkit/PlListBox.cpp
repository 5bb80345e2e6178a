#include "PlListBox.h"

#include "PlListBoxItem.h"
#include "PlListItem.h"

#include <QApplication>
#include <QKeyEvent>
#include <QPainter>
#include <QStyledItemDelegate>

namespace {

// Paints a row as a phone list does: the current row highlighted, then the check or radio
// mark, then the text; a disabled row in grey. Check marks change only through the program.
class PlRowDelegate : public QStyledItemDelegate {
public:
    explicit PlRowDelegate(PlListBox *list) : QStyledItemDelegate(list), m_list(list)
    {
    }

    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override
    {
        QSize size = QStyledItemDelegate::sizeHint(option, index);
        size.setHeight(qMax(size.height(), 30));
        return size;
    }

    void paint(QPainter *painter, const QStyleOptionViewItem &option,
               const QModelIndex &index) const override
    {
        painter->save();
        const bool current = index == m_list->currentIndex();
        const QRect rect = option.rect;
        painter->fillRect(rect, current ? QColor(0x3d, 0x6d, 0xb0) : option.palette.base());
        painter->setPen(QColor(0xdd, 0xdd, 0xdd));
        painter->drawLine(rect.bottomLeft(), rect.bottomRight());

        int textLeft = rect.left() + 8;
        if (m_list->marks() != PlListBox::Marks::None) {
            const QRect markRect(rect.left() + 6, rect.center().y() - 7, 14, 14);
            drawMark(painter, markRect, index.data(Qt::CheckStateRole).toInt() == Qt::Checked,
                     current);
            textLeft = markRect.right() + 8;
        }
        const QVariant enabledData = index.data(PlListItem::EnabledRole);
        const bool enabled = !enabledData.isValid() || enabledData.toBool();
        QColor textColor = current ? QColor(Qt::white) : option.palette.text().color();
        if (!enabled) {
            textColor = current ? QColor(0xc8, 0xd4, 0xe6) : QColor(0x99, 0x99, 0x99);
        }
        painter->setPen(textColor);
        QFont font = option.font;
        font.setBold(current);
        painter->setFont(font);
        const QRect textRect(textLeft, rect.top(), rect.right() - textLeft - 4, rect.height());
        const QString text = painter->fontMetrics().elidedText(
            index.data(Qt::DisplayRole).toString(), Qt::ElideRight, textRect.width());
        painter->drawText(textRect, Qt::AlignVCenter | Qt::AlignLeft, text);
        painter->restore();
    }

    bool editorEvent(QEvent *, QAbstractItemModel *, const QStyleOptionViewItem &,
                     const QModelIndex &) override
    {
        return false;
    }

private:
    void drawMark(QPainter *painter, const QRect &box, bool checked, bool current) const
    {
        painter->setRenderHint(QPainter::Antialiasing, true);
        const QColor ink = current ? QColor(Qt::white) : QColor(0x1f, 0x2a, 0x38);
        painter->setPen(QPen(ink, 1.5));
        painter->setBrush(Qt::NoBrush);
        if (m_list->marks() == PlListBox::Marks::Radio) {
            painter->drawEllipse(box);
            if (checked) {
                painter->setBrush(ink);
                painter->drawEllipse(box.adjusted(4, 4, -4, -4));
            }
            return;
        }
        painter->drawRect(box);
        if (checked) {
            painter->setPen(QPen(ink, 2.2));
            const QPointF a(box.left() + 3, box.center().y());
            const QPointF b(box.left() + 6, box.bottom() - 3);
            const QPointF c(box.right() - 2, box.top() + 3);
            painter->drawLine(a, b);
            painter->drawLine(b, c);
        }
    }

    PlListBox *m_list;
};

} // namespace

PlListBox::PlListBox(const char *itemType, QWidget *parent, int flags, int widgetClassId)
    : QListWidget(parent)
{
    Q_UNUSED(flags);
    Q_UNUSED(widgetClassId);
    setUp();
    setItemType(itemType);
}

PlListBox::PlListBox(QWidget *parent, int flags, int widgetClassId) : QListWidget(parent)
{
    Q_UNUSED(flags);
    Q_UNUSED(widgetClassId);
    setUp();
}

PlListBox::~PlListBox() = default;

void PlListBox::setUp()
{
    setItemDelegate(new PlRowDelegate(this));
    setSelectionMode(QAbstractItemView::SingleSelection);
    setFrameShape(QFrame::NoFrame);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setFocusPolicy(Qt::StrongFocus);
    setUniformItemSizes(true);
    connect(this, &QListWidget::itemClicked, this, [this](QListWidgetItem *clicked) {
        const int clickedRow = row(clicked);
        setCurrentRow(clickedRow);
        emit selected(clickedRow);
    });
    // The highlight follows the current row, selected or not.
    connect(this, &QListWidget::currentRowChanged, viewport(),
            [this] { viewport()->update(); });
}

void PlListBox::setItemType(const char *itemType)
{
    const QByteArray type(itemType ? itemType : "");
    if (type.contains("%C")) {
        m_marks = Marks::Check;
    } else if (type.contains("%R")) {
        m_marks = Marks::Radio;
    } else {
        m_marks = Marks::None;
    }
    for (int i = 0; i < count(); ++i) {
        QListWidgetItem *row = QListWidget::item(i);
        if (m_marks == Marks::None) {
            row->setFlags(row->flags() & ~Qt::ItemIsUserCheckable);
        } else {
            row->setFlags(row->flags() | Qt::ItemIsUserCheckable);
            if (!row->data(Qt::CheckStateRole).isValid()) {
                row->setCheckState(Qt::Unchecked);
            }
        }
    }
}

PlListBox::Marks PlListBox::marks() const
{
    return m_marks;
}

void PlListBox::insertItem(PlListBoxItem *item, int index, bool update)
{
    Q_UNUSED(update);
    if (!item) {
        return;
    }
    if (m_marks != Marks::None) {
        // Checkable rows report their check state through accessibility.
        item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
        item->setCheckState(Qt::Unchecked);
    }
    if (index < 0 || index > count()) {
        index = count();
    }
    QListWidget::insertItem(index, item);
}

void PlListBox::checkItem(int row, bool check)
{
    QListWidgetItem *target = QListWidget::item(row);
    if (!target) {
        return;
    }
    if (check && m_marks == Marks::Radio) {
        for (int i = 0; i < count(); ++i) {
            if (i != row) {
                QListWidget::item(i)->setCheckState(Qt::Unchecked);
            }
        }
    }
    target->setCheckState(check ? Qt::Checked : Qt::Unchecked);
}

bool PlListBox::itemChecked(int row) const
{
    QListWidgetItem *target = QListWidget::item(row);
    return target && target->checkState() == Qt::Checked;
}

void PlListBox::setSelected(int row, bool select)
{
    QListWidgetItem *target = QListWidget::item(row);
    if (!target) {
        return;
    }
    if (select) {
        setCurrentRow(row);
    }
    target->setSelected(select);
}

int PlListBox::currentItem() const
{
    return currentRow();
}

PlListBoxItem *PlListBox::item(int row) const
{
    return static_cast<PlListBoxItem *>(QListWidget::item(row));
}

void PlListBox::handleKey(QKeyEvent *event)
{
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Select:
        if (currentRow() >= 0) {
            emit selected(currentRow());
        }
        return;
    case Qt::Key_Up:
        if (count() > 0) {
            setCurrentRow(currentRow() <= 0 ? 0 : currentRow() - 1);
        }
        return;
    case Qt::Key_Down:
        if (count() > 0) {
            setCurrentRow(currentRow() < 0 ? 0 : qMin(currentRow() + 1, count() - 1));
        }
        return;
    default:
        event->ignore();
        return;
    }
}

void PlListBox::keyPressEvent(QKeyEvent *event)
{
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Select:
    case Qt::Key_Up:
    case Qt::Key_Down:
        handleKey(event);
        return;
    case Qt::Key_Space:
        // Check marks change only through the program's own keys.
        event->ignore();
        return;
    default:
        // Soft keys and the rest go to the screen or popup.
        event->ignore();
        return;
    }
}

void PlListBox::focusInEvent(QFocusEvent *event)
{
    // A radio list starts on its checked row; other lists start on their first row.
    if (currentRow() < 0 && count() > 0) {
        int start = 0;
        if (m_marks == Marks::Radio) {
            for (int i = 0; i < count(); ++i) {
                if (itemChecked(i)) {
                    start = i;
                    break;
                }
            }
        }
        setCurrentRow(start);
    }
    QListWidget::focusInEvent(event);
}
