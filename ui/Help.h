#pragma once

#include <QString>

class QWidget;

// Context help and the keys every window shares. A window states its help
// context once with setHelpContext; F1 anywhere in it opens the help page
// at that context. A control marked with setEnterMovesOn passes the focus
// on when Enter is pressed in it, as Tab would. One application-wide key
// filter does both, so that F1 reaches the help of the window it was
// pressed in whichever windows are open.
namespace ui {

// The help page, both the contents and context help: beside the program, or
// in an installed program's data folder (DataFilePath).
[[nodiscard]] QString helpFilePath();

// The help context of `window`; the shared key filter is installed on the
// application the first time a window states one.
void setHelpContext(QWidget* window, int context);

// The context of the window `widget` belongs to (the nearest window up its
// parents that stated one), or -1 when none did.
[[nodiscard]] int helpContextOf(const QWidget* widget);

// Opens the help page at `context`; a failure is reported like that of any
// command.
void showHelp(int context);

// Enter in `control` moves the focus to the next control of its window.
void setEnterMovesOn(QWidget* control);

}  // namespace ui
