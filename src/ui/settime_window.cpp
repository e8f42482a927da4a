#include "ui/settime_window.h"

#include "ui/panel_widgets.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QFocusEvent>
#include <QFontDatabase>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QVBoxLayout>

#include <algorithm>

namespace tw::ui {

using acquisition::SettimeField;
using acquisition::SettimeModel;

namespace {

constexpr int chart_units = static_cast<int>(SettimeModel::chart_minutes);
constexpr int minutes_per_hour = 60;

// The left pixel column of unit x of a picture `units` across and `width`
// pixels wide.
int column_of(int x, int units, int width) {
    return static_cast<int>(static_cast<long long>(x) * width / units);
}

// The hours under the DCF chart: 0 to 24 every 3 hours, at the pixel
// columns of the chart above (same width, same one-pixel frame).
class HourScale : public QWidget {
public:
    explicit HourScale(QWidget* parent) : QWidget(parent) {
        setObjectName("dcfscale");
        setMinimumHeight(fontMetrics().height() + 4);
        setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.setPen(palette().color(QPalette::WindowText));
        const int inner = width() - 2;
        const QFontMetrics metrics = fontMetrics();
        for (int hour = 0; hour <= 24; hour += 3) {
            const int x = 1 + column_of(hour * minutes_per_hour, chart_units, inner);
            p.drawLine(x, 0, x, 3);
            const QString text = QString::number(hour);
            const int w = metrics.horizontalAdvance(text);
            const int left = std::clamp(x - w / 2, 0, width() - w);
            p.drawText(left, 4 + metrics.ascent(), text);
        }
    }
};

}  // namespace

// --- PictureBox -----------------------------------------------------------------

PictureBox::PictureBox(QWidget* parent) : QWidget(parent) {
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

void PictureBox::set_image(QImage image) {
    image_ = std::move(image);
    update();
}

QSize PictureBox::image_size() const { return size().shrunkBy(QMargins(1, 1, 1, 1)); }

void PictureBox::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.drawImage(QPoint(1, 1), image_);
    p.setPen(palette().color(QPalette::Mid));
    p.drawRect(rect().adjusted(0, 0, -1, -1));
}

void PictureBox::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) emit clicked();
    QWidget::mousePressEvent(event);
}

void PictureBox::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    emit resized();
}

// --- Pictures -------------------------------------------------------------------

QImage SettimeWindow::draw_dcf_chart(const ChartMinutes& minutes, QSize size) {
    QImage image(size.expandedTo(QSize(1, 1)), QImage::Format_RGB32);
    image.fill(palette_color(0));
    QPainter p(&image);
    const int w = image.width();
    const int h = image.height();
    // Hour lines, every six hours brighter.
    for (int hour = 1; hour < 24; ++hour) {
        const int x = column_of(hour * minutes_per_hour, chart_units, w);
        p.fillRect(QRect(x, 0, 1, h), hour % 6 == 0 ? QColor(0x60, 0x60, 0x60)
                                                    : QColor(0x30, 0x30, 0x30));
    }
    // A minute is narrower than a pixel on any usual width: each marked
    // minute gets at least one pixel column.
    const QColor mark = palette_color(10);
    for (int m = 0; m < chart_units; ++m) {
        if (minutes[static_cast<std::size_t>(m)] == 0) continue;
        const int left = column_of(m, chart_units, w);
        const int right = std::max(left + 1, column_of(m + 1, chart_units, w));
        p.fillRect(QRect(left, 0, right - left, h), mark);
    }
    return image;
}

QImage SettimeWindow::draw_colour_scale(const std::vector<std::uint32_t>& colours, QSize size) {
    QImage image(size.expandedTo(QSize(1, 1)), QImage::Format_RGB32);
    image.fill(palette_color(7));
    if (colours.empty()) return image;
    QPainter p(&image);
    const int units = static_cast<int>(colours.size());
    for (int x = 0; x < image.width(); ++x) {
        // The values stretched across: 0 at the left, the last at the right.
        const int v = image.width() > 1 ? column_of(x, image.width() - 1, units - 1) : 0;
        p.fillRect(QRect(x, 0, 1, image.height()), QColor(QRgb(colours[std::size_t(v)])));
    }
    return image;
}

