#include "ui/main_window.h"

#include "app/acquisition_control.h"
#include "app/housekeeping.h"
#include "config/tables.h"
#include "ui/chart_view.h"
#include "ui/drum_window.h"
#include "ui/error_list_box.h"
#include "ui/event_list_window.h"
#include "ui/hardware_setup_window.h"
#include "ui/logo_window.h"
#include "ui/panel_widgets.h"
#include "ui/review_window.h"
#include "ui/settime_window.h"
#include "ui/spectrum_window.h"
#include "ui/trigger_panel_window.h"
#include "ui/trimming_window.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QFontDatabase>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QToolButton>
#include <QVBoxLayout>

namespace tw::ui {

namespace {

constexpr int side_column_width = 370;

QString channel_caption(int index) { return QStringLiteral("CH %1").arg(index + 1); }

QLabel* field_label(const QString& text, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    return label;
}

QFont bold(QFont font, double scale = 1.0) {
    font.setBold(true);
    if (scale != 1.0) font.setPointSizeF(font.pointSizeF() * scale);
    return font;
}

}  // namespace

MainWindow::MainWindow(app::Station& station, const app::StartupResult& startup, QWidget* parent)
    : QWidget(parent), station_(station), quit_([] { QCoreApplication::quit(); }) {
    setObjectName("panel");
    setWindowTitle(qt_text(station_.panel.title));

    auto* body = new QHBoxLayout;
    body->setSpacing(10);
    body->addWidget(build_charts(), 1);
    auto* side = new QVBoxLayout;
    side->setSpacing(8);
    side->addWidget(build_channel_group());
    side->addWidget(build_display_group());
    side->addWidget(build_time_group());
    side->addStretch(1);
    auto* side_widget = new QWidget(this);
    side_widget->setLayout(side);
    side->setContentsMargins(0, 0, 0, 0);
    side_widget->setFixedWidth(side_column_width);
    body->addWidget(side_widget);

    auto* root = new QVBoxLayout(this);
    root->setContentsMargins(10, 8, 10, 8);
    root->setSpacing(8);
    root->addWidget(build_header());
    root->addLayout(body, 1);
    root->addWidget(build_buttons());

    fft_enabled_->setVisible(startup.show_fft_box);
    donothing_->setVisible(station_.settings.general.service_mode == 1);

    attach_charts();
    show_zoom();

    error_box_ = new ErrorListBox(station_, this);
    error_box_->set_quit_handler([this] { quit_(); });

    connect_controls();
    app::select_channel(station_, station_.selected_channel);
    show_general_settings();
    show_selected_channel();
    station_.panel.changed = [this] { render_panel(); };
    station_.lock_main_window = [this] { apply_lock(); };
    render_panel();
    apply_lock();

    timer_.setObjectName("Timer1");
    timer_.setInterval(1000);
    connect(&timer_, &QTimer::timeout, this, [this] { app::housekeeping_tick(station_); });
    timer_.start();

    resize(1280, 800);
    // Service mode: the clock trimming window opens beside the main window
    // once the event loop runs.
    if (startup.open_trimming) QTimer::singleShot(0, this, &MainWindow::open_trimming);
    // The acquisition run opens and closes the spectrum window.
    station_.spectrum.open_window = [this] { open_spectrum(); };
    station_.spectrum.close_window = [this] {
        if (spectrum_window_) spectrum_window_->close();
    };
}

MainWindow::~MainWindow() {
    timer_.stop();
    for (int chart = 0; chart <= display::LiveCharts::zoom_chart; ++chart)
        station_.charts.attach(chart, nullptr);
    station_.charts.changed = nullptr;
    station_.charts.zoom_changed = nullptr;
    station_.drums.changed = nullptr;
    station_.panel.changed = nullptr;
    station_.lock_main_window = nullptr;
    station_.recorder.on_record_disabled = nullptr;
    station_.spectrum.open_window = nullptr;
    station_.spectrum.close_window = nullptr;
}

void MainWindow::set_quit_handler(std::function<void()> quit) { quit_ = std::move(quit); }

// --- Layout -------------------------------------------------------------------

QWidget* MainWindow::build_header() {
    auto* header = new QWidget(this);
    auto* row = new QHBoxLayout(header);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(10);

    title_ = new QLabel(qt_text(station_.panel.title), header);
    title_->setObjectName("title");
    title_->setFont(bold(font(), 1.6));
    title_->setStyleSheet("color: #1f3a52;");
    title_->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    row->addWidget(title_);
    row->addSpacing(12);

    auto* station_box = new QGroupBox("Station", header);
    auto* sg = new QHBoxLayout(station_box);
    sg->setSpacing(6);
    location_ = named(new QLineEdit(station_box), "location", "Station name");
    coordinates_ = named(new QLineEdit(station_box), "coordinates",
                         "Latitude and longitude, e.g. 14.39N 12.33E");
    elevation_ = named(new QLineEdit(station_box), "elevation", "Elevation in metres");
    location_->setMinimumWidth(160);
    coordinates_->setMinimumWidth(130);
    elevation_->setFixedWidth(70);
    sg->addWidget(field_label("Location", station_box));
    sg->addWidget(location_, 3);
    sg->addSpacing(8);
    sg->addWidget(field_label("Coordinates", station_box));
    sg->addWidget(coordinates_, 2);
    sg->addSpacing(8);
    sg->addWidget(field_label("Elevation", station_box));
    sg->addWidget(elevation_);
    sg->addWidget(new QLabel("m", station_box));
    row->addWidget(station_box, 1);
    return header;
}

QWidget* MainWindow::build_time_group() {
    auto* box = new QGroupBox("Time and link", this);
    auto* grid = new QGridLayout(box);
    grid->setHorizontalSpacing(8);
    grid->setVerticalSpacing(6);
    const QFont mono = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    utc_clock_ = named(new QLineEdit(box), "utc_clock", "Board clock (display only)");
    utc_clock_->setReadOnly(true);
    utc_clock_->setFocusPolicy(Qt::NoFocus);
    utc_clock_->setFont(mono);
    realtime_ = named(new QLabel(box), "realtime", "PC clock");
    realtime_->setFont(mono);
    realtime_->setMinimumWidth(200);
    true_sps_ = named(new QLabel(box), "true_sps",
                      "Samples received in the last second (selected channel)");
    true_sps_->setFont(mono);
    true_sps_->setMinimumWidth(60);
    badrx_ = named(new ClickableLabel(box), "badrx", "Bad packets received; click to reset");
    badrx_->setFont(mono);
    badrx_->setMinimumWidth(60);
    badrx_->setCursor(Qt::PointingHandCursor);
    bufferload_ = named(new LoadBar(box), "bufferload", "Serial receive buffer load");
    event_indicator_ = named(new Lamp(box), "event_indicator",
                             "Blinks after an event was recorded (cleared with the event list)");
    grid->addWidget(field_label("Board (UTC)", box), 0, 0);
    grid->addWidget(utc_clock_, 0, 1, 1, 3);
    grid->addWidget(field_label("PC clock", box), 1, 0);
    grid->addWidget(realtime_, 1, 1, 1, 3);
    grid->addWidget(field_label("Rate (sps)", box), 2, 0);
    grid->addWidget(true_sps_, 2, 1);
    grid->addWidget(field_label("Bad packets", box), 2, 2);
    grid->addWidget(badrx_, 2, 3);
    grid->addWidget(field_label("Buffer", box), 3, 0);
    grid->addWidget(bufferload_, 3, 1);
    auto* event_row = new QHBoxLayout;
    event_row->addStretch();
    event_row->addWidget(event_indicator_);
    event_row->addSpacing(4);
    event_row->addWidget(new QLabel("Event", box));
    grid->addLayout(event_row, 3, 2, 1, 2);
    grid->setColumnStretch(1, 1);
    return box;
}

QWidget* MainWindow::build_charts() {
    auto* area = new QWidget(this);
    auto* grid = new QGridLayout(area);
    grid->setContentsMargins(0, 0, 0, 0);
    grid->setHorizontalSpacing(6);
    grid->setVerticalSpacing(6);
    const QFont mono = bold(QFontDatabase::systemFont(QFontDatabase::FixedFont), 1.25);
    for (int i = 0; i < 4; ++i) {
        auto* strip = new QFrame(area);
        strip->setFrameShape(QFrame::StyledPanel);
        strip->setFixedWidth(118);
        auto* s = new QVBoxLayout(strip);
        s->setContentsMargins(6, 6, 6, 6);
        s->setSpacing(4);
        auto* name = new QLabel(channel_caption(i), strip);
        name->setFont(bold(font(), 1.15));
        name->setAlignment(Qt::AlignCenter);
        ch_val_[i] = new QLabel(strip);
        ch_val_[i]->setObjectName(QStringLiteral("ch_val%1").arg(i));
        ch_val_[i]->setToolTip("Last sample value");
        ch_val_[i]->setFont(mono);
        ch_val_[i]->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        ch_val_[i]->setFrameShape(QFrame::Panel);
        ch_val_[i]->setFrameShadow(QFrame::Sunken);
        ch_val_[i]->setAutoFillBackground(true);
        ch_val_[i]->setMinimumHeight(30);
        man_record_[i] = new QPushButton("REC", strip);
        man_record_[i]->setObjectName(QStringLiteral("man_record%1").arg(i));
        man_record_[i]->setToolTip("Start or stop a manual recording of this channel");
        s->addWidget(name);
        s->addWidget(ch_val_[i]);
        s->addWidget(man_record_[i]);
        s->addStretch();
        grid->addWidget(strip, i, 0);

        chp_[i] = new ChartView(QString(), area);
        chp_[i]->setObjectName(QStringLiteral("chp%1").arg(i));
        chp_[i]->setToolTip("Click: show this channel's settings. Double click: zoom");
        grid->addWidget(chp_[i], i, 1);
        grid->setRowStretch(i, 1);
    }
    chzoom_ = new ChartView(QString(), area);
    chzoom_->setObjectName("chzoom");
    chzoom_->setToolTip("Click: back to the four charts");
    grid->addWidget(chzoom_, 0, 1, 4, 1);
    grid->setColumnStretch(1, 1);
    return area;
}

QWidget* MainWindow::build_channel_group() {
    auto* box = new QGroupBox("Channel settings", this);
    auto* grid = new QGridLayout(box);
    grid->setHorizontalSpacing(8);
    grid->setVerticalSpacing(6);
    int row = 0;

    // Selector: < n >
    ch_minus_ = named(new QToolButton(box), "ch_minus", "Previous channel");
    ch_minus_->setArrowType(Qt::LeftArrow);
    ch_plus_ = named(new QToolButton(box), "ch_plus", "Next channel");
    ch_plus_->setArrowType(Qt::RightArrow);
    for (auto* b : {ch_minus_, ch_plus_}) b->setFixedSize(36, 30);
    ch_selected_ = named(new QLabel("1", box), "ch_selected", "The channel these controls set");
    ch_selected_->setFont(bold(font(), 1.5));
    ch_selected_->setAlignment(Qt::AlignCenter);
    ch_selected_->setFrameShape(QFrame::Panel);
    ch_selected_->setFrameShadow(QFrame::Sunken);
    ch_selected_->setFixedSize(56, 30);
    auto* selector = new QHBoxLayout;
    selector->addWidget(new QLabel("Channel", box));
    selector->addStretch();
    selector->addWidget(ch_minus_);
    selector->addWidget(ch_selected_);
    selector->addWidget(ch_plus_);
    grid->addLayout(selector, row++, 0, 1, 4);

    auto* line = new QFrame(box);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);
    grid->addWidget(line, row++, 0, 1, 4);

