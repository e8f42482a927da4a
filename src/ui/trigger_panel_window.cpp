#include "ui/trigger_panel_window.h"

#include "config/tables.h"
#include "ui/panel_widgets.h"

#include <QButtonGroup>
#include <QCloseEvent>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QToolButton>
#include <QVBoxLayout>

#include <span>

namespace tw::ui {

using events::TriggerField;
using events::TriggerPanelModel;

namespace {

// A value display that reports clicks.
ClickableLabel* clickable_value_label(const char* name, const char* tip, QWidget* parent) {
    auto* label = named(new ClickableLabel(parent), name, tip);
    label->setFont(mono_font());
    label->setFrameShape(QFrame::Panel);
    label->setFrameShadow(QFrame::Sunken);
    label->setMinimumHeight(24);
    label->setCursor(Qt::PointingHandCursor);
    return label;
}

QLabel* unit_label(const char* name, QWidget* parent) {
    auto* label = new QLabel(parent);
    label->setObjectName(QString::fromLatin1(name));
    label->setMinimumWidth(90);
    return label;
}


}  // namespace

TriggerPanelWindow::TriggerPanelWindow(events::TriggerPanel& panel,
                                       std::function<void(int)> step_channel, QWidget* parent)
    : QWidget(parent, Qt::Window), panel_(panel), step_channel_(std::move(step_channel)) {
    setObjectName("trigpanel");
    setWindowTitle(latin1(TriggerPanelModel::title));

    auto* left = new QVBoxLayout;
    left->setSpacing(10);
    left->addWidget(build_header());
    left->addWidget(build_start_group());
    left->addWidget(build_stop_group());
    left->addWidget(build_live_group());
    left->addStretch(1);
    auto* right = new QVBoxLayout;
    right->setSpacing(10);
    right->addWidget(build_calibration_group());
    right->addWidget(build_other_group());
    right->addWidget(build_tuning_group());
    right->addStretch(1);
    auto* columns = new QHBoxLayout;
    columns->setSpacing(12);
    columns->addLayout(left, 1);
    columns->addLayout(right, 1);

    auto* root = new QVBoxLayout(this);
    root->setContentsMargins(12, 12, 12, 12);
    root->setSpacing(10);
    root->addLayout(columns, 1);
    root->addWidget(build_buttons());

    panel_.model().changed = [this] { render(); };
    render();
    resize(sizeHint().expandedTo(QSize(900, 0)));
}

TriggerPanelWindow::~TriggerPanelWindow() {
    panel_.model().changed = nullptr;
    if (panel_.is_open()) panel_.unload();
}

QLineEdit* TriggerPanelWindow::make_field(TriggerField which, const char* name, const char* tip,
                                          QWidget* parent) {
    auto* edit = named(new QLineEdit(parent), name, tip);
    edit->setFont(mono_font());
    edit->setMinimumWidth(90);
    edit->setMaxLength(24);
    fields_[static_cast<std::size_t>(which)] = edit;
    connect(edit, &QLineEdit::textEdited, this,
            [this, which](const QString& text) { panel_.set_field(which, std_text(text)); });
    // Enter, or leaving a changed field.
    connect(edit, &QLineEdit::editingFinished, this, [this, which] { panel_.leave_field(which); });
    return edit;
}

QWidget* TriggerPanelWindow::build_header() {
    auto* box = new QGroupBox("Channel and trigger method", this);
    auto* grid = new QGridLayout(box);
    grid->setHorizontalSpacing(8);
    ch_minus_ = named(new QToolButton(box), "cmd_ch_minus", "Previous channel");
    ch_minus_->setText("-");
    ch_plus_ = named(new QToolButton(box), "cmd_ch_plus", "Next channel");
    ch_plus_->setText("+");
    for (auto* b : {ch_minus_, ch_plus_}) b->setMinimumSize(28, 26);
    ch_selected_ = value_label("ch_selected", "The channel shown (the main window's selection)", box);
    ch_selected_->setAlignment(Qt::AlignCenter);
    ch_selected_->setMinimumWidth(40);
    auto* selector = new QHBoxLayout;
    selector->setSpacing(4);
    selector->addWidget(ch_minus_);
    selector->addWidget(ch_selected_);
    selector->addWidget(ch_plus_);
    selector->addStretch(1);
    grid->addWidget(caption_label("Channel", box), 0, 0);
    grid->addLayout(selector, 0, 1);

    trigmode_[0] = named(new QRadioButton("Amplitude threshold", box), "trigmode0",
                         "Trigger when the signal stays over the START amplitude");
    trigmode_[1] = named(new QRadioButton("STA / LTA ratio", box), "trigmode1",
                         "Trigger when the short-term to long-term average ratio exceeds "
                         "the START ratio");
    auto* group = new QButtonGroup(box);
    auto* modes = new QHBoxLayout;
    modes->setSpacing(16);
    for (int i = 0; i < 2; ++i) {
        group->addButton(trigmode_[static_cast<std::size_t>(i)]);
        modes->addWidget(trigmode_[static_cast<std::size_t>(i)]);
        connect(trigmode_[static_cast<std::size_t>(i)], &QRadioButton::clicked, this,
                [this, i] { panel_.trigmode_clicked(i); });
    }
    modes->addStretch(1);
    grid->addWidget(caption_label("Method", box), 1, 0);
    grid->addLayout(modes, 1, 1);
    grid->setColumnStretch(1, 1);

    connect(ch_minus_, &QToolButton::clicked, this, [this] {
        if (step_channel_) step_channel_(-1);
    });
    connect(ch_plus_, &QToolButton::clicked, this, [this] {
        if (step_channel_) step_channel_(+1);
    });
    return box;
}

QWidget* TriggerPanelWindow::build_field_group(const char* title, std::span<const FieldRow> rows) {
    auto* box = new QGroupBox(QString::fromLatin1(title), this);
    auto* grid = new QGridLayout(box);
    grid->setHorizontalSpacing(10);
    grid->setVerticalSpacing(5);
    int row = 0;
    for (const FieldRow& r : rows) {
        grid->addWidget(caption_label(QString::fromLatin1(r.caption), box), row, 0);
        grid->addWidget(make_field(r.which, r.name, r.tip, box), row++, 1);
    }
    grid->setColumnStretch(1, 1);
    return box;
}

QWidget* TriggerPanelWindow::build_start_group() {
    static constexpr FieldRow rows[] = {
        {TriggerField::start_amplitude, "start_threshold0", "START amplitude",
         "Amplitude threshold of the amplitude method (0..32767)"},
        {TriggerField::samples_over_start, "start_threshold1", "Samples over start",
         "Samples needed over the START amplitude to trigger"},
        {TriggerField::pre_event_minutes, "start_threshold2", "Pre Event Buffer in minutes",
         "Signal kept before the trigger; limited by the buffer at the channel's rate"},
        {TriggerField::sta_seconds, "start_threshold3", "STA (seconds)",
         "Short-term average window"},
        {TriggerField::lta_seconds, "start_threshold4", "LTA (seconds)",
         "Long-term average window"},
        {TriggerField::start_ratio, "start_threshold5", "START > ratio",
         "STA/LTA ratio above which an event starts"},
    };
    return build_field_group("Event start", rows);
}

QWidget* TriggerPanelWindow::build_stop_group() {
    static constexpr FieldRow rows[] = {
        {TriggerField::stop_amplitude, "stop_threshold0", "STOP amplitude",
         "Amplitude under which the coda must stay for the post-event time"},
        {TriggerField::post_event_minutes, "stop_threshold1",
         "Post event under STOP param.  in minutes", "Post-event coda time"},
        {TriggerField::stop_ratio, "stop_threshold2", "STOP < ratio",
         "STA/LTA ratio below which the event ends"},
        {TriggerField::max_event_minutes, "stop_threshold3", "Max event length in minutes",
         "Longest event; at least the pre-event plus the post-event time"},
    };
    return build_field_group("Event end", rows);
}

QWidget* TriggerPanelWindow::build_calibration_group() {
    auto* box = new QGroupBox("Sensor and A/D calibration", this);
    auto* grid = new QGridLayout(box);
    grid->setHorizontalSpacing(8);
    grid->setVerticalSpacing(5);
    sensor_type_ = named(new QComboBox(box), "sensor_type", "What the sensor measures");
    for (auto item : config::sensor_types) sensor_type_->addItem(latin1(item));
    measure_unit_ = named(new QComboBox(box), "measure_unit", "Unit of the physical values");
    const char* const units[] = {"?", "meters", "centimeters", "millimeters", "micrometers",
                                 "nanometers"};
    for (const char* item : units) measure_unit_->addItem(QString::fromLatin1(item));
    int row = 0;
    grid->addWidget(caption_label("Sensor", box), row, 0);
    grid->addWidget(sensor_type_, row++, 1, 1, 2);
    grid->addWidget(caption_label("Unit", box), row, 0);
    grid->addWidget(measure_unit_, row++, 1, 1, 2);

    lbl_sensor_ = unit_label("lbl_sensor", box);
    grid->addWidget(caption_label("Sensitivity", box), row, 0);
    grid->addWidget(make_field(TriggerField::sensor_sensitivity, "txt_sensor_sensitivity",
                               "Sensor output in volts per physical unit", box),
                    row, 1);
    grid->addWidget(lbl_sensor_, row++, 2);
    grid->addWidget(caption_label("Amplif. Gain", box), row, 0);
    grid->addWidget(make_field(TriggerField::amplifier_gain, "txt_amplifier_gain",
                               "Gain of the amplifier before the converter", box),
                    row++, 1);
    grid->addWidget(caption_label("A/D Bits", box), row, 0);
    grid->addWidget(make_field(TriggerField::ad_bits, "txt_ad_bits", "Bits of the converter", box),
                    row++, 1);
    grid->addWidget(caption_label("A/D range", box), row, 0);
    grid->addWidget(make_field(TriggerField::ad_range, "txt_ad_range",
                               "Full-scale range of the converter in volts", box),
                    row, 1);
    grid->addWidget(new QLabel("V", box), row++, 2);

    auto* line = new QFrame(box);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);
    grid->addWidget(line, row++, 0, 1, 3);