// --- Window ---------------------------------------------------------------------

SettimeWindow::SettimeWindow(acquisition::TimeSetting& time_setting, QWidget* parent)
    : QWidget(parent, Qt::Window), time_setting_(time_setting) {
    setObjectName("settime");
    setWindowTitle(latin1(SettimeModel::title));

    auto* top = new QHBoxLayout;
    top->setSpacing(10);
    auto* left = new QVBoxLayout;
    left->setSpacing(10);
    left->addWidget(build_date_time_group());
    left->addWidget(build_source_group(), 1);
    auto* right = new QVBoxLayout;
    right->setSpacing(10);
    right->addWidget(build_clock_group(), 1);
    top->addLayout(left, 1);
    top->addLayout(right, 1);

    auto* root = new QVBoxLayout(this);
    root->setContentsMargins(12, 12, 12, 12);
    root->setSpacing(10);
    root->addLayout(top);
    root->addWidget(build_chart_group());
    root->addWidget(build_colour_group());
    root->addWidget(build_buttons());

    time_setting_.model().changed = [this] { render(); };
    render();
    resize(780, 560);
}

SettimeWindow::~SettimeWindow() {
    time_setting_.model().changed = nullptr;
    if (time_setting_.is_open()) time_setting_.unload();
}

QWidget* SettimeWindow::build_date_time_group() {
    auto* box = new QGroupBox("Date and time to set", this);
    auto* grid = new QGridLayout(box);
    grid->setHorizontalSpacing(10);
    grid->setVerticalSpacing(4);
    struct FieldRow {
        SettimeField which;
        const char* name;
        const char* caption;
        const char* tip;
        int row;
        int column;
    };
    const FieldRow rows[] = {
        {SettimeField::year, "v_year", "YEAR", "Year (1990..2090)", 0, 0},
        {SettimeField::month, "v_month", "MONTH", "Month (1..12)", 0, 1},
        {SettimeField::day, "v_day", "DAY", "Day (01..31)", 0, 2},
        {SettimeField::hours, "v_hours", "HOURS", "Hour (00..23)", 2, 0},
        {SettimeField::minutes, "v_minutes", "MINUTES", "Minute (00..59)", 2, 1},
        {SettimeField::seconds, "v_seconds", "SECONDS", "Second (00..59)", 2, 2},
    };
    const QFont mono = mono_font();
    for (const FieldRow& field : rows) {
        auto* caption = new QLabel(QString::fromLatin1(field.caption), box);
        caption->setAlignment(Qt::AlignCenter);
        auto* edit = named(new QLineEdit(box), field.name, field.tip);
        edit->setFont(mono);
        edit->setAlignment(Qt::AlignCenter);
        edit->setMaxLength(6);
        edit->setMinimumWidth(70);
        grid->addWidget(caption, field.row, field.column);
        grid->addWidget(edit, field.row + 1, field.column);
        fields_[static_cast<std::size_t>(field.which)] = edit;
    }
    for (QLineEdit* edit : fields_) {
        if (!edit) continue;
        edit->installEventFilter(this);
    }
    for (int c = 0; c < 3; ++c) grid->setColumnStretch(c, 1);
    grid->setRowMinimumHeight(2, 24);
    grid->setRowStretch(4, 1);
    return box;
}

