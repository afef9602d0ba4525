#include "app/fmMain.h"

#include "ui/CommandGuard.h"
#include "ui/IniFile.h"
#include "ui/Paths.h"
#include "ui/Platform.h"
#include "ui/TextCodec.h"

#include <QCloseEvent>
#include <QSplitter>
#include <QVBoxLayout>

Tfmain::Tfmain(QWidget* parent) : QMainWindow(parent) {
    setObjectName(QStringLiteral("fmain"));
    setWindowTitle(QStringLiteral("eMail"));
    // Design bounds; LoadSettings replaces them.
    setGeometry(314, 294, 599, 516);

    Splitter1 = new QSplitter(Qt::Horizontal, this);
    Splitter1->setObjectName(QStringLiteral("Splitter1"));
    Panel1 = new QWidget(Splitter1);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    Panel2 = new QWidget(Splitter1);
    Panel2->setObjectName(QStringLiteral("Panel2"));
    auto* panel2Layout = new QVBoxLayout(Panel2);
    panel2Layout->setContentsMargins(0, 0, 0, 0);
    Splitter2 = new QSplitter(Qt::Vertical, Panel2);
    Splitter2->setObjectName(QStringLiteral("Splitter2"));
    panel2Layout->addWidget(Splitter2);
    Panel3 = new QWidget(Splitter2);
    Panel3->setObjectName(QStringLiteral("Panel3"));
    Panel4 = new QWidget(Splitter2);
    Panel4->setObjectName(QStringLiteral("Panel4"));
    setCentralWidget(Splitter1);

    ui::setExceptionHandler([this](const std::exception& e) { evException(e); });
    ui::runGuarded([this] { FormCreate(); });
}

Tfmain::~Tfmain() { ui::setExceptionHandler(nullptr); }

void Tfmain::FormCreate() {
    FCurrentRow = -1;
    LoadSettings();
}

void Tfmain::LoadSettings() {
    const ui::IniFile ini(ui::settingsFilePath(kSettingsFileName));
    FSettings = readSettings(ini);
    setGeometry(FSettings.Left, FSettings.Top, FSettings.Width, FSettings.Height);
    Splitter1->setSizes({FSettings.SplitVertical, FSettings.Width - FSettings.SplitVertical});
    Splitter2->setSizes({FSettings.SplitHorizontal, FSettings.Height - FSettings.SplitHorizontal});
}

void Tfmain::SaveSettings() {
    const QRect frame = geometry();
    FSettings.Top = frame.top();
    FSettings.Left = frame.left();
    FSettings.Height = frame.height();
    FSettings.Width = frame.width();
    FSettings.SplitVertical = Panel1->width();
    FSettings.SplitHorizontal = Panel3->height();
    ui::IniFile ini(ui::settingsFilePath(kSettingsFileName));
    writeSettings(ini, FSettings);
    ini.save();
}

void Tfmain::closeEvent(QCloseEvent* event) {
    ui::runGuarded([this] { SaveSettings(); });
    event->accept();
}

void Tfmain::evException(const std::exception& error) {
    ui::platform().showError(this, ui::toQString(error.what()), pos() + QPoint(50, 50));
}
