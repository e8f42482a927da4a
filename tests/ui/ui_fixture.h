#pragma once
// A real station folder in a temporary directory, fake outside world, and a
// pump that runs the Qt event loop while the fake clock moves on.

#include "app/station.h"
#include "fakes/fake_platform.h"
#include "fakes/fake_serial_port.h"
#include "fakes/test_files.h"
#include "platform/event_pump.h"
#include "platform/qt/qt_image_files.h"
#include "ui/main_window.h"

#include <QString>
#include <QWidget>

#include <filesystem>
#include <functional>
#include <memory>
#include <string>

namespace tw::ui::test {

// Handles pending Qt events and moves the fake clock by the wait.
class QtFakeTimePump : public platform::EventPump {
public:
    explicit QtFakeTimePump(fakes::FakeClock& clock) : clock_(clock) {}
    void process_events(int max_wait_ms) override;
    // Runs on each call with the call count, after the events were handled.
    std::function<void(int)> on_call;
    int calls = 0;

private:
    fakes::FakeClock& clock_;
};

struct UiStation {
    UiStation();

    std::string read_file(std::string_view name) const { return tw::testing::read_file(folder / name); }

    tw::testing::TestFolder test_folder;
    std::filesystem::path folder = test_folder.path();
    fakes::FakeClock clock;
    QtFakeTimePump pump{clock};
    fakes::FakeSerialPort serial;
    fakes::FakeDialogs dialogs;
    fakes::FakeDisk disk;
    fakes::FakeLauncher launcher;
    platform::QtImageFiles images;  // real pictures: the drums draw and save
    std::unique_ptr<app::Station> station;
};

// The main window of `s`, shown; its quit handler counts into `quits`.
std::unique_ptr<MainWindow> open_main_window(UiStation& s, const app::StartupResult& startup = {},
                                             int* quits = nullptr);

// Grabs `widget` into <build>/screenshots/<name>.png; false when it could not
// be written.
bool save_picture(QWidget& widget, const QString& name);

// Clicks a named control; a check box or an option button near its box
// (they take clicks on their box and text only).
void click(QWidget& window, const char* name);
// The text of a named entry field or label.
QString text_of(QWidget& window, const char* name);
// Replaces the text of a named entry field by typing, then presses `key`
// (Return checks the field, Tab leaves it).
void type_into(QWidget& window, const char* name, const QString& text, Qt::Key key = Qt::Key_Return);

// Every visible named control gets at least the room it asks for and no
// two named controls of the same parent overlap (failures are reported).
void expect_tidy(QWidget& window);

// Child widget by object name; fails the test (and returns nullptr) when
// missing.
template <typename W>
W* child(QWidget& parent, const char* name);

}  // namespace tw::ui::test

#include <gtest/gtest.h>

template <typename W>
W* tw::ui::test::child(QWidget& parent, const char* name) {
    W* w = parent.findChild<W*>(QString::fromLatin1(name));
    EXPECT_NE(w, nullptr) << "no child named " << name;
    return w;
}