QWidget* SettimeWindow::build_source_group() {
    auto* box = new QGroupBox("Time source", this);
    auto* grid = new QGridLayout(box);
    grid->setHorizontalSpacing(10);
    grid->setVerticalSpacing(6);
    option_sync1_ = named(new QRadioButton("DCF77", box), "option_sync1",
                          "DCF77 receiver on the board");
    option_sync2_ = named(new QRadioButton("GPS", box), "option_sync2",
                          "GPS receiver on the board");
    option_group_ = new QButtonGroup(box);
    option_group_->addButton(option_sync1_);
    option_group_->addButton(option_sync2_);
    auto* gmt = named(new QLineEdit(box), "v_gmt",
                      "Time zone correction in hours (-23..+23); with DCF77 one hour more than "
                      "the stored setting");
    gmt->setFont(mono_font());
    gmt->setAlignment(Qt::AlignCenter);
    gmt->setMaxLength(6);
    gmt->setFixedWidth(70);
    gmt->installEventFilter(this);
    fields_[static_cast<std::size_t>(SettimeField::gmt)] = gmt;

    auto* options = new QHBoxLayout;
    options->setSpacing(16);
    options->addWidget(option_sync1_);
    options->addWidget(option_sync2_);
    options->addStretch();
    grid->addWidget(caption_label("Source", box), 0, 0);
    grid->addLayout(options, 0, 1);
    grid->addWidget(caption_label("GMT corr.", box), 1, 0);
    grid->addWidget(gmt, 1, 1, Qt::AlignLeft);
    hour_type_ = value_label("hour_type", "Time sent by the receiver", box);
    lastsync_ = value_label("lastsync", "Last valid synchronisation", box);
    grid->addWidget(caption_label("Time sent", box), 2, 0);
    grid->addWidget(hour_type_, 2, 1);
    grid->addWidget(caption_label("Last sync.", box), 3, 0);
    grid->addWidget(lastsync_, 3, 1);
    grid->setColumnStretch(1, 1);
    grid->setRowStretch(4, 1);

    connect(option_sync1_, &QRadioButton::clicked, this,
            [this] { time_setting_.option_sync_clicked(true); });
    connect(option_sync2_, &QRadioButton::clicked, this,
            [this] { time_setting_.option_sync_clicked(false); });
    return box;
}

QWidget* SettimeWindow::build_clock_group() {
    auto* box = new QGroupBox("Clocks", this);
    auto* grid = new QGridLayout(box);
    grid->setHorizontalSpacing(10);
    grid->setVerticalSpacing(6);
    ad_clock_ = value_label("ad_clock", "Board date and time", box);
    realtime_ = value_label("realtime", "PC date and time", box);
    ad_clock_->setMinimumWidth(230);
    timestatus_ = value_label("timestatus", "Time receiver status", box);
    sync_indicator_ = new Lamp(box);
    sync_indicator_->setObjectName("sync_indicator");
    sync_indicator_->setToolTip("Green in the seconds the board is synchronised");
    auto* status_row = new QHBoxLayout;
    status_row->setSpacing(8);
    status_row->addWidget(timestatus_, 1);
    status_row->addWidget(sync_indicator_);
    grid->addWidget(caption_label("A/D clock", box), 0, 0);
    grid->addWidget(ad_clock_, 0, 1, 1, 2);
    grid->addWidget(caption_label("PC clock", box), 1, 0);
    grid->addWidget(realtime_, 1, 1, 1, 2);
    grid->addWidget(caption_label("Receiver", box), 2, 0);
    grid->addLayout(status_row, 2, 1, 1, 2);

    auto* line = new QFrame(box);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);
    grid->addWidget(line, 3, 0, 1, 3);

    pc_rtc_ = named(new QCheckBox("PC time not sync. from A/D time", box), "pc_rtc",
                    "Leave the PC clock alone: it is not set from the board clock");
    pc_sync_ = named(new QCheckBox("Enable PC to sync. A/D time", box), "pc_sync",
                     "The PC clock sets the board clock periodically");
    sync_every_ = named(new QComboBox(box), "sync_every", "Period of the PC-to-board synchronisation");
    for (auto item : acquisition::sync_every_items) sync_every_->addItem(latin1(item));
    grid->addWidget(pc_rtc_, 4, 0, 1, 3);
    grid->addWidget(pc_sync_, 5, 0, 1, 3);
    grid->addWidget(caption_label("PC sync. A/D every", box), 6, 0, 1, 2);
    grid->addWidget(sync_every_, 6, 2);
    grid->setColumnStretch(2, 1);
    grid->setRowStretch(7, 1);

    connect(pc_rtc_, &QCheckBox::clicked, this,
            [this](bool ticked) { time_setting_.pc_rtc_clicked(ticked); });
    connect(pc_sync_, &QCheckBox::clicked, this,
            [this](bool ticked) { time_setting_.pc_sync_clicked(ticked); });
    connect(sync_every_, &QComboBox::activated, this,
            [this](int index) { time_setting_.sync_every_selected(index); });
    return box;
}

