#pragma once

#include "KIVO_ListScreen.h"
#include "KIVO_Panic_Util.h"

#include <memory>

class KIVO_DataDisplay;

// The panics of one source, newest first. Reads the source once, when it is built, and owns
// the panic list it read; a row opens the detail screen of its panic, which it owns too.
class KIVO_PanicsDisplay : public KIVO_ListScreen {
    Q_OBJECT

public:
    KIVO_PanicsDisplay(QWidget *parent, const char *name, PanicType panicType);
    ~KIVO_PanicsDisplay() override;

private slots:
    void switchView(int index) override;

private:
    Q_DISABLE_COPY(KIVO_PanicsDisplay)

    struct Panics {
        PanicNode *head = nullptr;
        uint8_t count = 0;
        // The crash records that join this source's list (pstore, systemd-coredump,
        // devcoredump), shown after the source's own rows; owned like the panic list.
        PanicType crashType = PANIC_KERNEL;
        PanicNode *crashHead = nullptr;
        uint8_t crashCount = 0;
    };
    static QStringList rowTexts(PanicType panicType, const Panics &panics);
    KIVO_PanicsDisplay(QWidget *parent, const char *name, PanicType panicType, Panics panics);
    static Panics readPanics(PanicType panicType);

    std::unique_ptr<KIVO_DataDisplay> m_dataDisplay;
    PanicType m_panicType;
    uint8_t m_panicCount;
    // The node of the last selection, where the next search starts; not owned.
    PanicNode *m_ptemp;
    // The head of the panic list; owned, freed by the destructor.
    PanicNode *m_panicList;
    // The joining crash records: their type (PANIC_KERNEL when none join), list and count.
    PanicType m_crashType;
    PanicNode *m_crashList;
    uint8_t m_crashCount;
};
