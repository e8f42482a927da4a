#include "ui/warning_box.h"

#include "ui/panel_widgets.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

namespace tw::ui {

WarningBox::WarningBox(QWidget* parent) : QDialog(parent) {
    setObjectName("warnbox");
    setWindowTitle("Warning!");
    auto* icon = new QLabel(this);
    const int side = style()->pixelMetric(QStyle::PM_MessageBoxIconSize, nullptr, this);
    icon->setPixmap(style()->standardIcon(QStyle::SP_MessageBoxWarning).pixmap(side, side));
    icon->setAlignment(Qt::AlignTop);
    warntext_ = new QLabel(this);
    warntext_->setObjectName("warntext");
    warntext_->setTextFormat(Qt::PlainText);
    warntext_->setWordWrap(true);
    warntext_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    warntext_->setMinimumWidth(420);
    warntext_->setMaximumWidth(640);
    warnok_ = new QPushButton("OK", this);
    warnok_->setObjectName("warnok");
    warnok_->setDefault(true);
    warnok_->setMinimumWidth(96);
    connect(warnok_, &QPushButton::clicked, this, &QDialog::accept);

    auto* text_row = new QHBoxLayout;
    text_row->setSpacing(16);
    text_row->addWidget(icon);
    text_row->addWidget(warntext_, 1);
    auto* button_row = new QHBoxLayout;
    button_row->addStretch();
    button_row->addWidget(warnok_);
    button_row->addStretch();
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(20, 20, 20, 16);
    layout->setSpacing(16);
    layout->addLayout(text_row);
    layout->addLayout(button_row);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

void WarningBox::set_text(const std::string& text) { warntext_->setText(qt_text(text)); }

QString WarningBox::text() const { return warntext_->text(); }

bool WarningBox::event(QEvent* event) {
    if (event->type() == QEvent::WindowActivate) {
        was_active_ = true;
    } else if (event->type() == QEvent::WindowDeactivate && was_active_ && isVisible()) {
        // Lost the focus: the warning has been seen.
        was_active_ = false;
        reject();
    }
    return QDialog::event(event);
}

}  // namespace tw::ui
