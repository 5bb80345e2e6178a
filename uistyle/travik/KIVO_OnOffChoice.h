#pragma once

class QWidget;

// The modal on/off choice of the cell feature screens: the rows "On" and "Off" under `title`,
// "On" preselected when `on`, else "Off". Returns the accepted row (0 "On", 1 "Off"), checked,
// or -1 when the choice was cancelled or the dialog went away with `parent` meanwhile.
int chooseOnOff(QWidget *parent, const char *title, int minimumListWidth, bool on);