    sps_select_ = named(new QComboBox(box), "sps_select", "Samples per second");
    for (auto name : config::sps_names) sps_select_->addItem(QString::fromLatin1(name.data(), qsizetype(name.size())));
    axis_select_ = named(new QComboBox(box), "axis_select", "Sensor axis");
    for (auto name : config::axis_list) axis_select_->addItem(QString::fromLatin1(name.data(), qsizetype(name.size())));
    grid->addWidget(field_label("Rate (sps)", box), row, 0);
    grid->addWidget(sps_select_, row, 1);
    grid->addWidget(field_label("Axis", box), row, 2);
    grid->addWidget(axis_select_, row++, 3);

    extension_ = named(new QLineEdit(box), "extension", "Extension of this channel's event files");
    extension_->setMaxLength(int(app::panel_limits::extension_length));
    dc_offset_ = named(new QLineEdit(box), "dc_offset",
                       "Offset added to every sample (-32000..32000); Enter to apply");
    grid->addWidget(field_label("File ext.", box), row, 0);
    grid->addWidget(extension_, row, 1);
    grid->addWidget(field_label("Offset", box), row, 2);
    grid->addWidget(dc_offset_, row++, 3);

    auto_offset_ = named(new QCheckBox("Auto offset", box), "auto_offset",
                         "Remove the running mean of the signal");
    invert_data_ = named(new QCheckBox("Invert", box), "invert_data", "Invert the signal polarity");
    grid->addWidget(auto_offset_, row, 1);
    grid->addWidget(invert_data_, row++, 3);

