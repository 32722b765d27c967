#include "frontend/qt/gradient_background.h"

#include "frontend/paint/paint.h"

#include <QPainter>
#include <algorithm>
#include <cmath>

namespace talvek {

GradientBackground::GradientBackground(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void GradientBackground::setBeginColor(const QColor& c) {
    begin_ = c;
    cache_ = QImage();
    update();
}

void GradientBackground::setEndColor(const QColor& c) {
    end_ = c;
    cache_ = QImage();
    update();
}

void GradientBackground::setShift(int shift) {
    shift_ = std::clamp(shift, -100, 100);
    cache_ = QImage();
    update();
}

QColor GradientBackground::colorAt(int x, int y, int w, int h) const {
    const paint::Rgb c =
        paint::diamondColor(x, y, w, h, paint::Rgb{begin_.red(), begin_.green(), begin_.blue()},
                            paint::Rgb{end_.red(), end_.green(), end_.blue()}, shift_);
    return QColor(c.red, c.green, c.blue);
}

void GradientBackground::resizeEvent(QResizeEvent* event) {
    cache_ = QImage();
    QWidget::resizeEvent(event);
}

void GradientBackground::paintEvent(QPaintEvent*) {
    if (cache_.size() != size()) {
        cache_ = QImage(size(), QImage::Format_RGB32);
        for (int y = 0; y < height(); ++y) {
            QRgb* line = reinterpret_cast<QRgb*>(cache_.scanLine(y));
            for (int x = 0; x < width(); ++x) line[x] = colorAt(x, y, width(), height()).rgb();
        }
    }
    QPainter p(this);
    p.drawImage(0, 0, cache_);
}

}  // namespace talvek
