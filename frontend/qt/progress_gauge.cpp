#include "frontend/qt/progress_gauge.h"

#include <qdrawutil.h>

#include <QPainter>
#include <QPalette>
#include <algorithm>
#include <cmath>

namespace talvek {

ProgressGauge::ProgressGauge(QWidget* parent) : QWidget(parent), back_(cream()) {}

void ProgressGauge::setRange(int minValue, int maxValue) {
    min_ = minValue;
    max_ = std::max(minValue, maxValue);
    value_ = std::clamp(value_, min_, max_);
    update();
}

void ProgressGauge::setProgress(int value) {
    value = std::clamp(value, min_, max_);
    if (value == value_) return;
    value_ = value;
    update();
}

void ProgressGauge::setShowText(bool show) {
    showText_ = show;
    update();
}

void ProgressGauge::setBackColor(const QColor& c) {
    back_ = c;
    update();
}

int ProgressGauge::percent() const {
    return paint::gaugePercent(value_, min_, max_);
}

QString ProgressGauge::text() const {
    return showText_ ? QString::number(percent()) + QLatin1Char('%') : QString();
}

void ProgressGauge::paintEvent(QPaintEvent*) {
    QPainter p(this);
    const QRect all = rect();
    qDrawShadePanel(&p, all, palette(), true, 1);
    const QRect inner = all.adjusted(1, 1, -1, -1);
    p.fillRect(inner, back_);
    const int filled = paint::gaugeFill(inner.width(), value_, min_, max_);
    const QRect bar(inner.left(), inner.top(), filled, inner.height());
    const QColor barColor(paint::Navy.red, paint::Navy.green, paint::Navy.blue);
    p.fillRect(bar, barColor);
    if (!showText_) return;
    // The text reads on both parts: dark over the background, light over the bar.
    const QString label = text();
    p.setPen(Qt::black);
    p.drawText(inner, Qt::AlignCenter, label);
    p.setClipRect(bar);
    p.setPen(back_);
    p.drawText(inner, Qt::AlignCenter, label);
}

}  // namespace talvek
