#include "ui/panel_widgets.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QFontDatabase>
#include <QLineEdit>
#include <QSignalBlocker>
#include <QMouseEvent>
#include <QPainter>

#include <algorithm>
#include <array>

namespace tw::ui {

QFont mono_font() { return QFontDatabase::systemFont(QFontDatabase::FixedFont); }

QLabel* caption_label(const QString& text, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    return label;
}

QLabel* value_label(const char* name, const char* tip, QWidget* parent) {
    auto* label = new QLabel(parent);
    label->setObjectName(QString::fromLatin1(name));
    label->setToolTip(QString::fromLatin1(tip));
    label->setFont(mono_font());
    label->setFrameShape(QFrame::Panel);
    label->setFrameShadow(QFrame::Sunken);
    label->setMinimumHeight(24);
    return label;
}

QPushButton* named_button(QWidget* parent, const char* name, const char* caption, const char* tip) {
    auto* button = new QPushButton(QString::fromLatin1(caption), parent);
    button->setObjectName(QString::fromLatin1(name));
    button->setToolTip(QString::fromLatin1(tip));
    button->setMinimumWidth(110);
    return button;
}

void show_text(QLabel* label, const std::string& text) {
    const QString q = qt_text(text);
    if (label->text() != q) label->setText(q);
}

void show_text(QLineEdit* edit, const std::string& text) {
    const QString q = qt_text(text);
    if (edit->text() == q) return;
    const QSignalBlocker block(edit);
    edit->setText(q);
}

void show_checked(QAbstractButton* button, bool checked) {
    if (button->isChecked() == checked) return;
    const QSignalBlocker block(button);
    button->setChecked(checked);
}

void show_index(QComboBox* list, int index) {
    if (list->currentIndex() == index) return;
    const QSignalBlocker block(list);
    list->setCurrentIndex(index);
}

QString qt_text(const std::string& text) {
    QString out = QString::fromLocal8Bit(text.data(), static_cast<qsizetype>(text.size()));
    out.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    return out;
}

QString latin1(std::string_view text) {
    return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

std::string std_text(const QString& text) {
    const QByteArray bytes = text.toLocal8Bit();
    return std::string(bytes.constData(), static_cast<std::size_t>(bytes.size()));
}

QColor palette_color(int n) {
    static constexpr std::array<QRgb, 16> colors = {
        0x000000, 0x000080, 0x008000, 0x008080, 0x800000, 0x800080, 0x808000, 0xC0C0C0,
        0x808080, 0x0000FF, 0x00FF00, 0x00FFFF, 0xFF0000, 0xFF00FF, 0xFFFF00, 0xFFFFFF};
    return QColor(colors[static_cast<std::size_t>(n & 15)]);
}

void ClickableLabel::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint())) {
        emit clicked();
    }
    QLabel::mouseReleaseEvent(event);
}

LoadBar::LoadBar(QWidget* parent) : QWidget(parent) {
    setMinimumSize(80, 12);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

void LoadBar::set_load(int fill, int size, int color) {
    size = std::max(size, 1);
    fill = std::clamp(fill, 0, size);
    if (fill == fill_ && size == size_ && color == color_) return;
    fill_ = fill;
    size_ = size;
    color_ = color;
    update();
}

void LoadBar::paintEvent(QPaintEvent*) {
    QPainter p(this);
    const QRect r = rect().adjusted(0, 0, -1, -1);
    const int filled = static_cast<int>(static_cast<long long>(r.width()) * fill_ / size_);
    p.fillRect(QRect(r.left(), r.top(), filled, r.height()), palette_color(color_));
    p.fillRect(QRect(r.left() + filled, r.top(), r.width() - filled, r.height()),
               palette_color(7));
    p.setPen(palette().color(QPalette::Mid));
    p.drawRect(r);
}

Lamp::Lamp(QWidget* parent) : QWidget(parent) { setFixedSize(18, 18); }

void Lamp::set_color(int color) {
    if (color == color_) return;
    color_ = color;
    update();
}

void Lamp::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(0x40, 0x40, 0x40), 1));
    p.setBrush(palette_color(color_));
    p.drawEllipse(QRectF(rect()).adjusted(1.5, 1.5, -1.5, -1.5));
}

}  // namespace tw::ui
