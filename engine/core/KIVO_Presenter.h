#pragma once

#include <QString>

// One popup the engine shows: a message, an outcome notice, or the "KIVO: TAPI Error" message
// whose text the presenter takes from the telephony error code.
struct KIVO_EnginePopup {
    enum class Kind { Message, Notice, TapiError };
    Kind kind = Kind::Message;
    QString title;
    QString text; // Message and Notice
    int code = 0; // TapiError
};

// How the engine's popups reach the user: implemented by the widget layer (KIVO_Popups) and
// installed by main through startKivoEngine(), so that the engine itself links no widgets.
class KIVO_Presenter {
public:
    virtual ~KIVO_Presenter() = default;
    // Shows the popup modally and returns once the user has closed it.
    virtual void show(const KIVO_EnginePopup &popup) = 0;
};
