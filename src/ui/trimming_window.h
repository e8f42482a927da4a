#pragma once
// The clock trimming window trimming: the board's sample rate measured
// against the synchronisations of the time receiver, the trimming value it
// gives (or one typed as an error in seconds per day), its writing to the
// board's EEPROM, and the EEPROM bytes 0-8 read back. In service mode the
// event recording writes its trace lines into List1.
//
// The window renders the logic's TrimmingModel and passes every action to
// acquisition::ClockTrimming; showing it activates the logic, closing it
// unloads it.

#include "acquisition/clock_trimming.h"

#include <QWidget>

class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;

namespace tw::ui {

class TrimmingWindow : public QWidget {
    Q_OBJECT
public:
    explicit TrimmingWindow(acquisition::ClockTrimming& trimming, QWidget* parent = nullptr);
    ~TrimmingWindow() override;

    // Every widget from the model.
    void render();

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    acquisition::ClockTrimming& trimming_;

    QLabel* firsttime_ = nullptr;
    QLabel* prev_sync_ = nullptr;
    QLabel* ad_received_ = nullptr;
    QLabel* ad_tlapsed_ = nullptr;
    QLabel* trimmevery_ = nullptr;
    QLabel* dataset_ = nullptr;
    QLabel* eeprom_ = nullptr;
    QLineEdit* txt_error_ = nullptr;
    QLineEdit* txt_manual_trim_ = nullptr;
    QPushButton* eeread_ = nullptr;
    QPushButton* set_trim_data_ = nullptr;
    QPushButton* nulltrimm_ = nullptr;
    QPushButton* cmd_manual_trim_ = nullptr;
    QListWidget* list1_ = nullptr;
};

}  // namespace tw::ui
