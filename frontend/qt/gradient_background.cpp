#include "frontend/qt/gradient_background.h"

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
    // Diamond distance: 0 at the centre, 1 on the lines joining the middles
    // of the edges and beyond.
    double cx = w / 2.0, cy = h / 2.0;
    double d =
        (cx > 0 ? std::fabs(x + 0.5 - cx) / cx : 0) + (cy > 0 ? std::fabs(y + 0.5 - cy) / cy : 0);
    double t = std::clamp(d, 0.0, 1.0);
    // The shift bends the blend: it moves the midpoint of the ramp.
    double mid = std::clamp(0.5 - shift_ / 200.0, 0.01, 0.99);
    t = std::pow(t, std::log(0.5) / std::log(mid));
    auto mix = [t](int a, int b) { return static_cast<int>(std::lround(a + (b - a) * t)); };
    return QColor(mix(begin_.red(), end_.red()), mix(begin_.green(), end_.green()),
                  mix(begin_.blue(), end_.blue()));
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
