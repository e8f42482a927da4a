#include "ui/hardware_setup_window.h"

#include "config/tables.h"
#include "ui/panel_widgets.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace tw::ui {

using acquisition::HardwareSetupModel;
using acquisition::SetupField;
using acquisition::SetupFlag;
using acquisition::SetupList;

namespace {

template <typename T>
constexpr std::size_t at(T which) {
    return static_cast<std::size_t>(which);
}

QGroupBox* frame(const char* title, QWidget* parent) {
    return new QGroupBox(QString::fromLatin1(title), parent);
}

QGridLayout* grid_of(QGroupBox* box) {
    auto* grid = new QGridLayout(box);
    grid->setHorizontalSpacing(8);
    grid->setVerticalSpacing(5);
    return grid;
}

}  // namespace

HardwareSetupWindow::HardwareSetupWindow(acquisition::HardwareSetup& setup, QWidget* parent)
    : QWidget(parent, Qt::Window), setup_(setup) {
    setObjectName("actions");
    setWindowTitle(latin1(HardwareSetupModel::title));

    auto* frames = new QGridLayout;
    frames->setHorizontalSpacing(12);
    frames->setVerticalSpacing(10);
    frames->addWidget(build_interface_group(), 0, 0);
    frames->addWidget(build_reliability_group(), 0, 1);
    frames->addWidget(build_quake_group(), 1, 0);
    frames->addWidget(build_datalog_group(), 1, 1);
    frames->setColumnStretch(0, 1);
    frames->setColumnStretch(1, 1);

    auto* root = new QVBoxLayout(this);
    root->setContentsMargins(12, 12, 12, 12);
    root->setSpacing(10);
    root->addLayout(frames, 1);
    root->addWidget(build_buttons());

    setup_.model().changed = [this] { render(); };
    render();
    resize(sizeHint().expandedTo(QSize(900, 0)));
}

HardwareSetupWindow::~HardwareSetupWindow() {
    show_busy(false);
    setup_.model().changed = nullptr;
    if (setup_.is_open()) setup_.unload();
}

QCheckBox* HardwareSetupWindow::make_flag(SetupFlag which, const char* name, const char* caption,
                                          const char* tip, QWidget* parent) {
    auto* box = named(new QCheckBox(QString::fromLatin1(caption), parent), name, tip);
    flags_[at(which)] = box;
    connect(box, &QCheckBox::clicked, this,
            [this, which](bool checked) { setup_.set_flag(which, checked); });
    return box;
}

QComboBox* HardwareSetupWindow::make_list(SetupList which, const char* name, const char* tip,
                                          QWidget* parent) {
    auto* list = named(new QComboBox(parent), name, tip);
    lists_[at(which)] = list;
    connect(list, &QComboBox::activated, this,
            [this, which](int index) { setup_.set_list(which, index); });
    return list;
}

QLineEdit* HardwareSetupWindow::make_field(SetupField which, const char* name, const char* tip,
                                           QWidget* parent) {
    auto* edit = named(new QLineEdit(parent), name, tip);
    fields_[at(which)] = edit;
    connect(edit, &QLineEdit::textEdited, this,
            [this, which](const QString& text) { setup_.set_field(which, std_text(text)); });
    connect(edit, &QLineEdit::editingFinished, this, [this, which] { setup_.leave_field(which); });
    return edit;
}

