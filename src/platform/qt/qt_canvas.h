#pragma once

#include "platform/canvas.h"

#include <QImage>
#include <QPainter>

#include <memory>

namespace tw::platform {

// A canvas over a QImage (RGB32). The painter stays open between calls and
// is closed whenever the image is read, so drawing one short line per sample
// costs no painter set-up. Text needs a QGuiApplication (the offscreen
// platform will do).
class QtCanvas : public Canvas {
public:
    QtCanvas(int pixel_width, int pixel_height);
    ~QtCanvas() override;

    int pixel_width() const override { return image_.width(); }
    int pixel_height() const override { return image_.height(); }
    void resize(int pixel_width, int pixel_height) override;
    void set_scale(double left, double top, double right, double bottom) override;
    void clear(Color background) override;
    void fill_box(double x1, double y1, double x2, double y2, Color color) override;
    void line(double x1, double y1, double x2, double y2, Color color, LineStyle style) override;
    void text(double x, double y, std::string_view text, Color color, TextAlign align,
              int pixel_size) override;

    // The picture as drawn so far. Call again after further drawing.
    const QImage& image() const;
    // Replaces the picture (and its size) by `image`.
    void set_image(const QImage& image);
    // Draws `image` over the picture from the top left corner.
    void draw_image(const QImage& image);
    // Counts every change, so a window repaints only when something changed.
    std::uint64_t change_count() const { return changes_; }

private:
    QPointF to_pixels(double x, double y) const;
    QPainter& painter();
    void end_painting() const;

    QImage image_;
    mutable std::unique_ptr<QPainter> painter_;
    double left_ = 0, top_ = 0, right_ = 1, bottom_ = 1;
    std::uint64_t changes_ = 0;
};

QColor to_qcolor(Color color);

}  // namespace tw::platform