    lbl_ad_sens_ = value_label("lbl_ad_sens", "Counts per volt at the converter", box);
    lbl_data_output_ = clickable_value_label(
        "lbl_data_output", "Physical units per volt; click to compute the figures again", box);
    lbl_full_range_ = value_label("lbl_full_range", "Physical value of the converter's full range", box);
    lbl_resolution_ = value_label("lbl_resolution", "Physical units per count", box);
    for (QLabel* l : {static_cast<QLabel*>(lbl_data_output_), lbl_ad_sens_, lbl_full_range_,
                      lbl_resolution_}) {
        l->setMinimumWidth(170);
    }
    lbl_data_type_ = unit_label("lbl_data_type", box);
    lbl_full_range_type_ = unit_label("lbl_full_range_type", box);
    lbl_resolution_type_ = unit_label("lbl_resolution_type", box);
    grid->addWidget(caption_label("A/D sensitivity", box), row, 0);
    grid->addWidget(lbl_ad_sens_, row, 1);
    grid->addWidget(new QLabel("counts/V", box), row++, 2);
    grid->addWidget(caption_label("Data output", box), row, 0);
    grid->addWidget(lbl_data_output_, row, 1);
    grid->addWidget(lbl_data_type_, row++, 2);
    grid->addWidget(caption_label("Full range", box), row, 0);
    grid->addWidget(lbl_full_range_, row, 1);
    grid->addWidget(lbl_full_range_type_, row++, 2);
    grid->addWidget(caption_label("Resolution", box), row, 0);
    grid->addWidget(lbl_resolution_, row, 1);
    grid->addWidget(lbl_resolution_type_, row++, 2);
    grid->setColumnStretch(1, 1);

