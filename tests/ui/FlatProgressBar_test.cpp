#include "ui/FlatProgressBar.h"

#include <gtest/gtest.h>

#include <QImage>
#include <QPixmap>

#include <climits>

namespace {

// How many pixels of the bar's middle row have the highlight colour.
int highlightedPixels(ui::FlatProgressBar& bar) {
    const QImage image = bar.grab().toImage();
    const QRgb highlight = bar.palette().color(QPalette::Highlight).rgb();
    int count = 0;
    for (int x = 0; x < image.width(); ++x)
        if (image.pixel(x, image.height() / 2) == highlight) ++count;
    return count;
}

// The check run's bar: 348 pixels wide, from 1 to 8, stepping as activity.
TEST(FlatProgressBar, FillFollowsTheValue) {
    ui::FlatProgressBar bar;
    bar.setGeometry(0, 0, 348, 16);
    bar.setRange(1, 8);
    const int inner = 348 - 4;
    struct Row {
        int value;
        int filled;
    };
    for (const Row& row : {Row{1, 0}, Row{2, inner / 7}, Row{5, 4 * inner / 7}, Row{8, inner}}) {
        bar.setValue(row.value);
        EXPECT_EQ(bar.filledWidth(), row.filled) << row.value;
        EXPECT_EQ(highlightedPixels(bar), row.filled) << row.value;
    }
}

// Ranges that would overflow or divide by zero in plain int arithmetic.
TEST(FlatProgressBar, ExtremeAndEmptyRanges) {
    ui::FlatProgressBar bar;
    bar.setGeometry(0, 0, 104, 10);
    bar.setRange(INT_MIN, INT_MAX);
    bar.setValue(INT_MAX);
    EXPECT_EQ(bar.filledWidth(), 100);
    bar.setValue(0);
    EXPECT_EQ(bar.filledWidth(), 50);
    bar.setRange(3, 3);
    bar.setValue(3);
    EXPECT_EQ(bar.filledWidth(), 100);
    bar.setGeometry(0, 0, 2, 2);
    EXPECT_EQ(bar.filledWidth(), 0);
    EXPECT_EQ(highlightedPixels(bar), 0);
}

}  // namespace
