#pragma once
// GradientBackground: the transfer window's background, a diamond-pattern blend from a
// begin colour at the centre to an end colour at the edges.
#include <QColor>
#include <QImage>
#include <QWidget>

#include "frontend/paint/paint.h"

namespace talvek {

class GradientBackground : public QWidget {
  public:
    explicit GradientBackground(QWidget* parent = nullptr);

    void setBeginColor(const QColor& c);
    void setEndColor(const QColor& c);
    // -100..100: negative values widen the begin colour, positive the end colour.
    void setShift(int shift);

    QColor beginColor() const { return begin_; }
    QColor endColor() const { return end_; }
    int shift() const { return shift_; }

    // The colour at (x, y) of a w by h area.
    QColor colorAt(int x, int y, int w, int h) const;

  protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

  private:
    QColor begin_{Qt::white};
    QColor end_{Qt::white};
    int shift_ = 0;
    QImage cache_;
};

// The sky blue of the window's gradient.
inline QColor skyBlue() {
    return QColor(paint::SkyBlue.red, paint::SkyBlue.green, paint::SkyBlue.blue);
}

}  // namespace talvek