    connect(sensor_type_, &QComboBox::activated, this,
            [this](int index) { panel_.sensor_type_clicked(index); });
    connect(measure_unit_, &QComboBox::activated, this,
            [this](int index) { panel_.measure_unit_clicked(index); });
    connect(lbl_data_output_, &ClickableLabel::clicked, this, [this] { panel_.data_output_clicked(); });
    return box;
}

QWidget* TriggerPanelWindow::build_other_group() {
    auto* box = new QGroupBox("Magnitude, drum and event file", this);
    auto* grid = new QGridLayout(box);
    grid->setHorizontalSpacing(8);
    grid->setVerticalSpacing(5);
    auto* terms = new QHBoxLayout;
    terms->setSpacing(4);
    for (std::size_t i = 0; i < events::mag_corr_count; ++i) {
        const auto which = static_cast<TriggerField>(static_cast<std::size_t>(TriggerField::mag_corr_1) + i);
        const QByteArray name = QStringLiteral("mag_corr%1").arg(i).toLatin1();
        QLineEdit* edit = make_field(which, name.constData(),
                                     "Magnitude correction term (-100..100)", box);
        edit->setMinimumWidth(58);
        terms->addWidget(edit);
    }
    grid->addWidget(caption_label("Mag. correct.", box), 0, 0);
    grid->addLayout(terms, 0, 1, 1, 3);
    grid->addWidget(caption_label("Drum Y scale", box), 1, 0);
    grid->addWidget(make_field(TriggerField::drum_scale, "drum_scale", "Y scale factor of the drum", box),
                    1, 1);
    grid->addWidget(caption_label("Filter delay", box), 1, 2);
    grid->addWidget(make_field(TriggerField::filter_delay, "filter_delay",
                               "Delay of the signal filter", box),
                    1, 3);
    formato_ = named(new QComboBox(box), "formato", "Format of the event files (stored at once)");
    for (auto item : config::event_formats) formato_->addItem(latin1(item));
    grid->addWidget(caption_label("Event file format", box), 2, 0);
    grid->addWidget(formato_, 2, 1, 1, 3);
    grid->setColumnStretch(1, 1);
    grid->setColumnStretch(3, 1);
    connect(formato_, &QComboBox::activated, this, [this](int index) { panel_.formato_clicked(index); });
    return box;
}

