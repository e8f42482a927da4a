#pragma once
// Small display widgets of the main window: the 16-colour palette, a label
// that can be clicked, the buffer load bar and the round event indicator.

#include <QFont>
#include <QLabel>
#include <QPushButton>
#include <QString>
#include <QWidget>

#include <string>
#include <string_view>

class QAbstractButton;
class QComboBox;
class QLineEdit;

namespace tw::ui {

// The program's 8-bit texts as Qt texts and back (the local 8-bit encoding);
// CR LF line ends become line feeds.
QString qt_text(const std::string& text);
std::string std_text(const QString& text);
// A text of the program's tables (plain ASCII) as a Qt text.
QString latin1(std::string_view text);

// A control with its control name and, if given, its tool tip.
template <typename W>
W* named(W* widget, const char* name, const char* tip = nullptr) {
    widget->setObjectName(QString::fromLatin1(name));
    if (tip) widget->setToolTip(QString::fromLatin1(tip));
    return widget;
}

// Colour n (0..15) of the 16-colour palette the program's pictures use
// (2 green, 7 light grey, 8 grey, 12 light red, 14 yellow, ...).
QColor palette_color(int n);

// The monospace font of value displays and entry fields.
QFont mono_font();
// A field caption, right-aligned beside its value.
QLabel* caption_label(const QString& text, QWidget* parent);
// A value display: named, sunken, monospace.
QLabel* value_label(const char* name, const char* tip, QWidget* parent);
// A dialog button with its control name and tool tip.
QPushButton* named_button(QWidget* parent, const char* name, const char* caption, const char* tip);

// What a model shows, put into a widget only when it differs, without the
// widget's change signals.
void show_text(QLabel* label, const std::string& text);
void show_text(QLineEdit* edit, const std::string& text);
void show_checked(QAbstractButton* button, bool checked);
void show_index(QComboBox* list, int index);

// A label that reports a mouse click (badrx).
class ClickableLabel : public QLabel {
    Q_OBJECT
public:
    using QLabel::QLabel;
signals:
    void clicked();

protected:
    void mouseReleaseEvent(QMouseEvent* event) override;
};

// The buffer load bar: the filled part from 0 to `fill` in a palette colour,
// the rest in light grey (colour 7).
class LoadBar : public QWidget {
    Q_OBJECT
public:
    explicit LoadBar(QWidget* parent = nullptr);
    void set_load(int fill, int size, int color);
    int fill() const { return fill_; }
    int size_of_buffer() const { return size_; }
    int color() const { return color_; }
    QSize sizeHint() const override { return {160, 14}; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    int fill_ = 0;
    int size_ = 1;
    int color_ = 2;
};

// A round lamp in a palette colour (the event indicator).
class Lamp : public QWidget {
    Q_OBJECT
public:
    explicit Lamp(QWidget* parent = nullptr);
    void set_color(int color);
    int color() const { return color_; }
    QSize sizeHint() const override { return {18, 18}; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    int color_ = 8;
};

}  // namespace tw::ui
