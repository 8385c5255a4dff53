#pragma once
// The viewer's colours for the settings dialog: Qt's Fusion style with a dark palette, so that
// the sheet looks like the dark main window in front of which it opens, whichever host calls it.
// GUI thread only.
#include <QPalette>

class QWidget;

namespace vidora::settingsui {

QPalette darkPalette();
// Gives the widget and every widget below it the Fusion style and the dark palette; pages made
// later are themed by calling it again on them (the palette reaches them by itself).
void applyDarkTheme(QWidget& widget);

}  // namespace vidora::settingsui