QWidget* TriggerPanelWindow::build_tuning_group() {
    auto* box = new QGroupBox("Tuning (Apply checks and stores)", this);
    auto* grid = new QGridLayout(box);
    grid->setHorizontalSpacing(8);
    grid->setVerticalSpacing(5);
    auto field = [&](events::TuningField which, const char* name, const char* tip) {
        auto* edit = named(new QLineEdit(box), name, tip);
        edit->setFont(mono_font());
        edit->setMinimumWidth(58);
        edit->setMaxLength(12);
        tuning_[static_cast<std::size_t>(which)] = edit;
        connect(edit, &QLineEdit::textEdited, this,
                [this, which](const QString& text) { panel_.set_tuning_field(which, std_text(text)); });
        return edit;
    };
    using events::TuningField;
    filter_kind_ = named(new QComboBox(box), "filter_kind",
                         "Butterworth filter in front of the detector only; the files keep the signal");
    for (auto item : events::filter_kind_names) filter_kind_->addItem(latin1(item));
    grid->addWidget(caption_label("Band filter", box), 0, 0);
    grid->addWidget(filter_kind_, 0, 1);
    grid->addWidget(caption_label("Order", box), 0, 2);
    grid->addWidget(field(TuningField::order, "filter_order", "Order of the filter, 1 to 8"), 0, 3);
    grid->addWidget(caption_label("Low corner Hz", box), 1, 0);
    grid->addWidget(field(TuningField::low_corner, "filter_low",
                          "High-pass corner, or the band's lower edge (below half the rate)"), 1, 1);
    grid->addWidget(caption_label("High corner Hz", box), 1, 2);
    grid->addWidget(field(TuningField::high_corner, "filter_high",
                          "Low-pass corner, or the band's upper edge (below half the rate)"), 1, 3);
    grid->addWidget(caption_label("Hold above start s", box), 2, 0);
    grid->addWidget(field(TuningField::duration, "min_duration",
                          "Seconds the ratio (or amplitude) must stay above its start level; 0: at once"), 2, 1);
    grid->addWidget(caption_label("Weight", box), 2, 2);
    grid->addWidget(field(TuningField::weight, "coincidence_weight", "This channel's weight in the coincidence sum"),
                    2, 3);
    grid->addWidget(caption_label("All channels: coincidence", box), 3, 0);
    grid->addWidget(field(TuningField::coincidence, "coincidence_sum",
                          "Weight sum of channels that must trigger together to declare an event; 0: off"), 3, 1);
    grid->addWidget(caption_label("within s", box), 3, 2);
    grid->addWidget(field(TuningField::window, "coincidence_window", "Seconds within which the triggers count together"),
                    3, 3);
    grid->setColumnStretch(1, 1);
    grid->setColumnStretch(3, 1);
    connect(filter_kind_, &QComboBox::activated, this, [this](int index) { panel_.filter_kind_clicked(index); });
    return box;
}

QWidget* TriggerPanelWindow::build_live_group() {
    auto* box = new QGroupBox("Detector (live while acquiring)", this);
    auto* grid = new QGridLayout(box);
    grid->setHorizontalSpacing(8);
    grid->setVerticalSpacing(5);
    const char* const captions[] = {"STA / LTA  current ratio", "LTA average", "STA average"};
    for (int i = 0; i < 3; ++i) {
        const QByteArray name = QStringLiteral("monstart%1").arg(i).toLatin1();
        monstart_[static_cast<std::size_t>(i)] = value_label(name.constData(), captions[i], box);
        grid->addWidget(caption_label(QString::fromLatin1(captions[i]), box), i, 0);
        grid->addWidget(monstart_[static_cast<std::size_t>(i)], i, 1);
    }
    dc_average_ = value_label("dc_average", "Offset estimate of the signal", box);
    max_noise_ = clickable_value_label(
        "max_noise", "Largest noise amplitude since the last event; click to reset", box);
    grid->addWidget(caption_label("DC average", box), 3, 0);
    grid->addWidget(dc_average_, 3, 1);
    grid->addWidget(caption_label("Max noise (click: reset)", box), 4, 0);
    grid->addWidget(max_noise_, 4, 1);
    grid->setColumnStretch(1, 1);
    connect(max_noise_, &ClickableLabel::clicked, this, [this] { panel_.max_noise_clicked(); });
    return box;
}