QWidget* HardwareSetupWindow::build_interface_group() {
    QGroupBox* box = frame("A/D Interface", this);
    QGridLayout* grid = grid_of(box);
    QComboBox* comm = make_list(SetupList::comm_port, "comm_port",
                                "Serial port of the board (used from the next start)", box);
    for (auto item : config::comm_ports) comm->addItem(latin1(item));
    QComboBox* type = make_list(SetupList::ad_type, "ad_type", "Board family", box);
    for (auto item : config::board_types) type->addItem(latin1(item));
    QLineEdit* base = make_field(SetupField::txt_ad_base, "txt_ad_base",
                                 "Base address of the board interface", box);
    base->setReadOnly(true);
    base->setFocusPolicy(Qt::NoFocus);
    base->setMaximumWidth(80);
    lbl_serial_ = value_label("lbl_serial", "Serial number of the board (first four digits)", box);
    lbl_serial_->setMinimumWidth(70);
    int row = 0;
    grid->addWidget(caption_label("Comm port", box), row, 0);
    grid->addWidget(comm, row++, 1, 1, 3);
    grid->addWidget(caption_label("A/D type", box), row, 0);
    grid->addWidget(type, row++, 1, 1, 3);
    grid->addWidget(caption_label("Base address", box), row, 0);
    grid->addWidget(base, row, 1);
    grid->addWidget(caption_label("Serial", box), row, 2);
    grid->addWidget(lbl_serial_, row++, 3);

    auto* trim = new QHBoxLayout;
    trim->setSpacing(4);
    const char* const trim_tips[] = {"Low byte of the correction period (hexadecimal)",
                                     "Middle byte of the correction period (hexadecimal)",
                                     "High byte of the correction period (hexadecimal)",
                                     "Mode: 01 positive, 00 negative, 02 no correction"};
    for (std::size_t i = 0; i < 4; ++i) {
        const QByteArray name = QStringLiteral("txt_trim%1").arg(i).toLatin1();
        QLineEdit* edit = make_field(static_cast<SetupField>(at(SetupField::trim_0) + i),
                                     name.constData(), trim_tips[i], box);
        edit->setFont(mono_font());
        edit->setMaxLength(2);
        edit->setAlignment(Qt::AlignCenter);
        edit->setFixedWidth(40);
        trim->addWidget(edit);
    }
    trim->addStretch(1);
    cmd_read_ = named_button(box, "cmd_read", "Read", "Read the calibration from the board");
    cmd_write_ = named_button(box, "cmd_write", "Write", "Write the calibration into the board");
    for (auto* b : {cmd_read_, cmd_write_}) b->setMinimumWidth(90);
    trim->addWidget(cmd_read_);
    trim->addWidget(cmd_write_);
    grid->addWidget(caption_label("Clock calibration", box), row, 0);
    grid->addLayout(trim, row++, 1, 1, 3);

    QLineEdit* error = make_field(SetupField::txt_error, "txt_error",
                                  "Clock error in seconds per day; Enter fills the calibration", box);
    error->setFont(mono_font());
    error->installEventFilter(this);
    grid->addWidget(caption_label("Clock error", box), row, 0);
    grid->addWidget(error, row, 1, 1, 2);
    grid->addWidget(new QLabel("s/day ->", box), row++, 3);
    grid->addWidget(make_flag(SetupFlag::no_ver_warn, "no_ver_warn",
                              "No version and date/time warnings",
                              "No firmware version and date format warnings at start", box),
                    row++, 0, 1, 4);
    grid->setColumnStretch(1, 1);
    grid->setRowStretch(row, 1);

    connect(cmd_read_, &QPushButton::clicked, this, [this] { setup_.read_calibration_clicked(); });
    connect(cmd_write_, &QPushButton::clicked, this, [this] { setup_.write_calibration_clicked(); });
    return box;
}

QWidget* HardwareSetupWindow::build_reliability_group() {
    QGroupBox* box = frame("Hardware && Reliability", this);
    QGridLayout* grid = grid_of(box);
    QComboBox* lpt = make_list(SetupList::lptx, "lptx", "Parallel port of the watchdog and alarm bits", box);
    for (auto item : config::lpt_ports) lpt->addItem(latin1(item));
    watch_dog_bit_ = named(new Lamp(box), "watch_dog_bit", "Bit 0 of the parallel port (green: set)");
    alarm_bit_ = named(new Lamp(box), "alarm_bit", "Bit 1 of the parallel port (green: set)");
    QLineEdit* period = make_field(SetupField::wd_timer, "wd_timer",
                                   "Seconds between two watchdog pulses (5..999)", box);
    period->setMaximumWidth(80);
    int row = 0;
    grid->addWidget(caption_label("Parallel port", box), row, 0);
    grid->addWidget(lpt, row++, 1, 1, 2);
    grid->addWidget(make_flag(SetupFlag::wd_enabled, "wd_enabled",
                              "Watch dog timer Pulse on BIT0 LPTx",
                              "Pulse bit 0 of the parallel port while the program runs", box),
                    row, 0, 1, 2);
    grid->addWidget(watch_dog_bit_, row++, 2, Qt::AlignRight);
    grid->addWidget(caption_label("Period of watch-dog refresh", box), row, 0);
    auto* period_row = new QHBoxLayout;
    period_row->setSpacing(6);
    period_row->addWidget(period);
    period_row->addWidget(new QLabel("s", box));
    period_row->addStretch(1);
    grid->addLayout(period_row, row++, 1, 1, 2);
    grid->addWidget(make_flag(SetupFlag::hw_alarm, "hw_alarm", "Hardware alarm on BIT1 LPTx",
                              "Set bit 1 of the parallel port on an alarm", box),
                    row, 0, 1, 2);
    grid->addWidget(alarm_bit_, row++, 2, Qt::AlignRight);
    grid->addWidget(make_flag(SetupFlag::alarm_on_L2, "alarm_on_L2",
                              "Alarm React on L2 state LOW (true)",
                              "The hardware alarm also follows input line L2 of the board", box),
                    row++, 0, 1, 3);
    grid->addWidget(make_flag(SetupFlag::alarm_on_events, "alarm_on_events",
                              "Alarm on events Event List",
                              "The hardware alarm also reacts to a listed event", box),
                    row++, 0, 1, 3);
    grid->addWidget(make_flag(SetupFlag::use_twarden, "use_twarden", "Companion watchdog program",
                              "Start the companion watchdog program and keep its heartbeat file",
                              box),
                    row++, 0, 1, 3);
    grid->addWidget(make_flag(SetupFlag::chk_debug, "chk_debug", "Service mode",
                              "Errors surface and diagnostic lines are kept", box),
                    row, 0);
    grid->addWidget(make_flag(SetupFlag::lock_settings, "lock_settings", "Lock settings",
                              "Guard the settings against changes by mistake; unlocking asks "
                              "for the password",
                              box),
                    row++, 1, 1, 2);
    grid->setColumnStretch(1, 1);
    grid->setRowStretch(row, 1);
    return box;
}

