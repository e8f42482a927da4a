#pragma once
// The event list window eventlist: the lines of the event list file, new
// lines added while it is open; clear the list, or open a listed event in
// the event browser.

#include <QWidget>

class QListWidget;

namespace tw::app {
class Station;
}

namespace tw::ui {

class EventListWindow : public QWidget {
    Q_OBJECT
public:
    explicit EventListWindow(app::Station& station, QWidget* parent = nullptr);
    ~EventListWindow() override;

    // aggiorna: the list again from the file.
    void reload();

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void add_line(const std::string& line);
    void view_selected();
    void detach();

    app::Station& station_;
    QListWidget* list_;
};

}  // namespace tw::ui
