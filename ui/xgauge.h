#pragma once
// TxGauge: a progress bar with the rounded percentage and "%" drawn centred
// over it; the text can be switched off.  Sunken border, cream background.
#include <QColor>
#include <QString>
#include <QWidget>

class TxGauge : public QWidget {
  public:
    explicit TxGauge(QWidget* parent = nullptr);

    void SetRange(int minValue, int maxValue);
    void SetProgress(int value);
    void SetShowText(bool show);
    void SetBackColor(const QColor& c);

    int MinValue() const { return min_; }
    int MaxValue() const { return max_; }
    int Progress() const { return value_; }
    bool ShowText() const { return showText_; }
    QColor BackColor() const { return back_; }

    // The position as a whole percentage of the range, rounded.
    int Percent() const;
    // What is drawn over the bar: "45%", or nothing with the text off.
    QString Text() const;

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
inline QColor Cream() {
    return QColor(0xFF, 0xFB, 0xF0);
}
