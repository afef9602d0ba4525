// A progress bar painted flat: a sunken edge and the done share filled with
// the highlight colour.
#pragma once

#include <QProgressBar>

namespace ui {

// The style's own bar draws a rounded, shaded and animated groove, which
// costs more to repaint than a whole exchange with a nearby server takes;
// a check run repaints the bar several times a second from inside its
// network waits. This one paints a few rectangles, all of its own area
// (so nothing below it repaints), and shows no text.
class FlatProgressBar : public QProgressBar {
public:
    explicit FlatProgressBar(QWidget* parent = nullptr);

    // The width of the filled part inside the edge for the bar's value.
    [[nodiscard]] int filledWidth() const;

protected:
    void paintEvent(QPaintEvent* event) override;
};

}  // namespace ui
