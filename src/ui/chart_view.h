#pragma once
// A chart picture area: a channel chart chp(0..3) or the zoom chart chzoom
// of the main window, the replay and progress pictures of the Review window.
// The core draws on the picture; this widget gives the picture its own
// size, shows it with the caption, and reports the pointer, clicks and
// double clicks.

#include "platform/qt/qt_canvas.h"

#include <QString>
#include <QWidget>

namespace tw::ui {

class ChartView : public QWidget {
    Q_OBJECT
public:
    explicit ChartView(const QString& caption, QWidget* parent = nullptr);

    // The picture, as large as the widget.
    platform::QtCanvas& canvas() { return canvas_; }
    void set_caption(const QString& caption);
    QSize sizeHint() const override { return {800, 140}; }
    QSize minimumSizeHint() const override { return {200, 60}; }

signals:
    void clicked();
    void double_clicked();
    // The pointer moved over the picture: x and y from 0 to 1.
    void moved(double x, double y);
    // The picture took the widget's new size and is blank.
    void resized();

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;

private:
    QString caption_;
    platform::QtCanvas canvas_{1, 1};
};

}  // namespace tw::ui
