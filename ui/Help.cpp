#include "ui/Help.h"

#include "ui/CommandGuard.h"
#include "ui/Paths.h"
#include "ui/Platform.h"

#include <QApplication>
#include <QFile>
#include <QKeyEvent>
#include <QPointer>
#include <QWidget>

namespace ui {

namespace {

constexpr const char* kHelpFileName = "TOLVANE.html";
constexpr const char* kHelpContextProperty = "HelpContext";
constexpr const char* kEnterMovesOnProperty = "EnterMovesOn";

// Reaches the protected focus move of any widget, as a Tab press would.
struct FocusMover : QWidget {
    static void next(QWidget* window) { (window->*(&FocusMover::focusNextPrevChild))(true); }
};

// Sees every key press of the application before the widget it is meant
// for: F1 opens the help of the window it was pressed in, Enter in a marked
// control moves on. Other keys go their usual way.
class WindowKeys : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() != QEvent::KeyPress || !watched->isWidgetType()) return false;
        auto* widget = static_cast<QWidget*>(watched);
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_F1) {
            const int context = helpContextOf(widget);
            if (context < 0) return false;
            showHelp(context);
            return true;
        }
        if ((key == Qt::Key_Return || key == Qt::Key_Enter) && widget->property(kEnterMovesOnProperty).toBool()) {
            FocusMover::next(widget->window());
            return true;
        }
        return false;
    }
};

void installWindowKeys() {
    static QPointer<WindowKeys> installed;
    if (installed || !qApp) return;
    installed = new WindowKeys(qApp);
    qApp->installEventFilter(installed);
}

}  // namespace

QString helpFilePath() { return QFile::decodeName(QByteArray::fromStdString(DataFilePath(kHelpFileName))); }

void setHelpContext(QWidget* window, int context) {
    window->setProperty(kHelpContextProperty, context);
    installWindowKeys();
}

int helpContextOf(const QWidget* widget) {
    for (const QWidget* w = widget ? widget->window() : nullptr; w; w = w->parentWidget() ? w->parentWidget()->window() : nullptr) {
        const QVariant context = w->property(kHelpContextProperty);
        if (context.isValid()) return context.toInt();
    }
    return -1;
}

void showHelp(int context) {
    runGuarded([context] { platform().showHelp(helpFilePath(), context); });
}

void setEnterMovesOn(QWidget* control) {
    control->setProperty(kEnterMovesOnProperty, true);
    installWindowKeys();
}

}  // namespace ui
