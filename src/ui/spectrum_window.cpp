#include "ui/spectrum_window.h"

#include "platform/qt/qt_canvas.h"
#include "ui/panel_widgets.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QCloseEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QRadioButton>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QVBoxLayout>

namespace tw::ui {

namespace {

QLabel* axis_label(const char* name, Qt::Alignment align, QWidget* parent) {
    auto* label = named(new QLabel(parent), name);
    label->setAlignment(align);
    return label;
}

void set_value(QScrollBar* bar, int value) {
    const QSignalBlocker block(bar);
    bar->setValue(value);
}

}  // namespace

SpectrumPicture::SpectrumPicture(QWidget* parent) : QWidget(parent) {
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
}

void SpectrumPicture::set_picture(const platform::Canvas* picture) {
    picture_ = picture;
    update();
}

void SpectrumPicture::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const auto* canvas = dynamic_cast<const platform::QtCanvas*>(picture_);
    if (!canvas) {
        painter.fillRect(rect(), palette_color(8));
        return;
    }
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(rect(), canvas->image());
}

SpectrumWindow::SpectrumWindow(display::Spectrum& spectrum, QWidget* parent)
    : QWidget(parent, Qt::Window), spectrum_(spectrum) {
    using display::SpectrumModel;
    setObjectName("fft");
    setWindowTitle(latin1(SpectrumModel::caption));

    auto* buffer = new QGroupBox("FFT buffer", this);
    auto* buffer_row = new QHBoxLayout(buffer);
    option128_ = named(new QRadioButton("FFT 128", buffer), "option128");
    option256_ = named(new QRadioButton("FFT 256", buffer), "option256");
    option512_ = named(new QRadioButton("FFT 512", buffer), "option512");
    for (auto* b : {option128_, option256_, option512_}) buffer_row->addWidget(b);

    auto* output = new QGroupBox("Graphic Output (common to all channels)", this);
    auto* output_row = new QHBoxLayout(output);
    optionscope_ = named(new QRadioButton("Scope", output), "optionscope");
    optionjtf_ = named(new QRadioButton("JTF", output), "optionjtf");
    xmagnify_ = named(new QCheckBox("X Magnify", output), "xmagnify",
                      "Right edge at a quarter of the Nyquist frequency");
    output_row->addWidget(optionscope_);
    output_row->addWidget(optionjtf_);
    output_row->addSpacing(20);
    output_row->addWidget(xmagnify_);

    auto* controls = new QHBoxLayout;
    controls->addWidget(buffer);
    controls->addWidget(output, 1);

    // The picture with its axis labels: the y axis on the left, the x axis
    // below, the Y zoom on the right.
    auto* y_axis = new QVBoxLayout;
    fft_um_y_ = axis_label("fft_um_y", Qt::AlignRight | Qt::AlignTop, this);
    fft_top_ = axis_label("fft_top", Qt::AlignRight | Qt::AlignTop, this);
    fft_bottom_ = axis_label("fft_bottom", Qt::AlignRight | Qt::AlignBottom, this);
    y_axis->addWidget(fft_um_y_);
    y_axis->addWidget(fft_top_);
    y_axis->addStretch(1);
    y_axis->addWidget(fft_bottom_);

    auto* stack = new QGridLayout;
    for (int i = 0; i < 4; ++i) {
        auto* picture = new SpectrumPicture(this);
        picture->setObjectName(QStringLiteral("Picture1_%1").arg(i));
        pictures_[static_cast<std::size_t>(i)] = picture;
        stack->addWidget(picture, 0, 0);
    }

    auto* zoom = new QVBoxLayout;
    fftzoomy_ = named(new QScrollBar(Qt::Vertical, this), "fftzoomy",
                      "Y zoom: the top of the spectrum is 30000000 / this value");
    fftzoomy_->setRange(SpectrumModel::zoom_min, SpectrumModel::zoom_max);
    visfftzoomy_ = named(new QLabel(this), "visfftzoomy");
    visfftzoomy_->setAlignment(Qt::AlignCenter);
    visfftzoomy_->setMinimumWidth(40);
    zoom->addWidget(new QLabel("Y zoom", this), 0, Qt::AlignHCenter);
    zoom->addWidget(fftzoomy_, 1, Qt::AlignHCenter);
    zoom->addWidget(visfftzoomy_);

    auto* x_axis = new QHBoxLayout;
    fft_low_ = axis_label("fft_low", Qt::AlignLeft, this);
    fft_mid_ = axis_label("fft_mid", Qt::AlignCenter, this);
    fft_high_ = axis_label("fft_high", Qt::AlignRight, this);
    fft_um_ = axis_label("fft_um", Qt::AlignLeft, this);
    fft_um_->setMinimumWidth(40);
    x_axis->addWidget(fft_low_, 1);
    x_axis->addWidget(fft_mid_, 1);
    x_axis->addWidget(fft_high_, 1);
    x_axis->addWidget(fft_um_);

    auto* graph = new QGridLayout;
    graph->addLayout(y_axis, 0, 0);
    graph->addLayout(stack, 0, 1);
    graph->addLayout(zoom, 0, 2);
    graph->addLayout(x_axis, 1, 1);
    graph->setColumnStretch(1, 1);
    graph->setRowStretch(0, 1);
    graph->setColumnMinimumWidth(0, 50);

    auto* channel_row = new QHBoxLayout;
    hscroll1_ = named(new QScrollBar(Qt::Horizontal, this), "HScroll1", "The channel shown");
    hscroll1_->setRange(1, 4);
    hscroll1_->setPageStep(1);
    fftch_ = named(new QLabel(this), "fftch");
    fftch_->setMinimumWidth(50);
    channel_row->addWidget(fftch_);
    channel_row->addWidget(hscroll1_, 1);

    auto* root = new QVBoxLayout(this);
    root->addLayout(controls);
    root->addLayout(graph, 1);
    root->addLayout(channel_row);

    auto* sizes = new QButtonGroup(this);
    sizes->addButton(option128_, 128);
    sizes->addButton(option256_, 256);
    sizes->addButton(option512_, 512);
    connect(sizes, &QButtonGroup::idClicked, this, [this](int size) { spectrum_.set_fft_size(size); });
    auto* modes = new QButtonGroup(this);
    modes->addButton(optionscope_, static_cast<int>(display::SpectrumMode::scope));
    modes->addButton(optionjtf_, static_cast<int>(display::SpectrumMode::jtf));
    connect(modes, &QButtonGroup::idClicked, this,
            [this](int mode) { spectrum_.set_mode(static_cast<display::SpectrumMode>(mode)); });
    connect(xmagnify_, &QCheckBox::toggled, this, [this](bool on) { spectrum_.set_magnify(on); });
    connect(fftzoomy_, &QScrollBar::valueChanged, this, [this](int v) { spectrum_.set_zoom(v); });
    connect(hscroll1_, &QScrollBar::valueChanged, this, [this](int v) { spectrum_.set_channel(v); });

    spectrum_.model().changed = [this] { render(); };
    render();
    resize(900, 480);
}

