#pragma once
// The Review window: the replay of a channel's day tracks page by page from
// an entered date and time, and the extraction of event files from them.
//
// It renders datalog::ReviewModel and passes every action to
// datalog::Review, which draws the replay and the progress bar on the two
// canvases this window shows.

#include "app/station.h"
#include "datalog/review.h"

#include <QImage>
#include <QWidget>

#include <array>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QScrollBar;

namespace tw::ui {

class ChartView;

// A saved drum picture shown by the Review window's Drum button, scrolled
// when larger than the window. The live drum windows are left alone: their
// pictures go on being drawn and saved.
class DrumPictureWindow : public QWidget {
    Q_OBJECT
public:
    explicit DrumPictureWindow(QWidget* parent = nullptr);
    // False with the reason when the file is no picture.
    bool show_picture(int channel, const QString& date, const QString& file, QString* error);
    const QImage& picture() const { return image_; }

private:
    QLabel* label_ = nullptr;
    QImage image_;
};

class ReviewWindow : public QWidget {
    Q_OBJECT
public:
    explicit ReviewWindow(app::Station& station, QWidget* parent = nullptr);
    ~ReviewWindow() override;

    datalog::Review& review() { return review_; }
    // The window of channel n's saved drum picture, once cmd_drum showed it.
    DrumPictureWindow* drum_picture_window(int channel) const { return drum_views_.at(channel - 1); }
    // Every widget from the model.
    void render();

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QWidget* build_view_bar();
    QWidget* build_display_group();
    QWidget* build_extract_group();
    void connect_controls();
    void show_drum();

    datalog::Review review_;

    QLineEdit* logpath_ = nullptr;
    QLabel* viewfile_ = nullptr;
    QComboBox* rep_ch_ = nullptr;
    QLabel* track_review_ = nullptr;
    QLineEdit* startviewdate_ = nullptr;
    QLineEdit* startviewtime_ = nullptr;
    QPushButton* ok_view_ = nullptr;
    QPushButton* rewind_ = nullptr;
    QPushButton* prevpage_ = nullptr;
    QPushButton* nextpage_ = nullptr;
    QPushButton* stop_draw_ = nullptr;
    QPushButton* cmd_drum_ = nullptr;
    QPushButton* cmd_events_ = nullptr;
    std::array<DrumPictureWindow*, 4> drum_views_{};
    ChartView* replay_ = nullptr;
    QLabel* beg_time_ = nullptr;
    QLabel* cursor_ = nullptr;
    QLabel* end_time_ = nullptr;
    QScrollBar* rep_chart_adj_ = nullptr;
    QScrollBar* rep_rows_adj_ = nullptr;
    QScrollBar* rep_scale_adj_ = nullptr;
    QLabel* rep_chart_ = nullptr;
    QLabel* rep_rows_ = nullptr;
    QLabel* rep_scale_ = nullptr;
    QLineEdit* duration_ = nullptr;
    std::array<QCheckBox*, 4> chk_extract_{};
    QPushButton* extract_ = nullptr;
    ChartView* picture2_ = nullptr;
    QLabel* notice_ = nullptr;
    QPushButton* rep_close_ = nullptr;
};

}  // namespace tw::ui
