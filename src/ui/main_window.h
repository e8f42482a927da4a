#pragma once
// The main window panel: the four channel charts and the zoom chart, the
// numeric monitors, the channel selector with the controls of the selected
// channel, the station fields, the clocks and link state, and the buttons.
//
// It shows the station's settings and panel model and passes every user
// action to the logic (app/panel_actions.h); it keeps no settings itself.

#include "app/panel_actions.h"
#include "app/startup.h"
#include "app/station.h"
#include "ui/repaint_pacer.h"

#include <QTimer>
#include <QWidget>

#include <array>
#include <functional>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QScrollBar;
class QToolButton;

namespace tw::ui {

class ChartView;
class ClickableLabel;
class DrumWindow;
class ErrorListBox;
class EventListWindow;
class HardwareSetupWindow;
class Lamp;
class LoadBar;
class ReviewWindow;
class SettimeWindow;
class SpectrumWindow;
class TriggerPanelWindow;
class TrimmingWindow;

class MainWindow : public QWidget {
    Q_OBJECT
public:
    MainWindow(app::Station& station, const app::StartupResult& startup,
               QWidget* parent = nullptr);
    ~MainWindow() override;

    // What EXIT (and closing the window) does after closing the port:
    // quits the application unless replaced (tests replace it).
    void set_quit_handler(std::function<void()> quit);

    // Every per-channel control from the selected channel's settings.
    void show_selected_channel();
    // The panel model: monitors, clocks, link state, button enables.
    void render_panel();
    // Main window activation: the settings lock and the running acquisition
    // decide which controls are enabled.
    void apply_lock();

    int zoom_channel() const { return station_.charts.zoom_channel(); }
    ErrorListBox* error_list_box() const { return error_box_; }
    // The event list window, once the events button has opened it.
    EventListWindow* event_list_window() const { return event_window_; }
    // The time setting window, once Time Set has opened it.
    SettimeWindow* settime_window() const { return settime_window_; }
    // The clock trimming window, once opened (service mode opens it at start).
    TrimmingWindow* trimming_window() const { return trimming_window_; }
    // The Review window, once the Review button has opened it.
    ReviewWindow* review_window() const { return review_window_; }
    // The spectrum window, once the acquisition run has opened it.
    SpectrumWindow* spectrum_window() const { return spectrum_window_; }
    // The trigger panel and the hardware setup window, once TRIGGERS and HW
    // Setup have opened them.
    TriggerPanelWindow* trigger_panel_window() const { return trigger_window_; }
    HardwareSetupWindow* hardware_setup_window() const { return setup_window_; }
    // The housekeeping timer (1000 ms).
    const QTimer& housekeeping_timer() const { return timer_; }
    // The charts' repaints.
    const RepaintPacer& chart_pacer() const { return chart_pacer_; }
    // The drum window of channel n, once its drum has been drawn.
    DrumWindow* drum_window(int channel) const { return drum_windows_.at(channel - 1); }

protected:
    bool event(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    QWidget* build_header();
    QWidget* build_charts();
    QWidget* build_channel_group();
    QWidget* build_display_group();
    QWidget* build_time_group();
    QWidget* build_buttons();
    void connect_controls();
    void show_general_settings();
    void show_zoom();
    void attach_charts();
    void drum_changed(int channel);
    void open_event_list();
    void open_logo();
    void open_settime();
    void open_trimming();
    void open_review();
    void open_spectrum();
    void open_trigger_panel();
    void open_hardware_setup();

    app::Station& station_;
    QTimer timer_;
    RepaintPacer chart_pacer_;
    std::function<void()> quit_;

    QLabel* title_ = nullptr;

    // Charts and monitors, by channel index 0..3.
    std::array<ChartView*, 4> chp_{};
    ChartView* chzoom_ = nullptr;
    std::array<QLabel*, 4> ch_val_{};
    std::array<QPushButton*, 4> man_record_{};

    // Channel selector and per-channel controls.
    QToolButton* ch_minus_ = nullptr;
    QLabel* ch_selected_ = nullptr;
    QToolButton* ch_plus_ = nullptr;
    QComboBox* sps_select_ = nullptr;
    QComboBox* axis_select_ = nullptr;
    QLineEdit* extension_ = nullptr;
    QLineEdit* dc_offset_ = nullptr;
    QCheckBox* auto_offset_ = nullptr;
    QCheckBox* invert_data_ = nullptr;
    QScrollBar* y_scale_ = nullptr;
    QLabel* yscale_ = nullptr;
    QCheckBox* zallch_ = nullptr;
    QCheckBox* ch_enabled_ = nullptr;
    QCheckBox* all_trigger_ = nullptr;
    QCheckBox* alarm_ = nullptr;
    QLineEdit* alarm_soglia_ = nullptr;
    QCheckBox* logging_ = nullptr;
    QCheckBox* drum_ = nullptr;
    QCheckBox* hide_drum_ = nullptr;
    QCheckBox* fft_enabled_ = nullptr;

    // General controls.
    QScrollBar* chartspeed1_ = nullptr;
    QLabel* chartspeed_value_ = nullptr;
    QCheckBox* nocharting_ = nullptr;
    QLineEdit* elevation_ = nullptr;
    QLineEdit* location_ = nullptr;
    QLineEdit* coordinates_ = nullptr;

    // Clocks and link state.
    QLineEdit* utc_clock_ = nullptr;
    QLabel* realtime_ = nullptr;
    QLabel* true_sps_ = nullptr;
    ClickableLabel* badrx_ = nullptr;
    LoadBar* bufferload_ = nullptr;
    Lamp* event_indicator_ = nullptr;
    QLabel* lbl_service_ = nullptr;
    QLabel* feed_status_ = nullptr;
    QLabel* donothing_ = nullptr;

    // Buttons.
    QPushButton* start_ = nullptr;     // Command1
    QPushButton* stop_ = nullptr;      // command2
    QPushButton* save_ = nullptr;      // Command3
    QPushButton* exit_ = nullptr;      // Command4
    QPushButton* events_ = nullptr;
    QPushButton* ch_review_ = nullptr;
    QPushButton* set_triggers_ = nullptr;
    QPushButton* active_ = nullptr;
    QPushButton* timeset_ = nullptr;
    QPushButton* load_logo_ = nullptr;

    ErrorListBox* error_box_ = nullptr;
    EventListWindow* event_window_ = nullptr;
    SettimeWindow* settime_window_ = nullptr;
    TrimmingWindow* trimming_window_ = nullptr;
    ReviewWindow* review_window_ = nullptr;
    SpectrumWindow* spectrum_window_ = nullptr;
    TriggerPanelWindow* trigger_window_ = nullptr;
    HardwareSetupWindow* setup_window_ = nullptr;
    std::array<DrumWindow*, 4> drum_windows_{};
};

}  // namespace tw::ui
