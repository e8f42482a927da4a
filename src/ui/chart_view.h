#pragma once
// A chart picture area of the main window: the channel charts chp(0..3) and
// the zoom chart chzoom.
//
// Coordinate system: X runs from 0 (left edge) to 1000 (right edge); Y from
// the chart top (upper edge) down to the chart bottom (lower edge), +32780 to
// -32780 for the 16-bit boards and +131075 to -131075 for the 18-bit board.
// The traces are drawn by the chart logic; this widget shows the area, its
// zero line, and reports clicks and double clicks.

#include <QString>
#include <QWidget>

namespace tw::ui {

class ChartView : public QWidget {
    Q_OBJECT
public:
    explicit ChartView(const QString& caption, QWidget* parent = nullptr);

    void set_coordinate_system(double x_left, double x_right, double y_top, double y_bottom);
    double x_left() const { return x_left_; }
    double x_right() const { return x_right_; }
    double y_top() const { return y_top_; }
    double y_bottom() const { return y_bottom_; }
    // Widget pixel of a chart point.
    QPointF to_pixel(double x, double y) const;

    void set_caption(const QString& caption);
    QSize sizeHint() const override { return {800, 140}; }
    QSize minimumSizeHint() const override { return {200, 60}; }

signals:
    void clicked();
    void double_clicked();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    QString caption_;
    double x_left_ = 0;
    double x_right_ = 1000;
    double y_top_ = 32780;
    double y_bottom_ = -32780;
};

}  // namespace tw::ui
