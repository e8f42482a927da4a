#pragma once
// Repaints of pictures that the logic draws sample by sample: after a
// change, at most 25 a second however many samples arrive, and none while
// nothing changed.

#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <QTimer>
#include <QWidget>

#include <vector>

namespace tw::ui {

class RepaintPacer : public QObject {
public:
    static constexpr int min_interval_ms = 40;

    explicit RepaintPacer(QObject* parent = nullptr);
    // A widget repainted with the others.
    void add(QWidget* widget);
    // Something was drawn: a repaint follows, at the earliest 40 ms after
    // the last one.
    void poke();
    // Repaints made so far.
    int repaints() const { return repaints_; }
    // A repaint is due.
    bool pending() const { return timer_.isActive(); }

private:
    void repaint_now();

    QTimer timer_;
    QElapsedTimer since_last_;
    std::vector<QPointer<QWidget>> widgets_;
    int repaints_ = 0;
};

}  // namespace tw::ui
