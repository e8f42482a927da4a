#include "ui/chart_view.h"

#include <QMouseEvent>
#include <QPainter>

namespace tw::ui {

namespace {
const QColor background(0x1f, 0x3a, 0x52);
const QColor grid(0x2e, 0x50, 0x6c);
}  // namespace

ChartView::ChartView(const QString& caption, QWidget* parent)
    : QWidget(parent), caption_(caption) {
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    setCursor(Qt::PointingHandCursor);
}

void ChartView::set_coordinate_system(double x_left, double x_right, double y_top,
                                      double y_bottom) {
    x_left_ = x_left;
    x_right_ = x_right;
    y_top_ = y_top;
    y_bottom_ = y_bottom;
    update();
}

void ChartView::set_caption(const QString& caption) {
    caption_ = caption;
    update();
}

QPointF ChartView::to_pixel(double x, double y) const {
    const double w = x_right_ - x_left_;
    const double h = y_bottom_ - y_top_;
    return {w != 0 ? (x - x_left_) / w * width() : 0.0, h != 0 ? (y - y_top_) / h * height() : 0.0};
}

void ChartView::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), background);
    p.setPen(grid);
    for (int i = 1; i < 10; ++i) {
        const int x = static_cast<int>(to_pixel(x_left_ + (x_right_ - x_left_) * i / 10, 0).x());
        p.drawLine(x, 0, x, height());
    }
    // The zero line.
    p.setPen(QPen(Qt::black, 1));
    const int zero = static_cast<int>(to_pixel(0, 0).y());
    p.drawLine(0, zero, width(), zero);
    p.setPen(QColor(0xc8, 0xd8, 0xe8));
    p.drawText(rect().adjusted(8, 4, -8, -4), Qt::AlignLeft | Qt::AlignTop, caption_);
    p.setPen(palette().color(QPalette::Dark));
    p.drawRect(rect().adjusted(0, 0, -1, -1));
}

void ChartView::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) emit clicked();
    QWidget::mousePressEvent(event);
}

void ChartView::mouseDoubleClickEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) emit double_clicked();
    QWidget::mouseDoubleClickEvent(event);
}

}  // namespace tw::ui
