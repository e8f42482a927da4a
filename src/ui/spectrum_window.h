#pragma once
// The spectrum window fft: the FFT size and the output mode (common to all
// channels), the Y zoom, X Magnify, the channel scroll bar and one picture
// per channel, of which the chosen one is shown with its axis labels.
//
// It renders display::Spectrum's model and pictures and passes every
// control to it. Showing the window activates the spectrum; closing it
// unloads it (the next sample of a channel with the spectrum on opens it
// again).

#include "display/spectrum.h"

#include <QWidget>

#include <array>

class QCheckBox;
class QLabel;
class QRadioButton;
class QScrollBar;

namespace tw::ui {

// A spectrum picture, scaled to the widget.
class SpectrumPicture : public QWidget {
    Q_OBJECT
public:
    explicit SpectrumPicture(QWidget* parent = nullptr);
    void set_picture(const platform::Canvas* picture);
    QSize sizeHint() const override { return {720, 300}; }
    QSize minimumSizeHint() const override { return {240, 100}; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    const platform::Canvas* picture_ = nullptr;
};

class SpectrumWindow : public QWidget {
    Q_OBJECT
public:
    explicit SpectrumWindow(display::Spectrum& spectrum, QWidget* parent = nullptr);
    ~SpectrumWindow() override;

    // Every widget from the model; the shown picture repainted.
    void render();

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    display::Spectrum& spectrum_;

    QRadioButton* option128_ = nullptr;
    QRadioButton* option256_ = nullptr;
    QRadioButton* option512_ = nullptr;
    QRadioButton* optionscope_ = nullptr;
    QRadioButton* optionjtf_ = nullptr;
    QCheckBox* xmagnify_ = nullptr;
    QScrollBar* fftzoomy_ = nullptr;
    QLabel* visfftzoomy_ = nullptr;
    QScrollBar* hscroll1_ = nullptr;
    QLabel* fftch_ = nullptr;
    std::array<SpectrumPicture*, 4> pictures_{};
    QLabel* fft_low_ = nullptr;
    QLabel* fft_mid_ = nullptr;
    QLabel* fft_high_ = nullptr;
    QLabel* fft_top_ = nullptr;
    QLabel* fft_bottom_ = nullptr;
    QLabel* fft_um_ = nullptr;
    QLabel* fft_um_y_ = nullptr;
};

}  // namespace tw::ui
