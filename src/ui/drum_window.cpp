#include "ui/drum_window.h"

#include "platform/qt/qt_canvas.h"
#include "ui/panel_widgets.h"

#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QVBoxLayout>

namespace tw::ui {

// The picture at its own size (the scroll area moves it).
class DrumPicture : public QWidget {
public:
    DrumPicture(const display::DrumRecorder& drums, int channel, QWidget* parent)
        : QWidget(parent), drums_(drums), channel_(channel) {
        setObjectName("drum_pic");
        fit();
    }
    // Takes the picture's size.
    void fit() {
        const auto* canvas = drums_.picture(channel_);
        const QSize size = canvas ? QSize(canvas->pixel_width(), canvas->pixel_height())
                                  : QSize(display::drum_geometry(3).pixel_width,
                                          display::drum_geometry(3).pixel_height);
        if (size != this->size()) setFixedSize(size);
    }

protected:
    void paintEvent(QPaintEvent* event) override {
        QPainter p(this);
        const auto* canvas = dynamic_cast<const platform::QtCanvas*>(drums_.picture(channel_));
        if (!canvas) {
            p.fillRect(rect(), Qt::white);
            p.drawText(rect().adjusted(20, 20, -20, -20), Qt::AlignLeft | Qt::AlignTop,
                       "The drum begins with the channel's next sample.");
            return;
        }
        const QRect area = event->rect();
        p.drawImage(area.topLeft(), canvas->image(), area);
    }

private:
    const display::DrumRecorder& drums_;
    int channel_;
};

DrumWindow::DrumWindow(display::DrumRecorder& drums, int channel, QWidget* parent)
    : QWidget(parent, Qt::Window), drums_(drums), channel_(channel) {
    setObjectName(QStringLiteral("drum%1").arg(channel));
    setWindowTitle(qt_text(drums_.view(channel).title));
    // Shown again by the recorder while the drum draws: never taking the focus.
    setAttribute(Qt::WA_ShowWithoutActivating);

    picture_ = new DrumPicture(drums_, channel_, this);
    scroll_ = new QScrollArea(this);
    scroll_->setObjectName("drum_scroll");
    scroll_->setWidget(picture_);
    scroll_->setBackgroundRole(QPalette::Dark);
    // Wide drums move by 100 pixels a step.
    scroll_->horizontalScrollBar()->setSingleStep(100);
    scroll_->verticalScrollBar()->setSingleStep(display::drum_pixels_per_row);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(scroll_);
    pacer_.add(picture_);
    resize(1200, picture_->height() + scroll_->horizontalScrollBar()->sizeHint().height() + 4);
}

void DrumWindow::follow() {
    if (!drums_.view(channel_).shown) {
        hide();
        return;
    }
    picture_->fit();
    if (!isVisible()) show();
    pacer_.poke();
}

void DrumWindow::mouseDoubleClickEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) drums_.clear_clicked(channel_);
    QWidget::mouseDoubleClickEvent(event);
}

}  // namespace tw::ui
