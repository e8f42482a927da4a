#pragma once
// The drum window of one channel ("Drum CH n"): the channel's drum picture,
// scrolled sideways when it is wider than the window. The drum recorder
// draws the picture and says when the window is shown; a double click asks
// whether to clear the drum.

#include "display/drum_recorder.h"
#include "ui/repaint_pacer.h"

#include <QScrollArea>
#include <QWidget>

namespace tw::ui {

class DrumPicture;

class DrumWindow : public QWidget {
    Q_OBJECT
public:
    DrumWindow(display::DrumRecorder& drums, int channel, QWidget* parent = nullptr);

    // The recorder changed the picture or the view: shown or hidden as the
    // view says, the picture repainted at the pacer's rate.
    void follow();
    QScrollArea* scroll_area() const { return scroll_; }
    const RepaintPacer& pacer() const { return pacer_; }

protected:
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    display::DrumRecorder& drums_;
    int channel_;
    DrumPicture* picture_ = nullptr;
    QScrollArea* scroll_ = nullptr;
    RepaintPacer pacer_;
};

}  // namespace tw::ui
