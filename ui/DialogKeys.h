#pragma once

class QEvent;

namespace ui {

// True for a key press of Return or the keypad's Enter. The dialogs use it
// to move on to the next control as Tab would.
[[nodiscard]] bool isEnterKey(const QEvent* event);

// Opens the program's help file at the given topic; failures are reported
// to the user like those of any command.
void showProgramHelp(int context);

}  // namespace ui
