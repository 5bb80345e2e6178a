#pragma once

#include <QWidget>

class PlListBox;

// The "FTS Availability" choice: a widget that is never shown; its constructor runs the whole
// selection (Off, Temporarily On, Permanently On) and applies an accepted choice before it
// returns. Owned by the FTS Options screen until the next choice.
class KIVO_FTSAvailability : public QWidget {
public:
    KIVO_FTSAvailability(QWidget *parent, const char *name);
    ~KIVO_FTSAvailability() override;

private:
    Q_DISABLE_COPY(KIVO_FTSAvailability)
    // Selects and checks the row of the engine's present mode.
    void selectCurrentMode(PlListBox *listBox);
    // Tells the application manager, stores the mode when it changed, and confirms.
    void applyMode(int row);
};
