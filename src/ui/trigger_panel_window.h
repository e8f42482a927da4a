#pragma once
// The trigger panel trigpanel ("Trigger and Channels calibration"): the
// trigger parameters, the sensor and A/D calibration, the magnitude
// correction terms, the drum Y scale, the filter delay and the event file
// format of the channel selected in the main window, with the live
// detector values while acquisition runs.
//
// The window renders the logic's TriggerPanelModel and passes every action
// to events::TriggerPanel; showing it loads and activates the logic,
// closing it unloads it.

#include "events/trigger_panel.h"

#include <QWidget>

#include <array>
#include <functional>
#include <span>

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QToolButton;

namespace tw::ui {

class ClickableLabel;

class TriggerPanelWindow : public QWidget {
    Q_OBJECT
public:
    // `step_channel` steps the main window's channel selector by -1 or +1
    // (the panel follows it).
    TriggerPanelWindow(events::TriggerPanel& panel, std::function<void(int)> step_channel,
                       QWidget* parent = nullptr);
    ~TriggerPanelWindow() override;

    // Every widget from the model.
    void render();

protected:
    bool event(QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    struct FieldRow {
        events::TriggerField which;
        const char* name;
        const char* caption;
        const char* tip;
    };
    QWidget* build_field_group(const char* title, std::span<const FieldRow> rows);
    QWidget* build_header();
    QWidget* build_start_group();
    QWidget* build_stop_group();
    QWidget* build_live_group();
    QWidget* build_calibration_group();
    QWidget* build_other_group();
    QWidget* build_tuning_group();
    QWidget* build_buttons();
    QLineEdit* make_field(events::TriggerField which, const char* name, const char* tip,
                          QWidget* parent);

    events::TriggerPanel& panel_;
    std::function<void(int)> step_channel_;

    std::array<QLineEdit*, events::trigger_field_count> fields_{};
    QToolButton* ch_minus_ = nullptr;
    QLabel* ch_selected_ = nullptr;
    QToolButton* ch_plus_ = nullptr;
    std::array<QRadioButton*, 2> trigmode_{};
    QComboBox* sensor_type_ = nullptr;
    QComboBox* measure_unit_ = nullptr;
    QComboBox* formato_ = nullptr;
    QLabel* lbl_ad_sens_ = nullptr;
    ClickableLabel* lbl_data_output_ = nullptr;
    QLabel* lbl_full_range_ = nullptr;
    QLabel* lbl_resolution_ = nullptr;
    QLabel* lbl_sensor_ = nullptr;
    QLabel* lbl_data_type_ = nullptr;
    QLabel* lbl_resolution_type_ = nullptr;
    QLabel* lbl_full_range_type_ = nullptr;
    std::array<QLabel*, 3> monstart_{};
    QLabel* dc_average_ = nullptr;
    ClickableLabel* max_noise_ = nullptr;
    std::array<QLineEdit*, events::tuning_field_count> tuning_{};
    QComboBox* filter_kind_ = nullptr;
    QPushButton* cmd_default_ = nullptr;
    QPushButton* trig_apply_ = nullptr;
    QPushButton* trig_ok_ = nullptr;
    QPushButton* trig_cancel_ = nullptr;
};

}  // namespace tw::ui
