#include "ui/event_list_window.h"

#include "app/panel_actions.h"
#include "app/station.h"
#include "ui/panel_widgets.h"

#include <QCloseEvent>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

namespace tw::ui {

EventListWindow::EventListWindow(app::Station& station, QWidget* parent)
    : QWidget(parent, Qt::Window), station_(station) {
    setObjectName("eventlist");
    setWindowTitle("TERRAWAVE - Event list");

    list_ = new QListWidget(this);
    list_->setObjectName("List1");
    QFont mono = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    list_->setFont(mono);
    list_->setAlternatingRowColors(true);
    list_->setMinimumSize(720, 360);
    list_->setUniformItemSizes(true);

    auto* aggiorna = named_button(this, "aggiorna", "Update list", "Read the list again from the file");
    auto* clear = named_button(this, "delete", "Clear List", "Delete every line of the event list");
    auto* view = named_button(this, "eventview", "File View",
                             "Open the selected event in the event browser (or double click it)");
    auto* cancel = named_button(this, "cancel", "close", "Close this window");

    connect(aggiorna, &QPushButton::clicked, this, &EventListWindow::reload);
    connect(clear, &QPushButton::clicked, this, [this] {
        app::clear_event_list(station_);
        reload();
    });
    connect(view, &QPushButton::clicked, this, &EventListWindow::view_selected);
    connect(list_, &QListWidget::itemDoubleClicked, this, [this] { view_selected(); });
    connect(cancel, &QPushButton::clicked, this, &QWidget::close);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(aggiorna);
    buttons->addWidget(clear);
    buttons->addWidget(view);
    buttons->addStretch();
    buttons->addWidget(cancel);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(12, 12, 12, 12);
    layout->setSpacing(10);
    layout->addWidget(list_, 1);
    layout->addLayout(buttons);
    resize(820, 480);
}

EventListWindow::~EventListWindow() { detach(); }

void EventListWindow::reload() {
    list_->clear();
    for (const auto& line : station_.event_list.read_lines()) list_->addItem(qt_text(line));
    if (list_->count() > 0) {
        list_->setCurrentRow(list_->count() - 1);
        list_->scrollToBottom();
    }
}

void EventListWindow::add_line(const std::string& line) {
    list_->addItem(qt_text(line));
    list_->setCurrentRow(list_->count() - 1);
    list_->scrollToBottom();
}

void EventListWindow::view_selected() {
    const QListWidgetItem* item = list_->currentItem();
    if (!item) return;
    app::view_event(station_, std_text(item->text()));
}

void EventListWindow::showEvent(QShowEvent* event) {
    reload();
    station_.event_list_open = true;
    station_.event_list.set_line_listener([this](const std::string& line) { add_line(line); });
    QWidget::showEvent(event);
}

void EventListWindow::closeEvent(QCloseEvent* event) {
    detach();
    QWidget::closeEvent(event);
}

void EventListWindow::detach() {
    if (!station_.event_list_open) return;
    station_.event_list_open = false;
    station_.event_list.set_line_listener(nullptr);
}

}  // namespace tw::ui
