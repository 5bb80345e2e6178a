#pragma once

#include <QPlainTextEdit>

// A multi-line text view of the toolkit.
class PlMultiLineEdit : public QPlainTextEdit {
    Q_OBJECT

public:
    explicit PlMultiLineEdit(QWidget *parent, const char *name = nullptr, int flags = 0);
    ~PlMultiLineEdit() override;

    void setUnderline(bool underline);
    // Inserts `text` at the end.
    void insert(const QString &text);

private:
    Q_DISABLE_COPY(PlMultiLineEdit)
};
