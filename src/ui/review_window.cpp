#include "ui/review_window.h"

#include "app/extract_command.h"
#include "ui/chart_view.h"
#include "ui/panel_widgets.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QImageReader>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QVBoxLayout>

namespace tw::ui {

namespace {

QScrollBar* scroll_bar(const char* name, const char* tip, int low, int high, QWidget* parent) {
    auto* bar = named(new QScrollBar(Qt::Horizontal, parent), name, tip);
    bar->setRange(low, high);
    bar->setMinimumWidth(160);
    return bar;
}

}  // namespace

// --- DrumPictureWindow ----------------------------------------------------------

DrumPictureWindow::DrumPictureWindow(QWidget* parent) : QWidget(parent, Qt::Window) {
    setObjectName("drum_picture");
    auto* scroll = new QScrollArea(this);
    label_ = new QLabel(scroll);
    scroll->setWidget(label_);
    scroll->setBackgroundRole(QPalette::Dark);
    auto* root = new QVBoxLayout(this);
    root->setContentsMargins(0, 0, 0, 0);
    root->addWidget(scroll);
}

bool DrumPictureWindow::show_picture(int channel, const QString& date, const QString& file,
                                     QString* error) {
    QImageReader reader(file);
    QImage image = reader.read();
    if (image.isNull()) {
        if (error) *error = file + ": " + reader.errorString();
        return false;
    }
    image_ = image;
    label_->setPixmap(QPixmap::fromImage(image_));
    label_->resize(image_.size());
    setWindowTitle(QStringLiteral("Drum CH %1 - %2").arg(channel).arg(date));
    // As large as the picture, up to a screenful; wider drums scroll.
    resize(std::min(image_.width() + 4, 1200), std::min(image_.height() + 4, 850));
    show();
    raise();
    return true;
}

// --- ReviewWindow ---------------------------------------------------------------

ReviewWindow::ReviewWindow(app::Station& station, QWidget* parent)
    : QWidget(parent, Qt::Window), review_(app::review_context(station)) {
    setObjectName("Review");
    setWindowTitle(latin1(datalog::ReviewModel::title));

    auto* folder_row = new QHBoxLayout;
    logpath_ = named(new QLineEdit(this), "logpath",
                     "Folder whose datalog is replayed; double click for the station folder");
    logpath_->installEventFilter(this);
    viewfile_ = named(new QLabel(this), "viewfile", "Day track on screen");
    viewfile_->setMinimumWidth(170);
    folder_row->addWidget(caption_label("Folder", this));
    folder_row->addWidget(logpath_, 1);
    folder_row->addSpacing(10);
    folder_row->addWidget(viewfile_);

    replay_ = named(new ChartView(QString(), this), "replay",
                    "The replay; click to start the next view at the time shown, double click to view from there");
    replay_->setMinimumSize(640, 300);

    auto* times = new QHBoxLayout;
    beg_time_ = value_label("beg_time", "Page start", this);
    cursor_ = value_label("cursor", "Time under the pointer", this);
    end_time_ = value_label("end_time", "Page end", this);
    for (auto* label : {beg_time_, cursor_, end_time_}) label->setMinimumWidth(90);
    times->addWidget(caption_label("Begin", this));
    times->addWidget(beg_time_);
    times->addStretch(1);
    times->addWidget(caption_label("Pointer", this));
    times->addWidget(cursor_);
    times->addStretch(1);
    times->addWidget(caption_label("End", this));
    times->addWidget(end_time_);

    auto* groups = new QHBoxLayout;
    groups->addWidget(build_display_group(), 1);
    groups->addWidget(build_extract_group(), 1);

    notice_ = named(new QLabel(this), "notice", "What the last view or extraction found");
    notice_->setWordWrap(true);
    notice_->setStyleSheet("color: #8a3b00;");
    notice_->setTextInteractionFlags(Qt::TextSelectableByMouse);

    rep_close_ = named_button(this, "rep_close", "Close", "Close the Review window");
    // A list of the day's events can be long: the notice scrolls.
    auto* notice_area = new QScrollArea(this);
    notice_area->setWidget(notice_);
    notice_area->setWidgetResizable(true);
    notice_area->setFrameShape(QFrame::NoFrame);
    notice_area->setMaximumHeight(6 * fontMetrics().lineSpacing());
    notice_area->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(notice_area, 1);
    bottom->addWidget(rep_close_, 0, Qt::AlignBottom);

    auto* root = new QVBoxLayout(this);
    root->setContentsMargins(10, 8, 10, 8);
    root->addLayout(folder_row);
    root->addWidget(build_view_bar());
    root->addWidget(replay_, 1);
    root->addLayout(times);
    root->addLayout(groups);
    root->addLayout(bottom);

    review_.set_pictures(&replay_->canvas(), &picture2_->canvas());
    review_.model().changed = [this] { render(); };
    connect_controls();
    resize(1100, 760);
}

ReviewWindow::~ReviewWindow() {
    review_.model().changed = nullptr;
    review_.set_pictures(nullptr, nullptr);
}

QWidget* ReviewWindow::build_view_bar() {
    auto* bar = new QWidget(this);
    auto* row = new QHBoxLayout(bar);
    row->setContentsMargins(0, 0, 0, 0);
    rep_ch_ = named(new QComboBox(bar), "rep_ch", "Channel to replay");
    for (int k = 1; k <= 4; ++k) rep_ch_->addItem(QStringLiteral("CH %1").arg(k));
    track_review_ = value_label("track_review", "Channel replayed", bar);
    track_review_->setMinimumWidth(30);
    track_review_->setAlignment(Qt::AlignCenter);
    startviewdate_ = named(new QLineEdit(bar), "startviewdate", "Date to view, YYYY/MM/DD");
    startviewtime_ = named(new QLineEdit(bar), "startviewtime", "Time to view, HH:MM:SS");
    startviewdate_->setFont(mono_font());
    startviewtime_->setFont(mono_font());
    startviewdate_->setFixedWidth(110);
    startviewtime_->setFixedWidth(90);
    ok_view_ = named_button(bar, "ok_view", "View", "Replay from the date and time");
    rewind_ = named_button(bar, "rewind", "Rewind", "Back to the date and time entered");
    prevpage_ = named_button(bar, "prevpage", "<< Page", "The page before");
    nextpage_ = named_button(bar, "nextpage", "Page >>", "The next page");
    stop_draw_ = named_button(bar, "stop_draw", "Stop", "Stop drawing");
    cmd_drum_ = named_button(bar, "cmd_drum", "Drum", "The saved drum picture of the channel for the date");
    cmd_events_ = named_button(bar, "cmd_events", "Events",
                               "The events the trigger, as set now, finds in the channel's day");
    for (auto* b : {rewind_, prevpage_, nextpage_, stop_draw_, cmd_drum_, cmd_events_}) b->setMinimumWidth(80);
    row->addWidget(rep_ch_);
    row->addWidget(track_review_);
    row->addSpacing(10);
    row->addWidget(caption_label("Date", bar));
    row->addWidget(startviewdate_);
    row->addWidget(caption_label("Time", bar));
    row->addWidget(startviewtime_);
    row->addSpacing(10);
    for (auto* b : {ok_view_, rewind_, prevpage_, nextpage_, stop_draw_}) row->addWidget(b);
    row->addSpacing(10);
    row->addWidget(cmd_drum_);
    row->addWidget(cmd_events_);
    row->addStretch(1);
    return bar;
}

QWidget* ReviewWindow::build_display_group() {
    auto* box = new QGroupBox("Display", this);
    auto* grid = new QGridLayout(box);
    rep_chart_adj_ = scroll_bar("rep_chart_adj", "Chart speed (50: one sample per unit)", 1, 100, box);
    rep_rows_adj_ = scroll_bar("rep_rows_adj", "Rows per page", 2, 8, box);
    rep_scale_adj_ = scroll_bar("rep_scale_adj", "Y zoom (10: one count per unit)", 1, 100, box);
    rep_chart_ = value_label("rep_chart", "Chart speed; green when samples are compressed", box);
    rep_rows_ = value_label("rep_rows", "Rows per page", box);
    rep_scale_ = value_label("rep_scale", "Y zoom", box);
    rep_chart_->setAutoFillBackground(true);
    const std::pair<const char*, std::pair<QScrollBar*, QLabel*>> rows[] = {
        {"Speed", {rep_chart_adj_, rep_chart_}},
        {"Rows", {rep_rows_adj_, rep_rows_}},
        {"Y zoom", {rep_scale_adj_, rep_scale_}}};
    int r = 0;
    for (const auto& [caption, widgets] : rows) {
        widgets.second->setMinimumWidth(50);
        grid->addWidget(caption_label(caption, box), r, 0);
        grid->addWidget(widgets.first, r, 1);
        grid->addWidget(widgets.second, r, 2);
        ++r;
    }
    return box;
}

QWidget* ReviewWindow::build_extract_group() {
    auto* box = new QGroupBox("Extract event files", this);
    auto* grid = new QGridLayout(box);
    duration_ = named(new QLineEdit(box), "duration", "Minutes to extract from the date and time, 1 to 480");
    duration_->setFixedWidth(60);
    extract_ = named_button(box, "extract", "Extract", "Cut the stretch out of the ticked channels' tracks");
    auto* boxes = new QHBoxLayout;
    for (int k = 0; k < 4; ++k) {
        const QByteArray name = QStringLiteral("chk_extract%1").arg(k + 1).toLatin1();
        chk_extract_[static_cast<std::size_t>(k)] =
            named(new QCheckBox(QStringLiteral("CH %1").arg(k + 1), box), name.constData(),
                  "Extract this channel");
        boxes->addWidget(chk_extract_[static_cast<std::size_t>(k)]);
    }
    picture2_ = named(new ChartView(QString(), box), "Picture2", "Progress of the extraction");
    picture2_->setFixedHeight(14);
    picture2_->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    grid->addWidget(caption_label("Minutes", box), 0, 0);
    grid->addWidget(duration_, 0, 1);
    grid->addLayout(boxes, 0, 2);
    grid->addWidget(extract_, 0, 3);
    grid->addWidget(picture2_, 1, 0, 1, 4);
    return box;
}

void ReviewWindow::connect_controls() {
    connect(logpath_, &QLineEdit::textEdited, this,
            [this](const QString& text) { review_.logpath_edited(std_text(text)); });
    connect(startviewdate_, &QLineEdit::textEdited, this,
            [this](const QString& text) { review_.date_edited(std_text(text)); });
    connect(startviewdate_, &QLineEdit::editingFinished, this, [this] { review_.date_left(); });
    connect(startviewtime_, &QLineEdit::textEdited, this,
            [this](const QString& text) { review_.time_edited(std_text(text)); });
    connect(startviewtime_, &QLineEdit::editingFinished, this, [this] { review_.time_left(); });
    connect(duration_, &QLineEdit::textEdited, this,
            [this](const QString& text) { review_.duration_edited(std_text(text)); });
    connect(duration_, &QLineEdit::editingFinished, this, [this] { review_.duration_left(); });
    connect(rep_ch_, &QComboBox::activated, this, [this](int index) { review_.channel_chosen(index + 1); });
    connect(ok_view_, &QPushButton::clicked, this, [this] { review_.ok_view(); });
    connect(rewind_, &QPushButton::clicked, this, [this] { review_.rewind(); });
    connect(prevpage_, &QPushButton::clicked, this, [this] { review_.prev_page(); });
    connect(nextpage_, &QPushButton::clicked, this, [this] { review_.next_page(); });
    connect(stop_draw_, &QPushButton::clicked, this, [this] { review_.stop_draw(); });
    connect(extract_, &QPushButton::clicked, this, [this] { review_.extract(); });
    connect(cmd_drum_, &QPushButton::clicked, this, &ReviewWindow::show_drum);
    connect(cmd_events_, &QPushButton::clicked, this, [this] { review_.list_events(); });
    connect(rep_close_, &QPushButton::clicked, this, &QWidget::close);
    connect(replay_, &ChartView::moved, this, [this](double x, double y) { review_.pointer_moved(x, y); });
    connect(replay_, &ChartView::clicked, this, [this] { review_.picture_clicked(); });
    connect(replay_, &ChartView::double_clicked, this, [this] { review_.picture_double_clicked(); });
    connect(replay_, &ChartView::resized, this, [this] { review_.redraw(); });
    connect(rep_chart_adj_, &QScrollBar::valueChanged, this, [this](int v) { review_.chart_speed_changed(v); });
    connect(rep_rows_adj_, &QScrollBar::valueChanged, this, [this](int v) { review_.rows_changed(v); });
    connect(rep_scale_adj_, &QScrollBar::valueChanged, this, [this](int v) { review_.zoom_changed(v); });
    for (int k = 0; k < 4; ++k) {
        connect(chk_extract_[static_cast<std::size_t>(k)], &QCheckBox::clicked, this,
                [this, k](bool ticked) { review_.extract_box_clicked(k + 1, ticked); });
    }
}

void ReviewWindow::show_drum() {
    const auto file = review_.drum_clicked();
    if (!file) return;
    const int channel = review_.model().channel;
    DrumPictureWindow*& view = drum_views_.at(static_cast<std::size_t>(channel - 1));
    if (!view) view = new DrumPictureWindow(this);
    QString error;
    if (!view->show_picture(channel, qt_text(review_.model().startviewdate),
                            QString::fromLocal8Bit(file->string().c_str()), &error)) {
        notice_->setText(error);
    }
}

void ReviewWindow::render() {
    const datalog::ReviewModel& m = review_.model();
    show_text(logpath_, m.logpath);
    show_text(viewfile_, m.viewfile);
    show_index(rep_ch_, m.channel - 1);
    show_text(track_review_, std::to_string(m.channel));
    show_text(startviewdate_, m.startviewdate);
    show_text(startviewtime_, m.startviewtime);
    show_text(duration_, m.duration);
    show_text(beg_time_, m.beg_time);
    show_text(cursor_, m.cursor);
    show_text(end_time_, m.end_time);
    const std::pair<QScrollBar*, int> bars[] = {
        {rep_chart_adj_, m.rep_chart_adj}, {rep_rows_adj_, m.rep_rows_adj}, {rep_scale_adj_, m.rep_scale_adj}};
    for (const auto& [bar, value] : bars) {
        const QSignalBlocker block(bar);
        bar->setValue(value);
    }
    rep_chart_->setText(QString::number(m.rep_chart_adj));
    rep_rows_->setText(QString::number(m.rep_rows_adj));
    rep_scale_->setText(QString::number(m.rep_scale_adj));
    QPalette chart_palette = rep_chart_->palette();
    chart_palette.setColor(QPalette::Window,
                           m.rep_chart_green ? palette_color(10) : palette().color(QPalette::Window));
    rep_chart_->setPalette(chart_palette);
    for (int k = 0; k < 4; ++k)
        show_checked(chk_extract_[static_cast<std::size_t>(k)], m.chk_extract[static_cast<std::size_t>(k)]);
    for (QPushButton* b : {ok_view_, rewind_, nextpage_, prevpage_, extract_, rep_close_, cmd_events_})
        b->setEnabled(m.buttons_enabled);
    show_text(notice_, m.notice);
    replay_->update();
    picture2_->update();
}

void ReviewWindow::showEvent(QShowEvent* event) {
    if (!event->spontaneous()) review_.open();
    QWidget::showEvent(event);
}

void ReviewWindow::closeEvent(QCloseEvent* event) {
    // Not while a page is drawn or files are cut.
    if (!review_.model().buttons_enabled) {
        event->ignore();
        return;
    }
    event->accept();
}

bool ReviewWindow::eventFilter(QObject* watched, QEvent* event) {
    if (watched == logpath_ && event->type() == QEvent::MouseButtonDblClick) {
        review_.logpath_double_clicked();
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

}  // namespace tw::ui
