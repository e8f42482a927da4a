#pragma once
// The logo window: the program's picture, "Don't show on startup" (no_logo)
// and the way to the credits.

#include <QWidget>

class QCheckBox;

namespace tw::app {
class Station;
}

namespace tw::ui {

class LogoWindow : public QWidget {
    Q_OBJECT
public:
    explicit LogoWindow(app::Station& station, QWidget* parent = nullptr);

private:
    app::Station& station_;
    QCheckBox* nologo_;
};

// The credits window: a fixed acknowledgement text and a close button.
class CreditsWindow : public QWidget {
    Q_OBJECT
public:
    explicit CreditsWindow(QWidget* parent = nullptr);
};

// The logo picture, drawn rather than loaded, so no file can be missing.
QPixmap logo_picture(const QSize& size);

}  // namespace tw::ui
