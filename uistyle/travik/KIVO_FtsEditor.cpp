#include "KIVO_FtsEditor.h"

#include "KIVO_Engine.h"
#include "KIVO_FtsBitmap.h"
#include "KIVO_Popups.h"
#include "PlListBox.h"
#include "PlListBoxItem.h"

#include <QCoreApplication>
#include <QPointer>

#include <cstdio>

KIVO_FtsEditor::KIVO_FtsEditor(QWidget *parent, const char *name, const char *context,
                               const char *title)
    : KIVO_Screen(parent, name)
{
    setAppTitle(QCoreApplication::translate(context, title));

    // The list itself is the content: no scroll panel, no layout.
    listBox = new PlListBox(this, 0, 40);
    listBox->setItemType("%C20%M220");
    setContentWidget(listBox);

    setSoftKey(1, QCoreApplication::translate(context, "Back"), &KIVO_FtsEditor::slotBack);
    setSoftKey(0, QCoreApplication::translate(context, "Select"), &KIVO_FtsEditor::slotKeySelect);
}

KIVO_FtsEditor::~KIVO_FtsEditor() = default;

void KIVO_FtsEditor::fillRows(quint64 bitmap)
{
    // A second answer (two requests, or one the FTS engine sends unasked) replaces the rows
    // instead of adding a second set whose positions would map to no title.
    const int current = listBox->currentItem();
    listBox->clear();
    for (int i = 0; i < kivo_eng->titlesNum; ++i) {
        auto *row = new PlListBoxItem(listBox, QString());
        row->appendSubItem(1, kivo_eng->titlesArray[i], false);
        listBox->insertItem(row, -1, true);
        listBox->checkItem(i, testBitMap(bitmap, i));
    }
    // The list may have had the focus while it was empty; Select needs a current row.
    if (listBox->count() > 0) {
        listBox->setCurrentRow(qBound(0, current, listBox->count() - 1));
    }
    listBox->setFocus();
}

quint64 KIVO_FtsEditor::checkedBitmap(const char *checkedTrace) const
{
    quint64 bitmap = 0;
    for (int i = 0; i < listBox->count(); ++i) {
        if (listBox->itemChecked(i)) {
            std::fprintf(stderr, checkedTrace, i);
            setBitMap(bitmap, i);
        }
    }
    return bitmap;
}

void KIVO_FtsEditor::sendChange(const QString &notice, const char *sentTrace, quint64 bitmap,
                                void (KIVO_Engine::*send)(quint64))
{
    QPointer<KIVO_FtsEditor> self(this);
    showTimedNotice(notice);
    std::fprintf(stderr, sentTrace, static_cast<unsigned long long>(bitmap));
    if (kivo_eng) {
        (kivo_eng->*send)(bitmap);
    }
    if (self) {
        hide();
    }
}

void KIVO_FtsEditor::slotKeySelect()
{
    const int row = listBox->currentItem();
    if (row < 0) {
        return;
    }
    listBox->checkItem(row, !listBox->itemChecked(row));
    listBox->setFocus();
}