    y_scale_ = named(new QScrollBar(Qt::Horizontal, box), "y_scale", "Chart Y zoom");
    y_scale_->setRange(app::panel_limits::y_scale_min, app::panel_limits::y_scale_max);
    y_scale_->setPageStep(10);
    y_scale_->setMinimumHeight(18);
    yscale_ = named(new QLabel(box), "yscale");
    yscale_->setMinimumWidth(64);
    yscale_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    grid->addWidget(field_label("Y zoom", box), row, 0);
    grid->addWidget(y_scale_, row, 1, 1, 2);
    grid->addWidget(yscale_, row++, 3);
    zallch_ = named(new QCheckBox("Y zoom on all channels", box), "zallch",
                    "A Y zoom change applies to all four channels");
    grid->addWidget(zallch_, row++, 1, 1, 3);

    auto* line2 = new QFrame(box);
    line2->setFrameShape(QFrame::HLine);
    line2->setFrameShadow(QFrame::Sunken);
    grid->addWidget(line2, row++, 0, 1, 4);

    ch_enabled_ = named(new QCheckBox("Record events", box), "ch_enabled",
                        "Record the events of this channel");
    all_trigger_ = named(new QCheckBox("Xtrig", box), "all_trigger",
                         "An event on this channel also starts all other enabled channels");
    grid->addWidget(field_label("Events", box), row, 0);
    grid->addWidget(ch_enabled_, row, 1, 1, 2);
    grid->addWidget(all_trigger_, row++, 3);

