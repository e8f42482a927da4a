#pragma once
// The error list box boxerrori: the run-time errors reported by the long
// procedures, newest last, at most 14 lines. It follows the error report's
// list model and shows itself when the model becomes visible.

#include <QWidget>

#include <functional>

class QListWidget;
class QPushButton;

namespace tw::app {
class Station;
}

namespace tw::ui {

class ErrorListBox : public QWidget {
    Q_OBJECT
public:
    explicit ErrorListBox(app::Station& station, QWidget* parent = nullptr);
    ~ErrorListBox() override;

    // What end_terrawv does after closing the serial port (quits the
    // application unless replaced, e.g. by a test).
    void set_quit_handler(std::function<void()> quit) { quit_ = std::move(quit); }

    // Shows the model's lines and visibility.
    void render();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    app::Station& station_;
    QListWidget* errorlist_;
    std::function<void()> quit_;
    bool rendering_ = false;
};

}  // namespace tw::ui
