#pragma once
// The hardware setup window actions ("Hardware and Miscellaneous Setup"):
// the A/D board interface with the board's clock calibration, the parallel
// port alarm and watchdog, the quake automations, the datalog and drum
// automations, and the settings lock.
//
// The window renders the logic's HardwareSetupModel and passes every action
// to acquisition::HardwareSetup; showing it loads and activates the logic,
// closing it unloads it.

#include "acquisition/hardware_setup.h"

#include <QWidget>

#include <array>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace tw::ui {

class Lamp;

class HardwareSetupWindow : public QWidget {
    Q_OBJECT
public:
    explicit HardwareSetupWindow(acquisition::HardwareSetup& setup, QWidget* parent = nullptr);
    ~HardwareSetupWindow() override;

    // Every widget from the model.
    void render();

signals:
    // Apply (or OK) stored the settings: the main window shows them.
    void applied();

protected:
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    QWidget* build_interface_group();
    QWidget* build_reliability_group();
    QWidget* build_quake_group();
    QWidget* build_datalog_group();
    QWidget* build_buttons();
    QCheckBox* make_flag(acquisition::SetupFlag which, const char* name, const char* caption,
                         const char* tip, QWidget* parent);
    QComboBox* make_list(acquisition::SetupList which, const char* name, const char* tip,
                         QWidget* parent);
    QLineEdit* make_field(acquisition::SetupField which, const char* name, const char* tip,
                          QWidget* parent);
    void show_busy(bool busy);

    acquisition::HardwareSetup& setup_;
    bool busy_cursor_ = false;

    std::array<QCheckBox*, acquisition::setup_flag_count> flags_{};
    std::array<QComboBox*, acquisition::setup_list_count> lists_{};
    std::array<QLineEdit*, acquisition::setup_field_count> fields_{};
    QLabel* lbl_serial_ = nullptr;
    Lamp* alarm_bit_ = nullptr;
    Lamp* watch_dog_bit_ = nullptr;
    QPushButton* cmd_read_ = nullptr;
    QPushButton* cmd_write_ = nullptr;
    QPushButton* cmd_apply_ = nullptr;
    QPushButton* cmd_ok_ = nullptr;
    QPushButton* cmd_cancel_ = nullptr;
};

}  // namespace tw::ui