QWidget* HardwareSetupWindow::build_quake_group() {
    QGroupBox* box = frame("On Quake Automation", this);
    QGridLayout* grid = grid_of(box);
    int row = 0;
    grid->addWidget(make_flag(SetupFlag::alarm_wav, "alarm_wav", "On Alarm use \"alarm.wav\"",
                              "Play alarm.wav of the station folder instead of the PC speaker", box),
                    row++, 0, 1, 2);
    grid->addWidget(make_flag(SetupFlag::print_quake, "print_quake", "Print quake report",
                              "Print each event summary", box),
                    row++, 0, 1, 2);
    grid->addWidget(make_flag(SetupFlag::send_sms, "send_sms", "Generates SMS command file",
                              "One line per quake in sendsms.txt", box),
                    row++, 0, 1, 2);
    grid->addWidget(make_flag(SetupFlag::send_mail, "send_mail", "Generates EMAIL command file",
                              "One line per quake in sendmail.txt", box),
                    row++, 0, 1, 2);
    QLineEdit* folder = make_field(SetupField::events_folder, "events_folder",
                                   "Folder of the event files; double click: the station's own",
                                   box);
    folder->installEventFilter(this);
    folder->setMinimumWidth(260);
    grid->addWidget(caption_label("Events folder", box), row, 0);
    grid->addWidget(folder, row++, 1);
    grid->addWidget(caption_label("Event browser", box), row, 0);
    grid->addWidget(make_field(SetupField::events_browser, "events_browser",
                               "Program that shows an event file", box),
                    row++, 1);
    grid->setColumnStretch(1, 1);
    grid->setRowStretch(row, 1);
    return box;
}

QWidget* HardwareSetupWindow::build_datalog_group() {
    QGroupBox* box = frame("Datalog and drums automations", this);
    QGridLayout* grid = grid_of(box);
    QComboBox* format = make_list(SetupList::drum_format, "drum_format", "Format of the drum pictures", box);
    for (auto item : config::drum_formats) format->addItem(latin1(item));
    QComboBox* flush = make_list(SetupList::flush_period, "flush_period",
                                 "How often the day tracks are written to disk", box);
    for (auto item : acquisition::flush_period_items) flush->addItem(latin1(item));
    QComboBox* update = make_list(SetupList::bmp_update, "bmp_update",
                                  "How often the drum pictures are saved", box);
    for (auto item : acquisition::bmp_update_items) update->addItem(latin1(item));
    QLineEdit* hours = make_field(SetupField::drum_columns, "drum_columns",
                                  "Hours per drum row: 2, 3, 4, 6 or 8", box);
    QLineEdit* purge = make_field(SetupField::purge_time, "purge_time",
                                  "Day tracks older than this are deleted (1..360 days)", box);
    for (auto* e : {hours, purge}) e->setMaximumWidth(80);
    int row = 0;
    grid->addWidget(caption_label("Drum pictures", box), row, 0);
    grid->addWidget(format, row++, 1, 1, 2);
    grid->addWidget(caption_label("Flush Buffers every", box), row, 0);
    grid->addWidget(flush, row++, 1, 1, 2);
    grid->addWidget(caption_label("Update BMP every", box), row, 0);
    grid->addWidget(update, row++, 1, 1, 2);
    grid->addWidget(caption_label("Hours per row", box), row, 0);
    grid->addWidget(hours, row++, 1);
    grid->addWidget(make_flag(SetupFlag::never_purge, "never_purge", "Never purge",
                              "Keep every day track", box),
                    row++, 1, 1, 2);
    grid->addWidget(caption_label("Purge Buffers older than", box), row, 0);
    grid->addWidget(purge, row, 1);
    grid->addWidget(new QLabel("days", box), row++, 2);
    grid->setColumnStretch(2, 1);
    grid->setRowStretch(row, 1);
    return box;
}