SpectrumWindow::~SpectrumWindow() { spectrum_.model().changed = nullptr; }

void SpectrumWindow::render() {
    const display::SpectrumModel& m = spectrum_.model();
    show_checked(option128_, m.fft_size == 128);
    show_checked(option256_, m.fft_size == 256);
    show_checked(option512_, m.fft_size == 512);
    show_checked(optionscope_, m.mode == display::SpectrumMode::scope);
    show_checked(optionjtf_, m.mode == display::SpectrumMode::jtf);
    show_checked(xmagnify_, m.xmagnify);
    set_value(fftzoomy_, m.fftzoomy);
    set_value(hscroll1_, m.channel);
    show_text(visfftzoomy_, m.visfftzoomy);
    show_text(fftch_, m.fftch);
    show_text(fft_low_, m.fft_low);
    show_text(fft_mid_, m.fft_mid);
    show_text(fft_high_, m.fft_high);
    show_text(fft_top_, m.fft_top);
    show_text(fft_bottom_, m.fft_bottom);
    show_text(fft_um_, m.fft_um);
    show_text(fft_um_y_, m.fft_um_y);
    for (int i = 0; i < 4; ++i) {
        auto* picture = pictures_[static_cast<std::size_t>(i)];
        const bool shown = i + 1 == m.channel;
        if (shown) picture->set_picture(spectrum_.picture(i + 1));
        picture->setVisible(shown);
    }
}

void SpectrumWindow::showEvent(QShowEvent* event) {
    if (!spectrum_.is_open()) spectrum_.activate();
    render();
    QWidget::showEvent(event);
}

void SpectrumWindow::closeEvent(QCloseEvent* event) {
    if (spectrum_.is_open()) spectrum_.unload();
    QWidget::closeEvent(event);
}

}  // namespace tw::ui
