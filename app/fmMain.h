#pragma once

#include "app/Settings.h"

#include <QMainWindow>
#include <QPointer>

class QSplitter;
class QWidget;

// The main window: the account list, the header list, the message view,
// tool bar, menus, status bar and the progress panel.
class Tfmain : public QMainWindow {
    Q_OBJECT

public:
    explicit Tfmain(QWidget* parent = nullptr);
    ~Tfmain() override;

    void LoadSettings();
    void SaveSettings();

    // The spam rule settings, kept in memory while the program runs.
    [[nodiscard]] const TSettings& settings() const { return FSettings; }

    int FCurrentRow = -1;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void FormCreate();
    void evException(const std::exception& error);

    TSettings FSettings;
    QPointer<QWidget> Panel1;
    QPointer<QWidget> Panel2;
    QPointer<QWidget> Panel3;
    QPointer<QWidget> Panel4;
    QPointer<QSplitter> Splitter1;
    QPointer<QSplitter> Splitter2;
};
