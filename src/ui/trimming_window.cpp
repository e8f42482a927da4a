#include "ui/trimming_window.h"

#include "ui/panel_widgets.h"

#include <QCloseEvent>
#include <QFontDatabase>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSignalBlocker>
#include <QVBoxLayout>

namespace tw::ui {

namespace {

// A value display: sunken, monospace, wide enough for a date and time.
QLabel* wide_value_label(const char* name, const char* tip, QWidget* parent) {
    auto* label = value_label(name, tip, parent);
    label->setMinimumWidth(250);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    return label;
}

QPushButton* button(const char* name, const QString& caption, const char* tip, QWidget* parent) {
    auto* b = new QPushButton(caption, parent);
    b->setObjectName(QString::fromLatin1(name));
    b->setToolTip(QString::fromLatin1(tip));
    b->setMinimumWidth(150);
    return b;
}

// List1 follows the model's trace lines, which only grow at the end, lose
// their oldest lines at the front, or are cleared: touch only what changed.
void sync_list(QListWidget* list, const std::deque<std::string>& lines) {
    const int shown = list->count();
    const int total = static_cast<int>(lines.size());
    auto same = [&](int row, int index) {
        return list->item(row)->text() == qt_text(lines[static_cast<std::size_t>(index)]);
    };
    if (total == 0) {
        if (shown > 0) list->clear();
        return;
    }
    // Lines dropped at the front: the first line of the model is further
    // down the list.
    int dropped = 0;
    while (dropped < shown && !same(dropped, 0)) ++dropped;
    const int kept = shown - dropped;
    if (kept <= 0 || kept > total || !same(shown - 1, kept - 1)) {
        list->clear();
        for (const auto& line : lines) list->addItem(qt_text(line));
    } else {
        for (int i = 0; i < dropped; ++i) delete list->takeItem(0);
        for (int i = kept; i < total; ++i) {
            list->addItem(qt_text(lines[static_cast<std::size_t>(i)]));
        }
        if (kept == total && dropped == 0) return;  // nothing new
    }
    list->scrollToBottom();
}

}  // namespace

TrimmingWindow::TrimmingWindow(acquisition::ClockTrimming& trimming, QWidget* parent)
    : QWidget(parent, Qt::Window), trimming_(trimming) {
    using Model = acquisition::TrimmingModel;
    setObjectName("trimming");
    setWindowTitle(QString::fromLatin1(Model::caption.data(), qsizetype(Model::caption.size())));

    // Measurement against the synchronisations.
    auto* measure = new QGroupBox("Measurement (from the synchronisations of the time receiver)",
                                  this);
    auto* mg = new QGridLayout(measure);
    mg->setHorizontalSpacing(10);
    mg->setVerticalSpacing(6);
    firsttime_ = wide_value_label("firsttime", "First synchronisation of the measurement", measure);
    prev_sync_ = wide_value_label("prev_sync", "Latest synchronisation", measure);
    ad_received_ = wide_value_label("ad_received", "Channel 1 samples counted", measure);
    ad_tlapsed_ = wide_value_label("ad_tlapsed", "Seconds elapsed between the synchronisations",
                              measure);
    trimmevery_ = wide_value_label("trimmevery", "One correction every N samples", measure);
    int row = 0;
    mg->addWidget(caption_label("First sync.", measure), row, 0);
    mg->addWidget(firsttime_, row++, 1);
    mg->addWidget(caption_label("Last sync.", measure), row, 0);
    mg->addWidget(prev_sync_, row++, 1);
    mg->addWidget(caption_label("Samples received", measure), row, 0);
    mg->addWidget(ad_received_, row++, 1);
    mg->addWidget(caption_label("Seconds elapsed", measure), row, 0);
    mg->addWidget(ad_tlapsed_, row++, 1);
    mg->addWidget(caption_label("Trim every (N)", measure), row, 0);
    mg->addWidget(trimmevery_, row++, 1);
    mg->setColumnStretch(1, 1);

    // The trimming value: measured or typed, written, cleared or read back.
    auto* eeprom_box = new QGroupBox("EEPROM trimming bytes (addresses 0-8)", this);
    auto* eg = new QGridLayout(eeprom_box);
    eg->setHorizontalSpacing(10);
    eg->setVerticalSpacing(6);
    txt_error_ = new QLineEdit(eeprom_box);
    txt_error_->setObjectName("txt_error");
    txt_error_->setToolTip("Clock error in seconds per day (+ too many samples, - too few)");
    txt_error_->setFont(mono_font());
    dataset_ = wide_value_label("dataset", "EEPROM image to be written", eeprom_box);
    txt_manual_trim_ = new QLineEdit(eeprom_box);
    txt_manual_trim_->setObjectName("txt_manual_trim");
    txt_manual_trim_->setToolTip(
        "Trimming bytes to write: b1 b2 b3 direction, hexadecimal pairs (e.g. C0 A8 00 01)");
    txt_manual_trim_->setFont(mono_font());
    eeprom_ = wide_value_label("eeprom", "EEPROM bytes 0-8 read from the board", eeprom_box);

    set_trim_data_ = button("set_trim_data", "Write value",
                            "Write the measured or typed trimming value", eeprom_box);
    nulltrimm_ = button("nulltrimm", "Null trimming", "Write \"no correction\" (FF FF FF 02)",
                        eeprom_box);
    cmd_manual_trim_ = button("cmd_manual_trim", "Write typed bytes",
                              "Write the four typed trimming bytes", eeprom_box);
    eeread_ = button("eeread", "Read EEPROM", "Read the EEPROM bytes 0-8 from the board",
                     eeprom_box);

    row = 0;
    eg->addWidget(caption_label("Error (s/day)", eeprom_box), row, 0);
    eg->addWidget(txt_error_, row, 1);
    auto* hint = new QLabel("+ board gives too many samples, - too few", eeprom_box);
    hint->setEnabled(false);  // drawn as a quiet note
    eg->addWidget(hint, row++, 2);
    eg->addWidget(caption_label("Image to write", eeprom_box), row, 0);
    eg->addWidget(dataset_, row, 1);
    auto* write_buttons = new QHBoxLayout;
    write_buttons->setSpacing(6);
    write_buttons->addWidget(set_trim_data_);
    write_buttons->addWidget(nulltrimm_);
    eg->addLayout(write_buttons, row++, 2);
    eg->addWidget(caption_label("Manual bytes", eeprom_box), row, 0);
    eg->addWidget(txt_manual_trim_, row, 1);
    eg->addWidget(cmd_manual_trim_, row++, 2, Qt::AlignLeft);
    eg->addWidget(caption_label("EEPROM read", eeprom_box), row, 0);
    eg->addWidget(eeprom_, row, 1);
    eg->addWidget(eeread_, row++, 2, Qt::AlignLeft);
    eg->setColumnStretch(1, 1);

    // The service-mode trace of the event recording.
    auto* trace = new QGroupBox("Event recording trace (service mode; double click clears)", this);
    auto* tg = new QVBoxLayout(trace);
    list1_ = new QListWidget(trace);
    list1_->setObjectName("List1");
    list1_->setToolTip("Trace lines of the event recording; double click to clear");
    list1_->setFont(mono_font());
    list1_->setUniformItemSizes(true);
    list1_->setMinimumHeight(140);
    tg->addWidget(list1_);

    auto* root = new QVBoxLayout(this);
    root->setContentsMargins(12, 12, 12, 12);
    root->setSpacing(10);
    root->addWidget(measure);
    root->addWidget(eeprom_box);
    root->addWidget(trace, 1);

    connect(txt_error_, &QLineEdit::textEdited, this,
            [this](const QString& text) { trimming_.txt_error_changed(std_text(text)); });
    connect(txt_manual_trim_, &QLineEdit::textEdited, this,
            [this](const QString& text) { trimming_.txt_manual_trim_changed(std_text(text)); });
    connect(set_trim_data_, &QPushButton::clicked, this,
            [this] { trimming_.set_trim_data_clicked(); });
    connect(nulltrimm_, &QPushButton::clicked, this, [this] { trimming_.nulltrimm_clicked(); });
    connect(cmd_manual_trim_, &QPushButton::clicked, this,
            [this] { trimming_.cmd_manual_trim_clicked(); });
    connect(eeread_, &QPushButton::clicked, this, [this] { trimming_.eeread_clicked(); });
    connect(list1_, &QListWidget::itemDoubleClicked, this,
            [this] { trimming_.list1_double_clicked(); });

    trimming_.model().changed = [this] { render(); };
    render();
    resize(760, 620);
}

TrimmingWindow::~TrimmingWindow() {
    trimming_.model().changed = nullptr;
    if (trimming_.is_open()) trimming_.unload();
}

void TrimmingWindow::render() {
    const auto& m = trimming_.model();
    show_text(firsttime_, m.firsttime);
    show_text(prev_sync_, m.prev_sync);
    show_text(ad_received_, m.ad_received);
    show_text(ad_tlapsed_, m.ad_tlapsed);
    show_text(trimmevery_, m.trimmevery);
    show_text(dataset_, m.dataset);
    show_text(eeprom_, m.eeprom);
    show_text(txt_error_, m.txt_error);
    show_text(txt_manual_trim_, m.txt_manual_trim);
    sync_list(list1_, m.list1);
}

void TrimmingWindow::showEvent(QShowEvent* event) {
    if (!trimming_.is_open()) trimming_.activate();
    QWidget::showEvent(event);
}

void TrimmingWindow::closeEvent(QCloseEvent* event) {
    if (trimming_.is_open()) trimming_.unload();
    QWidget::closeEvent(event);
}

}  // namespace tw::ui