    alarm_ = named(new QCheckBox("Alarm", box), "alarm",
                   "Alarm when a recorded sample exceeds the threshold");
    alarm_soglia_ = named(new QLineEdit(box), "alarm_soglia", "Alarm threshold (0..32000)");
    grid->addWidget(alarm_, row, 1);
    grid->addWidget(field_label("Threshold", box), row, 2);
    grid->addWidget(alarm_soglia_, row++, 3);

    logging_ = named(new QCheckBox("Datalog 24h", box), "logging",
                     "Log this channel around the clock into day track files");
    fft_enabled_ = named(new QCheckBox("Spectrum", box), "fft_enabled",
                         "Show this channel in the spectrum window");
    grid->addWidget(field_label("Logging", box), row, 0);
    grid->addWidget(logging_, row, 1, 1, 2);
    grid->addWidget(fft_enabled_, row++, 3);

    drum_ = named(new QCheckBox("Drum", box), "drum", "Draw and save this channel's drum");
    hide_drum_ = named(new QCheckBox("Hide drum", box), "hide_drum", "Keep the drum window hidden");
    grid->addWidget(field_label("Drum", box), row, 0);
    grid->addWidget(drum_, row, 1, 1, 2);
    grid->addWidget(hide_drum_, row++, 3);

    grid->setColumnStretch(1, 1);
    grid->setColumnStretch(3, 1);
    return box;
}