QWidget* SettimeWindow::build_chart_group() {
    auto* box = new QGroupBox("Synchronisations of the day, by minute (click the chart to clear)",
                              this);
    auto* layout = new QVBoxLayout(box);
    layout->setSpacing(2);
    dcfchart_ = named(new PictureBox(box), "dcfchart",
                      "Minutes of the day in which a synchronisation arrived; click to clear");
    dcfchart_->setFixedHeight(30);
    dcfchart_->setCursor(Qt::PointingHandCursor);
    layout->addWidget(dcfchart_);
    layout->addWidget(new HourScale(box));
    connect(dcfchart_, &PictureBox::clicked, this, [this] { time_setting_.dcf_chart_clicked(); });
    connect(dcfchart_, &PictureBox::resized, this, [this] { redraw_chart(); });
    return box;
}

QWidget* SettimeWindow::build_colour_group() {
    auto* box = new QGroupBox("Spectrogram colour scale", this);
    auto* row = new QHBoxLayout(box);
    row->setSpacing(10);
    command1_ = named(new QPushButton("Colour scale", box), "Command1",
                      "Paint the colour scale of the spectrogram, low power at the left");
    picture1_ = named(new PictureBox(box), "Picture1", "Colour scale of the spectrogram");
    picture1_->setFixedHeight(24);
    row->addWidget(command1_);
    row->addWidget(picture1_, 1);
    connect(command1_, &QPushButton::clicked, this, [this] { time_setting_.paint_colour_scale(); });
    connect(picture1_, &PictureBox::resized, this, [this] { redraw_colour_scale(); });
    return box;
}

QWidget* SettimeWindow::build_buttons() {
    auto* bar = new QWidget(this);
    auto* row = new QHBoxLayout(bar);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(8);
    oktimeset_ = named(new QPushButton("SET TIME", bar), "oktimeset",
                       "Set the A/D Time and apply the Settings");
    ok_time_ = named(new QPushButton("OK", bar), "ok_time",
                     "Accept PC-RTC and GMT setting ad close Time Set window");
    notimeset_ = named(new QPushButton("cancel", bar), "notimeset",
                       "Close Time Set window without changes");
    QFont strong = oktimeset_->font();
    strong.setBold(true);
    oktimeset_->setFont(strong);
    for (auto* b : {oktimeset_, ok_time_, notimeset_}) {
        b->setMinimumWidth(110);
        b->setMinimumHeight(30);
    }
    // Leaving without changes checks no field.
    notimeset_->setFocusPolicy(Qt::NoFocus);
    row->addWidget(oktimeset_);
    row->addStretch(1);
    row->addWidget(ok_time_);
    row->addWidget(notimeset_);

    connect(oktimeset_, &QPushButton::clicked, this, [this] {
        if (fields_valid()) time_setting_.set_time_clicked();
    });
    connect(ok_time_, &QPushButton::clicked, this, [this] {
        if (fields_valid()) time_setting_.ok_clicked();
    });
    connect(notimeset_, &QPushButton::clicked, this, [this] { time_setting_.cancel_clicked(); });
    for (std::size_t i = 0; i < fields_.size(); ++i) {
        const auto which = static_cast<SettimeField>(i);
        connect(fields_[i], &QLineEdit::textEdited, this, [this, which](const QString& text) {
            time_setting_.set_field(which, std_text(text));
        });
    }
    return bar;
}

QLineEdit* SettimeWindow::field(SettimeField which) const {
    return fields_[static_cast<std::size_t>(which)];
}

