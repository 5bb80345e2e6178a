#pragma once

class KIVO_TourRunner;
class KIVO_TourStage;

// The tour itself: every screen and popup of KIVO in the order a user meets them, the keys
// that lead there, and the simulator settings and file changes that provoke the rarer
// messages. It ends with "Exit" on the main menu.
void addTourSteps(KIVO_TourRunner &tour, KIVO_TourStage &stage);