QWidget* MainWindow::build_display_group() {
    auto* box = new QGroupBox("Charts", this);
    auto* grid = new QGridLayout(box);
    grid->setHorizontalSpacing(8);
    grid->setVerticalSpacing(6);
    chartspeed1_ = named(new QScrollBar(Qt::Horizontal, box), "chartspeed1", "Chart speed");
    chartspeed1_->setRange(app::panel_limits::chart_speed_min, app::panel_limits::chart_speed_max);
    chartspeed1_->setPageStep(5);
    chartspeed1_->setMinimumHeight(18);
    chartspeed_value_ = new QLabel(box);
    chartspeed_value_->setObjectName("chartspeed_value");
    chartspeed_value_->setMinimumWidth(40);
    chartspeed_value_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    nocharting_ = named(new QCheckBox("Charts off", box), "nocharting",
                        "Stop drawing the live charts");
    grid->addWidget(field_label("Speed", box), 0, 0);
    grid->addWidget(chartspeed1_, 0, 1);
    grid->addWidget(chartspeed_value_, 0, 2);
    grid->addWidget(nocharting_, 1, 1, 1, 2);
    grid->setColumnStretch(1, 1);
    return box;
}

QWidget* MainWindow::build_buttons() {
    auto* bar = new QWidget(this);
    auto* row = new QHBoxLayout(bar);
    row->setContentsMargins(0, 2, 0, 0);
    row->setSpacing(6);
    auto make = [bar](const char* name, const QString& caption, const char* tip) {
        auto* b = named(new QPushButton(caption, bar), name, tip);
        b->setMinimumHeight(32);
        b->setMinimumWidth(92);
        b->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
        return b;
    };
    start_ = make("Command1", "START", "Start the acquisition");
    stop_ = make("command2", "STOP", "Stop the acquisition");
    save_ = make("Command3", "SAVE", "Save all parameters");
    exit_ = make("Command4", "EXIT", "Terminate this application program");
    const QFont strong = bold(font());
    for (auto* b : {start_, stop_, save_, exit_}) b->setFont(strong);
    events_ = make("events", "Events", "Show the event list");
    ch_review_ = make("ch_review", "Review", "Review and replay the datalog tracks");
    set_triggers_ = make("set_triggers", "TRIGGERS", "Trigger and sensor setup");
    active_ = make("active", "HW Setup", "Hardware setup, automations and settings lock");
    timeset_ = make("timeset", "Time Set", "Set the PC and board clocks");
    load_logo_ = make("load_logo", "Logo", "Show the logo and the credits");

    lbl_service_ = named(new QLabel(bar), "lbl_service");
    lbl_service_->setFont(bold(font()));
    lbl_service_->setStyleSheet("color: #8a4b00;");
    feed_status_ = named(new QLabel(bar), "feed_status", "The DataLink feed to the ring server");
    donothing_ = named(new QLabel(bar), "donothing", "Idle passes of the acquisition loop per second");
    donothing_->setMinimumWidth(60);

    for (auto* b : {start_, stop_, save_, exit_}) row->addWidget(b);
    row->addSpacing(18);
    for (auto* b : {events_, ch_review_, set_triggers_, active_, timeset_, load_logo_}) {
        row->addWidget(b);
    }
    row->addSpacing(12);
    row->addWidget(lbl_service_);
    row->addStretch(1);
    row->addWidget(feed_status_);
    row->addSpacing(12);
    row->addWidget(donothing_);
    return bar;
}

// --- Behaviour ----------------------------------------------------------------

