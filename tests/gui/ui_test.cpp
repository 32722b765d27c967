// The two UI components: what the gauge shows and how the gradient blends.
#include <gtest/gtest.h>

#include <QApplication>

#include "ui/gradient.h"
#include "ui/xgauge.h"

TEST(TxGauge, ShowsTheRoundedPercentageOfItsRange) {
    TxGauge g;
    EXPECT_EQ(g.Text(), "0%");
    g.SetProgress(45);
    EXPECT_EQ(g.Text(), "45%");
    g.SetRange(0, 1000);
    g.SetProgress(455);
    EXPECT_EQ(g.Percent(), 46);  // 45.5 rounds up
    g.SetProgress(454);
    EXPECT_EQ(g.Text(), "45%");
    g.SetProgress(5000);  // clamped to the range
    EXPECT_EQ(g.Progress(), 1000);
    EXPECT_EQ(g.Text(), "100%");
    g.SetShowText(false);
    EXPECT_EQ(g.Text(), "");
    g.SetShowText(true);
    EXPECT_EQ(g.Text(), "100%");
    EXPECT_EQ(g.BackColor(), QColor(0xFF, 0xFB, 0xF0));
}

TEST(TxGauge, PaintsBarAndTextWithoutTrouble) {
    TxGauge g;
    g.resize(274, 17);
    g.SetProgress(50);
    QImage img = g.grab().toImage();
    ASSERT_EQ(img.size(), QSize(274, 17));
    // Left half is bar, far right is cream background (inside the border).
    EXPECT_EQ(QColor(img.pixel(3, 3)), QColor(0x00, 0x00, 0x80));
    EXPECT_EQ(QColor(img.pixel(270, 3)), QColor(0xFF, 0xFB, 0xF0));
}

TEST(TGradient, BlendsFromWhiteInTheMiddleToTheEndColourAtTheCorners) {
    TGradient g;
    g.SetBeginColor(Qt::white);
    g.SetEndColor(SkyBlue());
    g.SetShift(-22);
    EXPECT_EQ(g.ColorAt(50, 50, 101, 101), QColor(Qt::white));
    EXPECT_EQ(g.ColorAt(0, 0, 101, 101), SkyBlue());
    // Blending is monotonic along a line from the centre outwards.
    int last = 255;
    for (int x = 50; x >= 0; x -= 5) {
        int red = g.ColorAt(x, 50, 101, 101).red();
        EXPECT_LE(red, last);
        last = red;
    }
    // A negative shift keeps more of the begin colour half-way out.
    QColor shifted = g.ColorAt(25, 50, 101, 101);
    g.SetShift(0);
    QColor plain = g.ColorAt(25, 50, 101, 101);
    EXPECT_GT(shifted.red(), plain.red());
    g.SetShift(500);
    EXPECT_EQ(g.Shift(), 100);
}
