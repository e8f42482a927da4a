#include "platform/qt/qt_canvas.h"

#include <QFont>

#include <algorithm>
#include <cmath>

namespace tw::platform {

QColor to_qcolor(Color color) {
    const Rgb rgb = color.to_rgb();
    return QColor(rgb.r, rgb.g, rgb.b);
}

QtCanvas::QtCanvas(int pixel_width, int pixel_height)
    : image_(std::max(1, pixel_width), std::max(1, pixel_height), QImage::Format_RGB32) {
    image_.fill(Qt::white);
}

QtCanvas::~QtCanvas() { end_painting(); }

void QtCanvas::resize(int pixel_width, int pixel_height) {
    end_painting();
    image_ = QImage(std::max(1, pixel_width), std::max(1, pixel_height), QImage::Format_RGB32);
    image_.fill(Qt::white);
    ++changes_;
}

void QtCanvas::set_scale(double left, double top, double right, double bottom) {
    left_ = left;
    top_ = top;
    right_ = right;
    bottom_ = bottom;
}

QPointF QtCanvas::to_pixels(double x, double y) const {
    const double width = right_ - left_;
    const double height = bottom_ - top_;
    // A degenerate scale puts everything at the origin instead of dividing by 0.
    const double px = width != 0 ? (x - left_) / width * image_.width() : 0.0;
    const double py = height != 0 ? (y - top_) / height * image_.height() : 0.0;
    // Far-off points (a huge Y zoom) stay within what the rasteriser takes;
    // a point that is no number (a zoom of NaN in a hand-edited file) is at 0.
    static constexpr double limit = 1e6;
    auto bounded = [](double v) { return std::isnan(v) ? 0.0 : std::clamp(v, -limit, limit); };
    return {bounded(px), bounded(py)};
}

QPainter& QtCanvas::painter() {
    if (!painter_) {
        painter_ = std::make_unique<QPainter>(&image_);
        painter_->setRenderHint(QPainter::Antialiasing, false);
    }
    ++changes_;
    return *painter_;
}

void QtCanvas::end_painting() const {
    if (painter_) {
        painter_->end();
        painter_.reset();
    }
}

void QtCanvas::clear(Color background) {
    end_painting();
    image_.fill(to_qcolor(background));
    ++changes_;
}

void QtCanvas::fill_box(double x1, double y1, double x2, double y2, Color color) {
    const QPointF a = to_pixels(x1, y1);
    const QPointF b = to_pixels(x2, y2);
    const int left = static_cast<int>(std::floor(std::min(a.x(), b.x())));
    const int right = static_cast<int>(std::floor(std::max(a.x(), b.x())));
    const int top = static_cast<int>(std::floor(std::min(a.y(), b.y())));
    const int bottom = static_cast<int>(std::floor(std::max(a.y(), b.y())));
    painter().fillRect(QRect(QPoint(left, top), QPoint(right, bottom)), to_qcolor(color));
}

void QtCanvas::line(double x1, double y1, double x2, double y2, Color color, LineStyle style) {
    QPainter& p = painter();
    QPen pen(to_qcolor(color));
    pen.setWidth(0);  // cosmetic: one pixel whatever the scale
    pen.setStyle(style == LineStyle::dotted ? Qt::DotLine : Qt::SolidLine);
    p.setPen(pen);
    const QPointF a = to_pixels(x1, y1);
    const QPointF b = to_pixels(x2, y2);
    const QPoint pa(static_cast<int>(std::floor(a.x())), static_cast<int>(std::floor(a.y())));
    const QPoint pb(static_cast<int>(std::floor(b.x())), static_cast<int>(std::floor(b.y())));
    if (pa == pb) {
        p.drawPoint(pa);
    } else {
        p.drawLine(pa, pb);
    }
}

void QtCanvas::text(double x, double y, std::string_view text, Color color, TextAlign align,
                    int pixel_size) {
    QPainter& p = painter();
    QFont font("DejaVu Sans");
    font.setPixelSize(std::max(1, pixel_size));
    p.setFont(font);
    p.setPen(to_qcolor(color));
    const QString string = QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
    const QPointF at = to_pixels(x, y);
    const QFontMetrics metrics(font);
    const int width = metrics.horizontalAdvance(string);
    double left = at.x();
    switch (align) {
        case TextAlign::center_top:
        case TextAlign::center_bottom: left -= width / 2.0; break;
        case TextAlign::right_top:
        case TextAlign::right_bottom: left -= width; break;
        default: break;
    }
    const bool at_bottom = align == TextAlign::left_bottom || align == TextAlign::center_bottom ||
                           align == TextAlign::right_bottom;
    const double baseline = at_bottom ? at.y() - metrics.descent() : at.y() + metrics.ascent();
    p.drawText(QPointF(std::floor(left), std::floor(baseline)), string);
}

const QImage& QtCanvas::image() const {
    end_painting();
    return image_;
}

void QtCanvas::set_image(const QImage& image) {
    end_painting();
    image_ = image.convertToFormat(QImage::Format_RGB32);
    ++changes_;
}

void QtCanvas::draw_image(const QImage& image) { painter().drawImage(QPoint(0, 0), image); }

}  // namespace tw::platform
