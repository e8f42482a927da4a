#pragma once
// The time setting window settime ("TIME SET"): the date and time to set on
// the PC and the board, the time source with its time zone correction, how
// the PC and board clocks follow each other, the board and PC clocks, the
// time source status, the chart of the minutes of the day in which a
// synchronisation arrived and the colour scale of the spectrogram.
//
// The window renders the logic's SettimeModel and passes every action to
// acquisition::TimeSetting; showing it activates the logic, closing it
// unloads it.

#include "acquisition/time_setting.h"

#include <QImage>
#include <QWidget>

#include <array>
#include <cstdint>
#include <vector>

class QButtonGroup;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace tw::ui {

class Lamp;

// A picture drawn by its window into a QImage of the picture's inner size
// (inside a one-pixel frame); reports clicks and size changes.
class PictureBox : public QWidget {
    Q_OBJECT
public:
    explicit PictureBox(QWidget* parent = nullptr);
    void set_image(QImage image);
    const QImage& image() const { return image_; }
    // The size the window draws the image at.
    QSize image_size() const;

signals:
    void clicked();
    void resized();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    QImage image_;
};

// The minute flags of the DCF chart.
using ChartMinutes = std::array<std::uint8_t, acquisition::SettimeModel::chart_minutes>;

class SettimeWindow : public QWidget {
    Q_OBJECT
public:
    explicit SettimeWindow(acquisition::TimeSetting& time_setting, QWidget* parent = nullptr);
    ~SettimeWindow() override;

    // Every widget from the model.
    void render();

    // The DCF chart: black, hour lines, every marked minute m a box from
    // (m, 0) to (m + 1, 1) in palette colour 10, 1441 minutes across.
    static QImage draw_dcf_chart(const ChartMinutes& minutes, QSize size);
    // The colour scale: one vertical line per value 0..1280 across.
    static QImage draw_colour_scale(const std::vector<std::uint32_t>& colours, QSize size);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    QWidget* build_date_time_group();
    QWidget* build_source_group();
    QWidget* build_clock_group();
    QWidget* build_chart_group();
    QWidget* build_colour_group();
    QWidget* build_buttons();
    QLineEdit* field(acquisition::SettimeField which) const;
    // The check of a field that is left or where Enter is pressed; a
    // failed check puts the focus back into the field.
    bool check(acquisition::SettimeField which);
    void focus_failed_field();
    // SET TIME and OK go ahead only with every field in range: a value
    // typed into a field and never checked (the button was clicked
    // straight away) must not reach the board or the settings.
    bool fields_valid();
    void redraw_chart();
    void redraw_colour_scale();

    acquisition::TimeSetting& time_setting_;
    bool checking_ = false;
    // What the pictures show now, to redraw only on change.
    ChartMinutes chart_drawn_{};
    std::vector<std::uint32_t> scale_drawn_;

    std::array<QLineEdit*, 7> fields_{};  // by SettimeField
    QRadioButton* option_sync1_ = nullptr;
    QRadioButton* option_sync2_ = nullptr;
    QButtonGroup* option_group_ = nullptr;
    QCheckBox* pc_rtc_ = nullptr;
    QCheckBox* pc_sync_ = nullptr;
    QComboBox* sync_every_ = nullptr;
    QLabel* ad_clock_ = nullptr;
    QLabel* realtime_ = nullptr;
    QLabel* timestatus_ = nullptr;
    QLabel* lastsync_ = nullptr;
    QLabel* hour_type_ = nullptr;
    Lamp* sync_indicator_ = nullptr;
    PictureBox* dcfchart_ = nullptr;
    PictureBox* picture1_ = nullptr;
    QPushButton* command1_ = nullptr;
    QPushButton* oktimeset_ = nullptr;
    QPushButton* ok_time_ = nullptr;
    QPushButton* notimeset_ = nullptr;
};

}  // namespace tw::ui
