// The two UI components: what the gauge shows and how the gradient blends.
#include <gtest/gtest.h>

#include <QApplication>

#include "frontend/qt/gradient_background.h"
#include "frontend/qt/progress_gauge.h"

namespace talvek {

TEST(ProgressGauge, ShowsTheRoundedPercentageOfItsRange) {
    ProgressGauge g;
    EXPECT_EQ(g.text(), "0%");
    g.setProgress(45);
    EXPECT_EQ(g.text(), "45%");
    g.setRange(0, 1000);
    g.setProgress(455);
    EXPECT_EQ(g.percent(), 46);  // 45.5 rounds up
    g.setProgress(454);
    EXPECT_EQ(g.text(), "45%");
    g.setProgress(5000);  // clamped to the range
    EXPECT_EQ(g.progress(), 1000);
    EXPECT_EQ(g.text(), "100%");
    g.setShowText(false);
    EXPECT_EQ(g.text(), "");
    g.setShowText(true);
    EXPECT_EQ(g.text(), "100%");
    EXPECT_EQ(g.backColor(), QColor(0xFF, 0xFB, 0xF0));
}

TEST(ProgressGauge, PaintsBarAndTextWithoutTrouble) {
    ProgressGauge g;
    g.resize(274, 17);
    g.setProgress(50);
    QImage img = g.grab().toImage();
    ASSERT_EQ(img.size(), QSize(274, 17));
    // Left half is bar, far right is cream background (inside the border).
    EXPECT_EQ(QColor(img.pixel(3, 3)), QColor(0x00, 0x00, 0x80));
    EXPECT_EQ(QColor(img.pixel(270, 3)), QColor(0xFF, 0xFB, 0xF0));
}

TEST(GradientBackground, BlendsFromWhiteInTheMiddleToTheEndColourAtTheCorners) {
    GradientBackground g;
    g.setBeginColor(Qt::white);
    g.setEndColor(skyBlue());
    g.setShift(-22);
    EXPECT_EQ(g.colorAt(50, 50, 101, 101), QColor(Qt::white));
    EXPECT_EQ(g.colorAt(0, 0, 101, 101), skyBlue());
    // Blending is monotonic along a line from the centre outwards.
    int last = 255;
    for (int x = 50; x >= 0; x -= 5) {
        int red = g.colorAt(x, 50, 101, 101).red();
        EXPECT_LE(red, last);
        last = red;
    }
    // A negative shift keeps more of the begin colour half-way out.
    QColor shifted = g.colorAt(25, 50, 101, 101);
    g.setShift(0);
    QColor plain = g.colorAt(25, 50, 101, 101);
    EXPECT_GT(shifted.red(), plain.red());
    g.setShift(500);
    EXPECT_EQ(g.shift(), 100);
}

}  // namespace talvek
