#pragma once

#include <QListWidgetItem>
#include <QMap>
#include <QPixmap>
#include <QString>

class PlListBox;

// One row of a PlListBox. A row shows the texts of its sub-items, in index order. Owned by
// the list once inserted.
class PlListBoxItem : public QListWidgetItem {
public:
    PlListBoxItem(PlListBox *listBox, const QString &text);
    ~PlListBoxItem() override;

    void appendSubItem(int index, const QString &text, bool highlighted,
                       const QPixmap &pixmap = QPixmap());
    QString getSubItemText(int index) const;

private:
    Q_DISABLE_COPY(PlListBoxItem)
    void updateText();

    QMap<int, QString> m_subItems;
};
