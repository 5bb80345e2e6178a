#pragma once

#include <QListWidget>

class PlListBoxItem;

// The toolkit's list: rows in insertion order, a highlighted current row, and for the item
// types "%C..." check-mark rows and "%R..." radio rows. Emits selected(row) on Return, Enter
// or Select and on a click. Owns its items.
class PlListBox : public QListWidget {
    Q_OBJECT

public:
    enum class Marks { None, Check, Radio };

    PlListBox(const char *itemType, QWidget *parent, int flags, int widgetClassId);
    PlListBox(QWidget *parent, int flags, int widgetClassId);
    ~PlListBox() override;

    // "%M" plain rows, "%C20%M220" rows with a check mark, "%R20%M" radio rows.
    void setItemType(const char *itemType);
    Marks marks() const;

    // Puts `item` at `index` (-1 appends); the list takes it over.
    void insertItem(PlListBoxItem *item, int index, bool update);
    // Checking a radio row unchecks the others.
    void checkItem(int row, bool check);
    bool itemChecked(int row) const;
    void setSelected(int row, bool select);
    // The current row, -1 when there is none.
    int currentItem() const;
    PlListBoxItem *item(int row) const;

    // Up, Down, Return, Enter and Select as the list handles them.
    void handleKey(QKeyEvent *event);

signals:
    void selected(int row);

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void focusInEvent(QFocusEvent *event) override;

private:
    Q_DISABLE_COPY(PlListBox)
    void setUp();

    Marks m_marks = Marks::None;
};
