#include "ui/chart_view.h"

#include <QMouseEvent>
#include <QPainter>

#include <algorithm>

namespace tw::ui {

ChartView::ChartView(const QString& caption, QWidget* parent)
    : QWidget(parent), caption_(caption) {
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    setCursor(Qt::PointingHandCursor);
    setMouseTracking(true);
    // The picture covers the whole widget: nothing to paint beneath it.
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void ChartView::set_caption(const QString& caption) {
    caption_ = caption;
    update();
}

void ChartView::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.drawImage(0, 0, canvas_.image());
    if (!caption_.isEmpty()) {
        p.setPen(QColor(0xc8, 0xd8, 0xe8));
        p.drawText(rect().adjusted(8, 4, -8, -4), Qt::AlignLeft | Qt::AlignTop, caption_);
    }
    p.setPen(palette().color(QPalette::Dark));
    p.drawRect(rect().adjusted(0, 0, -1, -1));
}

void ChartView::resizeEvent(QResizeEvent* event) {
    canvas_.resize(width(), height());
    emit resized();
    QWidget::resizeEvent(event);
}

void ChartView::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) emit clicked();
    QWidget::mousePressEvent(event);
}

void ChartView::mouseDoubleClickEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) emit double_clicked();
    QWidget::mouseDoubleClickEvent(event);
}

void ChartView::mouseMoveEvent(QMouseEvent* event) {
    const QPointF at = event->position();
    emit moved(at.x() / std::max(1, width()), at.y() / std::max(1, height()));
    QWidget::mouseMoveEvent(event);
}

}  // namespace tw::ui
