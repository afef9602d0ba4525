#include "ui/DialogKeys.h"

#include "ui/CommandGuard.h"
#include "ui/Paths.h"
#include "ui/Platform.h"
#include "ui/TextCodec.h"

#include <QKeyEvent>

namespace ui {

bool isEnterKey(const QEvent* event) {
    if (event->type() != QEvent::KeyPress) return false;
    const int key = static_cast<const QKeyEvent*>(event)->key();
    return key == Qt::Key_Return || key == Qt::Key_Enter;
}

void showProgramHelp(int context) {
    runGuarded([context] { platform().showHelp(toQString(ProgramFilePath("TOLVANE.html")), context); });
}

}  // namespace ui