void MainWindow::connect_controls() {
    auto selection_changed = [this] { show_selected_channel(); };
    connect(ch_minus_, &QToolButton::clicked, this, [this, selection_changed] {
        app::channel_minus(station_);
        selection_changed();
    });
    connect(ch_plus_, &QToolButton::clicked, this, [this, selection_changed] {
        app::channel_plus(station_);
        selection_changed();
    });
    for (int i = 0; i < 4; ++i) {
        connect(chp_[i], &ChartView::clicked, this, [this, i] {
            app::chart_clicked(station_, i);
            show_selected_channel();
        });
        connect(chp_[i], &ChartView::double_clicked, this,
                [this, i] { app::chart_double_clicked(station_, i); });
    }
    connect(chzoom_, &ChartView::clicked, this, [this] { app::zoom_chart_clicked(station_); });

    connect(sps_select_, &QComboBox::activated, this,
            [this](int index) { app::rate_changed(station_, index); });
    connect(axis_select_, &QComboBox::activated, this,
            [this](int index) { app::axis_changed(station_, index); });
    connect(extension_, &QLineEdit::editingFinished, this, [this] {
        show_text(extension_, app::store_extension(station_, std_text(extension_->text())));
    });
    connect(dc_offset_, &QLineEdit::editingFinished, this, [this] {
        show_text(dc_offset_, app::store_dc_offset(station_, std_text(dc_offset_->text())));
    });
    connect(alarm_soglia_, &QLineEdit::editingFinished, this, [this] {
        show_text(alarm_soglia_,
                  app::store_alarm_threshold(station_, std_text(alarm_soglia_->text())));
    });
    connect(y_scale_, &QScrollBar::valueChanged, this, [this](int value) {
        yscale_->setText(qt_text(app::store_y_scale(station_, value)));
    });

    const std::pair<QCheckBox*, app::ChannelFlag> flags[] = {
        {ch_enabled_, app::ChannelFlag::record_enabled},
        {alarm_, app::ChannelFlag::alarm_enabled},
        {logging_, app::ChannelFlag::logging_enabled},
        {all_trigger_, app::ChannelFlag::extend_trigger},
        {drum_, app::ChannelFlag::drum_enabled},
        {hide_drum_, app::ChannelFlag::drum_hidden},
        {fft_enabled_, app::ChannelFlag::fft_enabled},
        {invert_data_, app::ChannelFlag::invert},
        {auto_offset_, app::ChannelFlag::auto_offset},
    };
    for (const auto& [box, flag] : flags) {
        connect(box, &QCheckBox::clicked, this,
                [this, flag = flag](bool checked) { app::store_channel_flag(station_, flag, checked); });
    }
    connect(zallch_, &QCheckBox::clicked, this,
            [this](bool checked) { app::store_y_scale_all_channels(station_, checked); });
    connect(nocharting_, &QCheckBox::clicked, this,
            [this](bool checked) { app::store_no_charts(station_, checked); });
    connect(chartspeed1_, &QScrollBar::valueChanged, this, [this](int value) {
        app::store_chart_speed(station_, value);
        chartspeed_value_->setText(QString::number(value));
    });

    const std::pair<QLineEdit*, app::StationText> texts[] = {
        {elevation_, app::StationText::elevation},
        {location_, app::StationText::location},
        {coordinates_, app::StationText::coordinates},
    };
    for (const auto& [field, which] : texts) {
        connect(field, &QLineEdit::textEdited, this, [this, which = which](const QString& text) {
            app::store_station_text(station_, which, std_text(text));
        });
    }

    connect(badrx_, &ClickableLabel::clicked, this, [this] { app::reset_bad_packet_count(station_); });
    connect(save_, &QPushButton::clicked, this, [this] { station_.save_settings(); });
    connect(exit_, &QPushButton::clicked, this, [this] {
        // Ends at once: nothing is saved and nothing is asked.
        if (station_.io.serial.is_open()) station_.io.serial.close();
        quit_();
    });
    connect(events_, &QPushButton::clicked, this, &MainWindow::open_event_list);
    connect(load_logo_, &QPushButton::clicked, this, &MainWindow::open_logo);
    connect(timeset_, &QPushButton::clicked, this, &MainWindow::open_settime);
    connect(start_, &QPushButton::clicked, this, [this] {
        app::start_acquisition(station_);
        show_selected_channel();
    });
    connect(stop_, &QPushButton::clicked, this, [this] { app::stop_acquisition(station_); });
    for (int i = 0; i < 4; ++i) {
        connect(man_record_[i], &QPushButton::clicked, this, [this, i] {
            station_.recorder.manual_record(i + 1, station_.run_flags.acquisition_running == 1);
        });
    }
    // A manual stop switched the channel's recording off: its box follows.
    station_.recorder.on_record_disabled = [this](int channel) {
        if (channel == station_.selected_channel) show_selected_channel();
    };
    connect(ch_review_, &QPushButton::clicked, this, &MainWindow::open_review);
    connect(set_triggers_, &QPushButton::clicked, this, &MainWindow::open_trigger_panel);
    connect(active_, &QPushButton::clicked, this, &MainWindow::open_hardware_setup);
}