QWidget* TriggerPanelWindow::build_buttons() {
    auto* bar = new QWidget(this);
    auto* row = new QHBoxLayout(bar);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(8);
    cmd_default_ = named_button(bar, "cmd_default", "Default settings",
                                "Fill the fields with a teleseismic or a local set (Apply stores)");
    trig_apply_ = named_button(bar, "trig_apply", "Apply", "Use the values of the fields");
    trig_ok_ = named_button(bar, "trig_ok", "OK", "Apply and close");
    trig_cancel_ = named_button(bar, "trig_cancel", "Cancel", "Close without applying");
    for (auto* b : {cmd_default_, trig_apply_, trig_ok_, trig_cancel_}) b->setMinimumHeight(30);
    // Leaving without applying normalises no field.
    trig_cancel_->setFocusPolicy(Qt::NoFocus);
    row->addWidget(cmd_default_);
    row->addStretch(1);
    row->addWidget(trig_apply_);
    row->addWidget(trig_ok_);
    row->addWidget(trig_cancel_);
    connect(cmd_default_, &QPushButton::clicked, this, [this] { panel_.defaults_clicked(); });
    connect(trig_apply_, &QPushButton::clicked, this, [this] { panel_.apply_clicked(); });
    connect(trig_ok_, &QPushButton::clicked, this, [this] { panel_.ok_clicked(); });
    connect(trig_cancel_, &QPushButton::clicked, this, [this] { panel_.cancel_clicked(); });
    return bar;
}

void TriggerPanelWindow::render() {
    const TriggerPanelModel& m = panel_.model();
    show_text(ch_selected_, std::to_string(m.ch_selected));
    for (std::size_t i = 0; i < fields_.size(); ++i) show_text(fields_[i], m.fields[i]);
    show_checked(trigmode_[0], m.trigmode == 0);
    show_checked(trigmode_[1], m.trigmode != 0);
    show_index(sensor_type_, m.sensor_type);
    show_index(measure_unit_, m.measure_unit);
    show_index(formato_, m.formato);
    show_index(filter_kind_, m.filter_kind);
    for (std::size_t i = 0; i < tuning_.size(); ++i) show_text(tuning_[i], m.tuning[i]);

    show_text(lbl_ad_sens_, m.scale.lbl_ad_sens);
    show_text(lbl_data_output_, m.scale.lbl_data_output);
    show_text(lbl_full_range_, m.scale.lbl_full_range);
    show_text(lbl_resolution_, m.scale.lbl_resolution);
    show_text(lbl_sensor_, m.units.lbl_sensor);
    show_text(lbl_data_type_, m.units.lbl_data_type);
    show_text(lbl_full_range_type_, m.units.lbl_full_range_type);
    show_text(lbl_resolution_type_, m.units.lbl_resolution_type);
    show_text(monstart_[0], m.sta_lta_ratio);
    show_text(monstart_[1], m.lta_average);
    show_text(monstart_[2], m.sta_average);
    show_text(dc_average_, m.dc_average);
    show_text(max_noise_, m.max_noise);

    const bool on = m.inputs_enabled;
    for (QLineEdit* edit : fields_) edit->setEnabled(on);
    for (QLineEdit* edit : tuning_) edit->setEnabled(on);
    filter_kind_->setEnabled(on);
    for (QWidget* w : std::initializer_list<QWidget*>{trigmode_[0], trigmode_[1], sensor_type_,
                                                      measure_unit_, formato_, cmd_default_}) {
        w->setEnabled(on);
    }

    if (m.close_requested && isVisible()) close();
}

bool TriggerPanelWindow::event(QEvent* event) {
    if (event->type() == QEvent::WindowActivate && panel_.is_open()) panel_.activate();
    return QWidget::event(event);
}

void TriggerPanelWindow::showEvent(QShowEvent* event) {
    if (!panel_.is_open()) {
        panel_.load();
        panel_.activate();
    }
    QWidget::showEvent(event);
}

void TriggerPanelWindow::closeEvent(QCloseEvent* event) {
    if (panel_.is_open()) panel_.unload();
    QWidget::closeEvent(event);
}

}  // namespace tw::ui