bool SettimeWindow::eventFilter(QObject* watched, QEvent* event) {
    const auto at = std::find(fields_.begin(), fields_.end(), watched);
    if (at != fields_.end()) {
        const auto which = static_cast<SettimeField>(at - fields_.begin());
        if (event->type() == QEvent::FocusOut) {
            // Focus lost to a message box, a menu or another window is not
            // leaving the field.
            const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
            if (reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason &&
                isVisible()) {
                check(which);
            }
        } else if (event->type() == QEvent::KeyPress) {
            const int key = static_cast<QKeyEvent*>(event)->key();
            if (key == Qt::Key_Return || key == Qt::Key_Enter) {
                check(which);
                return true;
            }
        }
    }
    return QWidget::eventFilter(watched, event);
}

bool SettimeWindow::check(SettimeField which) {
    // A failed check moves the focus back, which makes another field lose
    // it: that field is not checked then.
    if (checking_) return true;
    checking_ = true;
    const bool valid = time_setting_.check_field(which);
    if (!valid) focus_failed_field();
    checking_ = false;
    return valid;
}

void SettimeWindow::focus_failed_field() {
    if (const auto focus = time_setting_.model().focus) {
        QLineEdit* edit = field(*focus);
        edit->setFocus(Qt::OtherFocusReason);
        edit->selectAll();
    }
}

bool SettimeWindow::fields_valid() {
    // Pressing the button has just checked the field it took the focus
    // from: a field still failing has shown its message already.
    if (time_setting_.model().focus) {
        focus_failed_field();
        return false;
    }
    for (std::size_t i = 0; i < fields_.size(); ++i) {
        if (!check(static_cast<SettimeField>(i))) return false;
    }
    return true;
}

void SettimeWindow::render() {
    const SettimeModel& m = time_setting_.model();
    show_text(field(SettimeField::year), m.v_year);
    show_text(field(SettimeField::month), m.v_month);
    show_text(field(SettimeField::day), m.v_day);
    show_text(field(SettimeField::hours), m.v_hours);
    show_text(field(SettimeField::minutes), m.v_minutes);
    show_text(field(SettimeField::seconds), m.v_seconds);
    show_text(field(SettimeField::gmt), m.v_gmt);

    show_checked(option_sync1_, m.option_sync1);
    show_checked(option_sync2_, !m.option_sync1);
    option_sync1_->setEnabled(m.option_sync_enabled);
    option_sync2_->setEnabled(m.option_sync_enabled);
    show_checked(pc_rtc_, m.pc_rtc);
    show_checked(pc_sync_, m.pc_sync);
    pc_rtc_->setEnabled(m.pc_rtc_enabled);
    pc_sync_->setEnabled(m.pc_sync_enabled);
    if (sync_every_->currentIndex() != m.sync_every) {
        const QSignalBlocker block(sync_every_);
        sync_every_->setCurrentIndex(m.sync_every);
    }
    sync_every_->setEnabled(m.sync_every_enabled);

    show_text(ad_clock_, m.ad_clock);
    show_text(realtime_, m.realtime);
    show_text(timestatus_, m.timestatus);
    show_text(lastsync_, m.lastsync);
    show_text(hour_type_, m.hour_type);
    sync_indicator_->set_color(m.sync_indicator_colour);

    if (m.dcf_chart != chart_drawn_ || dcfchart_->image().size() != dcfchart_->image_size()) {
        redraw_chart();
    }
    if (m.colour_scale != scale_drawn_ ||
        picture1_->image().size() != picture1_->image_size()) {
        redraw_colour_scale();
    }

    if (m.close_requested && isVisible()) close();
}

void SettimeWindow::redraw_chart() {
    chart_drawn_ = time_setting_.model().dcf_chart;
    dcfchart_->set_image(draw_dcf_chart(chart_drawn_, dcfchart_->image_size()));
}

void SettimeWindow::redraw_colour_scale() {
    scale_drawn_ = time_setting_.model().colour_scale;
    picture1_->set_image(draw_colour_scale(scale_drawn_, picture1_->image_size()));
}

void SettimeWindow::showEvent(QShowEvent* event) {
    if (!time_setting_.is_open()) time_setting_.activate();
    QWidget::showEvent(event);
}

void SettimeWindow::closeEvent(QCloseEvent* event) {
    if (time_setting_.is_open()) time_setting_.unload();
    QWidget::closeEvent(event);
}

}  // namespace tw::ui