void MainWindow::show_selected_channel() {
    const app::ChannelView v = app::channel_view(station_);
    ch_selected_->setText(QString::number(v.channel));
    {
        const QSignalBlocker b1(sps_select_), b2(axis_select_), b3(y_scale_);
        sps_select_->setCurrentIndex(v.sps_index);
        axis_select_->setCurrentIndex(v.axis_index);
        y_scale_->setValue(v.y_scale);
    }
    yscale_->setText(qt_text(v.yscale));
    show_text(dc_offset_, v.dc_offset);
    show_text(alarm_soglia_, v.alarm_soglia);
    show_text(extension_, v.extension);
    show_checked(ch_enabled_, v.ch_enabled);
    show_checked(alarm_, v.alarm);
    show_checked(logging_, v.logging);
    show_checked(all_trigger_, v.all_trigger);
    show_checked(drum_, v.drum);
    show_checked(hide_drum_, v.hide_drum);
    show_checked(fft_enabled_, v.fft_enabled);
    show_checked(invert_data_, v.invert_data);
    show_checked(auto_offset_, v.auto_offset);
    // An open trigger panel shows the selected channel too.
    station_.trigger_panel.follow_selected_channel();
}

void MainWindow::show_general_settings() {
    const app::GeneralView g = app::general_view(station_);
    show_text(elevation_, g.elevation);
    show_text(location_, g.location);
    show_text(coordinates_, g.coordinates);
    {
        const QSignalBlocker block(chartspeed1_);
        chartspeed1_->setValue(g.chart_speed);
    }
    chartspeed_value_->setText(QString::number(g.chart_speed));
    show_checked(zallch_, g.zallch);
    show_checked(nocharting_, g.nocharting);
}

void MainWindow::render_panel() {
    const auto& m = station_.panel;
    // The title carries the board and the free disk space.
    const QString title = qt_text(m.title);
    if (windowTitle() != title) setWindowTitle(title);
    if (title_->text() != title) title_->setText(title);
    for (int i = 0; i < 4; ++i) {
        // The model may change with every sample: touch only what changed.
        ch_val_[i]->setText(qt_text(m.ch_val[i]));
        const QColor back =
            m.ch_val_color[i] != 0 ? QColor(QRgb(m.ch_val_color[i])) : palette_color(7);
        if (ch_val_[i]->palette().color(QPalette::Window) != back) {
            QPalette pal = ch_val_[i]->palette();
            pal.setColor(QPalette::Window, back);
            pal.setColor(QPalette::WindowText, Qt::black);
            ch_val_[i]->setPalette(pal);
        }
        man_record_[i]->setText(qt_text(m.man_record[i]));
    }
    badrx_->setText(qt_text(m.badrx));
    true_sps_->setText(qt_text(m.true_sps));
    show_text(utc_clock_, m.utc_clock);
    realtime_->setText(qt_text(m.realtime));
    lbl_service_->setText(qt_text(m.lbl_service));
    lbl_service_->setVisible(m.lbl_service_visible);
    donothing_->setText(qt_text(m.donothing));
    feed_status_->setText(qt_text(m.feed_status));
    feed_status_->setVisible(!m.feed_status.empty());
    const QString feed_style = m.feed_status.starts_with("DataLink down") ? "color: #b00000;" : "";
    if (feed_status_->styleSheet() != feed_style) feed_status_->setStyleSheet(feed_style);
    start_->setEnabled(m.start_enabled);
    stop_->setEnabled(m.stop_enabled);
    exit_->setEnabled(m.exit_enabled);
    event_indicator_->set_color(m.event_indicator_color);
    bufferload_->set_load(m.buffer_fill, m.buffer_size, m.buffer_color);
    const app::PanelLock lock = app::panel_lock(station_);
    logging_->setEnabled(lock.logging);
    sps_select_->setEnabled(lock.sps_select);
}

void MainWindow::apply_lock() {
    const app::PanelLock lock = app::panel_lock(station_);
    const bool on = lock.settings_controls;
    for (QWidget* w : std::initializer_list<QWidget*>{
             all_trigger_, axis_select_, ch_review_, ch_enabled_, dc_offset_, drum_, elevation_,
             extension_, location_, coordinates_, invert_data_}) {
        w->setEnabled(on);
    }
    for (auto* b : man_record_) b->setEnabled(on);
    logging_->setEnabled(lock.logging);
    sps_select_->setEnabled(lock.sps_select);
}

