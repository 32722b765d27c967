#pragma once
// TGradient: the transfer window's background, a diamond-pattern blend from a
// begin colour at the centre to an end colour at the edges.
#include <QColor>
#include <QImage>
#include <QWidget>

class TGradient : public QWidget {
  public:
    explicit TGradient(QWidget* parent = nullptr);

    void SetBeginColor(const QColor& c);
    void SetEndColor(const QColor& c);
    // -100..100: negative values widen the begin colour, positive the end colour.
    void SetShift(int shift);

    QColor BeginColor() const { return begin_; }
    QColor EndColor() const { return end_; }
    int Shift() const { return shift_; }

    // The colour at (x, y) of a w by h area.
    QColor ColorAt(int x, int y, int w, int h) const;

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
inline QColor SkyBlue() {
    return QColor(0xA6, 0xCA, 0xF0);
}
