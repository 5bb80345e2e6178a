#pragma once

#include <QLineEdit>

// A one-line input field. The toolkit's line edit is its own input field.
class PlLineEdit : public QLineEdit {
    Q_OBJECT

public:
    PlLineEdit(QWidget *parent, const char *name, int widgetClassId);
    ~PlLineEdit() override;

    PlLineEdit *getInputField();
    // Input mode 6 offers digits (and the minus sign); other modes offer any text.
    void setInputMode(int mode);

private:
    Q_DISABLE_COPY(PlLineEdit)
};
