#pragma once
// ProgressGauge: a progress bar with the rounded percentage and "%" drawn centred
// over it; the text can be switched off.  Sunken border, cream background.
#include <QColor>
#include <QString>
#include <QWidget>

#include "frontend/paint/paint.h"

namespace talvek {

class ProgressGauge : public QWidget {
  public:
    explicit ProgressGauge(QWidget* parent = nullptr);

    void setRange(int minValue, int maxValue);
    void setProgress(int value);
    void setShowText(bool show);
    void setBackColor(const QColor& c);

    int minValue() const { return min_; }
    int maxValue() const { return max_; }
    int progress() const { return value_; }
    bool showText() const { return showText_; }
    QColor backColor() const { return back_; }

    // The position as a whole percentage of the range, rounded.
    int percent() const;
    // What is drawn over the bar: "45%", or nothing with the text off.
    QString text() const;

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    int min_ = 0;
    int max_ = 100;
    int value_ = 0;
    bool showText_ = true;
    QColor back_;
};

// The cream of the gauge's background.
inline QColor cream() {
    return QColor(paint::Cream.red, paint::Cream.green, paint::Cream.blue);
}

}  // namespace talvek
