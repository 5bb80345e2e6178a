#pragma once

#include <QString>

class KIVO_Presenter;

// The shared modal popups. Each is created, run and destroyed within the call.

// A modal message: `text` under `title`; returns when the user closes it.
void showMessagePopup(const char *title, const char *text);

// The message of the "KIVO: TAPI Error" popup for a telephony error code.
QString tapiErrorText(int code);

// The short modal notice the screens show on a change ("Favourites Changed", "List N/A,Please
// Wait"): notice type 1, closing itself after 1500 ms or on a key.
void showTimedNotice(const QString &text);

// The presenter main installs in the engine: the engine's messages, outcome notices and
// telephony error popups, shown with the popups above. One for the process.
KIVO_Presenter *kivoPopupPresenter();