QWidget* HardwareSetupWindow::build_buttons() {
    auto* bar = new QWidget(this);
    auto* row = new QHBoxLayout(bar);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(8);
    cmd_apply_ = named_button(bar, "cmd_apply", "Apply", "Store the settings of the window");
    cmd_ok_ = named_button(bar, "cmd_ok", "OK", "Apply and close");
    cmd_cancel_ = named_button(bar, "cmd_cancel", "Cancel", "Close without storing");
    for (auto* b : {cmd_apply_, cmd_ok_, cmd_cancel_}) b->setMinimumHeight(30);
    cmd_cancel_->setFocusPolicy(Qt::NoFocus);
    row->addStretch(1);
    row->addWidget(cmd_apply_);
    row->addWidget(cmd_ok_);
    row->addWidget(cmd_cancel_);
    connect(cmd_apply_, &QPushButton::clicked, this, [this] {
        setup_.apply_clicked();
        emit applied();
    });
    connect(cmd_ok_, &QPushButton::clicked, this, [this] {
        setup_.ok_clicked();
        emit applied();
    });
    connect(cmd_cancel_, &QPushButton::clicked, this, [this] { setup_.cancel_clicked(); });
    return bar;
}

void HardwareSetupWindow::render() {
    const HardwareSetupModel& m = setup_.model();
    for (std::size_t i = 0; i < flags_.size(); ++i) {
        show_checked(flags_[i], m.flags[i]);
        flags_[i]->setEnabled(m.enabled(static_cast<SetupFlag>(i)) && !m.busy);
    }
    for (std::size_t i = 0; i < lists_.size(); ++i) {
        show_index(lists_[i], m.lists[i]);
        lists_[i]->setEnabled(m.enabled(static_cast<SetupList>(i)) && !m.busy);
    }
    for (std::size_t i = 0; i < fields_.size(); ++i) {
        show_text(fields_[i], m.fields[i]);
        fields_[i]->setEnabled(m.enabled(static_cast<SetupField>(i)) && !m.busy);
    }
    flags_[at(SetupFlag::lock_settings)]->setEnabled(true);
    show_text(lbl_serial_, m.lbl_serial);
    alarm_bit_->set_color(m.alarm_bit);
    watch_dog_bit_->set_color(m.watch_dog_bit);
    for (QWidget* w : std::initializer_list<QWidget*>{cmd_read_, cmd_write_, cmd_apply_, cmd_ok_}) {
        w->setEnabled(!m.busy);
    }
    show_busy(m.busy);
    if (m.close_requested && isVisible()) close();
}

void HardwareSetupWindow::show_busy(bool busy) {
    if (busy == busy_cursor_) return;
    busy_cursor_ = busy;
    if (busy) {
        QApplication::setOverrideCursor(Qt::WaitCursor);
    } else {
        QApplication::restoreOverrideCursor();
    }
}

bool HardwareSetupWindow::eventFilter(QObject* watched, QEvent* event) {
    if (watched == fields_[at(SetupField::txt_error)] && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            setup_.clock_error_entered();
            return true;
        }
    }
    if (watched == fields_[at(SetupField::events_folder)] &&
        event->type() == QEvent::MouseButtonDblClick) {
        setup_.events_folder_double_clicked();
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

bool HardwareSetupWindow::event(QEvent* event) {
    if (event->type() == QEvent::WindowActivate && setup_.is_open()) setup_.activate();
    return QWidget::event(event);
}

void HardwareSetupWindow::showEvent(QShowEvent* event) {
    if (!setup_.is_open()) {
        setup_.load();
        setup_.activate();
    }
    QWidget::showEvent(event);
}

void HardwareSetupWindow::closeEvent(QCloseEvent* event) {
    if (setup_.is_open()) setup_.unload();
    QWidget::closeEvent(event);
}

}  // namespace tw::ui