void MainWindow::attach_charts() {
    // The chart logic draws on the views' pictures; each view shows its own
    // at the pacer's rate and is laid out again when its size changes.
    std::array<ChartView*, 5> views{chp_[0], chp_[1], chp_[2], chp_[3], chzoom_};
    for (int chart = 0; chart <= display::LiveCharts::zoom_chart; ++chart) {
        ChartView* view = views[static_cast<std::size_t>(chart)];
        station_.charts.attach(chart, &view->canvas());
        connect(view, &ChartView::resized, this, [this, chart] { station_.charts.lay_out(chart); });
        chart_pacer_.add(view);
    }
    station_.charts.changed = [this] { chart_pacer_.poke(); };
    station_.charts.zoom_changed = [this] { show_zoom(); };
    station_.drums.changed = [this](int channel) { drum_changed(channel); };
}

void MainWindow::drum_changed(int channel) {
    DrumWindow*& window = drum_windows_.at(static_cast<std::size_t>(channel - 1));
    if (!window) {
        if (!station_.drums.view(channel).shown) return;
        window = new DrumWindow(station_.drums, channel, this);
        window->move(pos() + QPoint(40 * channel, 40 * channel));
    }
    window->follow();
}

void MainWindow::show_zoom() {
    const bool zoomed = station_.charts.zoom_channel() != 0;
    for (auto* chart : chp_) {
        chart->setVisible(!zoomed);
        chart->setEnabled(!zoomed);
    }
    chzoom_->setVisible(zoomed);
    chzoom_->setEnabled(zoomed);
    if (zoomed) chzoom_->set_caption(QStringLiteral("ZOOM  CH %1").arg(station_.charts.zoom_channel()));
}

void MainWindow::open_event_list() {
    if (!event_window_) event_window_ = new EventListWindow(station_, this);
    event_window_->show();
    event_window_->raise();
    event_window_->activateWindow();
}

void MainWindow::open_settime() {
    if (!settime_window_) settime_window_ = new SettimeWindow(station_.time_setting, this);
    settime_window_->show();
    settime_window_->raise();
    settime_window_->activateWindow();
}

void MainWindow::open_spectrum() {
    if (!spectrum_window_) spectrum_window_ = new SpectrumWindow(station_.spectrum, this);
    spectrum_window_->show();
}

void MainWindow::open_trimming() {
    if (!trimming_window_) trimming_window_ = new TrimmingWindow(station_.trimming, this);
    trimming_window_->show();
    trimming_window_->raise();
    trimming_window_->activateWindow();
}

void MainWindow::open_review() {
    if (!review_window_) review_window_ = new ReviewWindow(station_, this);
    review_window_->show();
    review_window_->raise();
    review_window_->activateWindow();
}

void MainWindow::open_trigger_panel() {
    if (!trigger_window_) {
        // The panel's own minus and plus buttons step this window's selector.
        trigger_window_ = new TriggerPanelWindow(
            station_.trigger_panel,
            [this](int step) {
                if (step < 0) {
                    app::channel_minus(station_);
                } else {
                    app::channel_plus(station_);
                }
                show_selected_channel();
            },
            this);
    }
    trigger_window_->show();
    trigger_window_->raise();
    trigger_window_->activateWindow();
}

void MainWindow::open_hardware_setup() {
    if (!setup_window_) {
        setup_window_ = new HardwareSetupWindow(station_.hardware_setup, this);
        connect(setup_window_, &HardwareSetupWindow::applied, this, [this] {
            show_selected_channel();
            apply_lock();
        });
    }
    setup_window_->show();
    setup_window_->raise();
    setup_window_->activateWindow();
}

void MainWindow::open_logo() {
    auto* logo = new LogoWindow(station_, this);
    logo->setAttribute(Qt::WA_DeleteOnClose);
    logo->show();
}

bool MainWindow::event(QEvent* event) {
    if (event->type() == QEvent::WindowActivate) {
        show_selected_channel();
        apply_lock();
    }
    return QWidget::event(event);
}

void MainWindow::closeEvent(QCloseEvent* event) {
    event->accept();
    quit_();
}

}  // namespace tw::ui
