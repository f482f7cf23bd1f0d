// Window sizes a user notices: the frame's opening size and its remembered
// place in the settings file, and widths that show a window's whole title.
#pragma once
#include <QRect>
#include <QSize>
#include <optional>

class QWidget;
class TProfileFile;

// Where the frame's last place is kept.
inline constexpr const char* kWindowSection = "Window";

// The frame's size for a content of `wanted` pixels, kept inside the
// screen's available area.
QSize openingSize(QSize wanted, const QRect& available);

// The remembered place when there is one that still lies on the screen (at
// least 200 x 100 pixels of it visible; an empty area is not checked).
std::optional<QRect> keptPlace(const TProfileFile* profile, const QRect& available);
// Keeps the frame's place (outer position, inner size) for the next start.
void keepPlace(TProfileFile* profile, const QRect& place);

// The width a window needs for its title in the window manager's bar: the
// text in the bold title font beside the icon and the three buttons.
int titleWidth(const QWidget& window);
// Widens a window (and its minimum width) to show its whole title.
void fitTitle(QWidget& window);
