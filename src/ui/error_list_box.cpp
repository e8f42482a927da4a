#include "ui/error_list_box.h"

#include "app/station.h"
#include "ui/panel_widgets.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

namespace tw::ui {

ErrorListBox::ErrorListBox(app::Station& station, QWidget* parent)
    : QWidget(parent, Qt::Window), station_(station), quit_([] { QCoreApplication::quit(); }) {
    setObjectName("boxerrori");
    setWindowTitle("TERRAWAVE - Run-time errors");

    auto* heading = new QLabel(
        "Run-time errors, newest last (at most 14). Hold stops the program at the next report.",
        this);
    heading->setWordWrap(true);

    errorlist_ = new QListWidget(this);
    errorlist_->setObjectName("errorlist");
    errorlist_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    errorlist_->setSelectionMode(QAbstractItemView::NoSelection);
    errorlist_->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    errorlist_->setMinimumSize(760, 280);

    auto* restart = named_button(this, "restart", "Continue", "Go on after each report");
    auto* hold = named_button(this, "break", "Hold", "Hold the program at the next report");
    auto* wipe = named_button(this, "wiperrors", "Clear list", "Clear the list and restart the count");
    auto* close = named_button(this, "Command1", "Close", "Close this window");
    auto* end = named_button(this, "end_terrawv", "End TERRAWAVE", "Close the port and end the program");

    connect(restart, &QPushButton::clicked, this, [this] { station_.error_report.restart_pressed(); });
    connect(hold, &QPushButton::clicked, this, [this] { station_.error_report.break_pressed(); });
    connect(wipe, &QPushButton::clicked, this, [this] { station_.error_report.wipe_pressed(); });
    connect(close, &QPushButton::clicked, this, [this] { station_.error_report.close_pressed(); });
    connect(end, &QPushButton::clicked, this, [this] {
        if (station_.io.serial.is_open()) station_.io.serial.close();
        // Let a report that holds the program return, then leave.
        station_.error_report.restart_pressed();
        quit_();
    });

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(restart);
    buttons->addWidget(hold);
    buttons->addWidget(wipe);
    buttons->addStretch();
    buttons->addWidget(close);
    buttons->addWidget(end);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(14, 12, 14, 12);
    layout->setSpacing(10);
    layout->addWidget(heading);
    layout->addWidget(errorlist_, 1);
    layout->addLayout(buttons);

    station_.error_report.model().changed = [this] { render(); };
    render();
}

ErrorListBox::~ErrorListBox() { station_.error_report.model().changed = nullptr; }

void ErrorListBox::render() {
    const auto& model = station_.error_report.model_view();
    rendering_ = true;
    errorlist_->clear();
    for (const auto& line : model.lines) errorlist_->addItem(qt_text(line));
    if (errorlist_->count() > 0) errorlist_->scrollToItem(errorlist_->item(errorlist_->count() - 1));
    if (model.visible && !isVisible()) {
        show();
        raise();
    } else if (!model.visible && isVisible()) {
        hide();
    }
    rendering_ = false;
}

void ErrorListBox::closeEvent(QCloseEvent* event) {
    // The window's own close button: the box is gone until the next report.
    if (!rendering_) station_.error_report.box_closed();
    QWidget::closeEvent(event);
}

}  // namespace tw::ui
