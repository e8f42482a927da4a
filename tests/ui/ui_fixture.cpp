#include "ui_fixture.h"

#include "config/settings_file.h"

#include <QCoreApplication>
#include <QDir>
#include <QPixmap>

#include <fstream>
#include <sstream>
#include <unistd.h>

namespace tw::ui::test {

namespace fs = std::filesystem;

void QtFakeTimePump::process_events(int max_wait_ms) {
    ++calls;
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    clock_.advance_ms(max_wait_ms > 0 ? max_wait_ms : 1);
    if (on_call) on_call(calls);
}

UiStation::UiStation() {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    folder = fs::temp_directory_path() /
             ("tw_ui_" + std::to_string(::getpid()) + "_" + (info ? info->name() : "x"));
    fs::remove_all(folder);
    fs::create_directories(folder);
    station = std::make_unique<app::Station>(
        folder, app::Services{serial, clock, dialogs, disk, launcher, pump, nullptr, nullptr,
                              nullptr, &images});
    config::load_settings(station->path(app::files::settings), station->program_folder(),
                          station->settings);
}

UiStation::~UiStation() {
    station.reset();
    std::error_code ec;
    fs::remove_all(folder, ec);
}

std::string UiStation::read_file(std::string_view name) const {
    std::ifstream in(folder / name, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

bool save_picture(QWidget& widget, const QString& name) {
    const QString dir = QStringLiteral(TW_BINARY_DIR "/screenshots");
    QDir().mkpath(dir);
    return widget.grab().save(dir + "/" + name + ".png");
}

}  // namespace tw::ui::test
