#include "ui/repaint_pacer.h"

#include <algorithm>

namespace tw::ui {

RepaintPacer::RepaintPacer(QObject* parent) : QObject(parent) {
    timer_.setSingleShot(true);
    connect(&timer_, &QTimer::timeout, this, &RepaintPacer::repaint_now);
}

void RepaintPacer::add(QWidget* widget) { widgets_.emplace_back(widget); }

void RepaintPacer::poke() {
    if (timer_.isActive()) return;
    const qint64 waited = since_last_.isValid() ? since_last_.elapsed() : min_interval_ms;
    timer_.start(static_cast<int>(std::max<qint64>(0, min_interval_ms - waited)));
}

void RepaintPacer::repaint_now() {
    since_last_.restart();
    ++repaints_;
    for (const auto& widget : widgets_)
        if (widget && widget->isVisible()) widget->update();
}

}  // namespace tw::ui
