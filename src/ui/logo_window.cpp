#include "ui/logo_window.h"

#include "app/panel_actions.h"
#include "app/station.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QVBoxLayout>

#include <cmath>

namespace tw::ui {

QPixmap logo_picture(const QSize& size) {
    QPixmap pixmap(size);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    const double w = size.width();
    const double h = size.height();
    QLinearGradient sky(0, 0, 0, h);
    sky.setColorAt(0, QColor(0x10, 0x26, 0x3c));
    sky.setColorAt(1, QColor(0x24, 0x4c, 0x6e));
    p.fillRect(pixmap.rect(), sky);

    // A seismogram across the picture: quiet, a burst, its coda.
    QPainterPath trace;
    const double base = h * 0.68;
    for (int i = 0; i <= static_cast<int>(w); ++i) {
        const double x = i;
        const double t = x / w;
        double envelope = 0.02;
        if (t > 0.38) envelope += 0.19 * std::exp(-(t - 0.38) * 7.0);
        const double y = base - h * envelope * std::sin(x * 0.55) * std::cos(x * 0.13 + 1.0);
        if (i == 0) {
            trace.moveTo(x, y);
        } else {
            trace.lineTo(x, y);
        }
    }
    p.setPen(QPen(QColor(0xff, 0xe0, 0x40), 1.6));
    p.drawPath(trace);
    p.setPen(QPen(QColor(0, 0, 0, 120), 1));
    p.drawLine(QPointF(0, base), QPointF(w, base));

    QFont title("DejaVu Sans", 1, QFont::Bold);
    title.setPixelSize(static_cast<int>(h * 0.2));
    title.setLetterSpacing(QFont::PercentageSpacing, 108);
    p.setFont(title);
    p.setPen(QColor(0xf2, 0xf6, 0xfa));
    p.drawText(QRectF(0, h * 0.06, w, h * 0.28), Qt::AlignCenter, "TERRAWAVE");
    QFont sub("DejaVu Sans");
    sub.setPixelSize(static_cast<int>(h * 0.065));
    p.setFont(sub);
    p.setPen(QColor(0xb8, 0xcc, 0xe0));
    p.drawText(QRectF(0, h * 0.33, w, h * 0.1), Qt::AlignCenter,
               "Seismic data acquisition for amateur stations");
    p.drawText(QRectF(0, h * 0.86, w - h * 0.05, h * 0.1), Qt::AlignRight | Qt::AlignVCenter,
               "V.02.22");
    return pixmap;
}

LogoWindow::LogoWindow(app::Station& station, QWidget* parent)
    : QWidget(parent, Qt::Window), station_(station) {
    setObjectName("logo");
    setWindowTitle("TERRAWAVE");
    auto* picture = new QLabel(this);
    picture->setObjectName("picture");
    picture->setPixmap(logo_picture(QSize(560, 300)));
    picture->setFrameShape(QFrame::StyledPanel);

    nologo_ = new QCheckBox("Don't show on startup", this);
    nologo_->setObjectName("nologo");
    nologo_->setChecked(station_.settings.general.no_logo != 0);
    connect(nologo_, &QCheckBox::clicked, this,
            [this](bool checked) { app::store_no_logo(station_, checked); });

    auto* credits = new QPushButton("Credits", this);
    credits->setObjectName("open_credits");
    auto* close = new QPushButton("Close", this);
    close->setObjectName("close");
    close->setDefault(true);
    for (auto* b : {credits, close}) b->setMinimumWidth(96);
    connect(close, &QPushButton::clicked, this, &QWidget::close);
    connect(credits, &QPushButton::clicked, this, [this] {
        auto* window = new CreditsWindow(this);
        window->setAttribute(Qt::WA_DeleteOnClose);
        window->show();
    });

    auto* row = new QHBoxLayout;
    row->addWidget(nologo_);
    row->addStretch();
    row->addWidget(credits);
    row->addWidget(close);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(12, 12, 12, 12);
    layout->setSpacing(10);
    layout->addWidget(picture);
    layout->addLayout(row);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

CreditsWindow::CreditsWindow(QWidget* parent) : QWidget(parent, Qt::Window) {
    setObjectName("credits");
    setWindowTitle("TERRAWAVE - Credits");
    auto* text = new QLabel(this);
    text->setObjectName("credits_text");
    text->setTextFormat(Qt::RichText);
    text->setWordWrap(true);
    text->setText(
        "<h3>TERRAWAVE V.02.22</h3>"
        "<p>Data acquisition, event recording and continuous logging for amateur seismic "
        "stations.</p>"
        "<p>Thanks to the amateur seismologists who ran the program at their stations, "
        "reported what went wrong and asked for what was missing; to the builders of the "
        "A/D boards and sensors it drives; and to everyone who shares station data in the "
        "PSN ASCII event file format.</p>"
        "<p>Built with Qt.</p>");
    text->setMinimumWidth(420);
    auto* close = new QPushButton("Close", this);
    close->setObjectName("close");
    close->setDefault(true);
    close->setMinimumWidth(96);
    connect(close, &QPushButton::clicked, this, &QWidget::close);
    auto* row = new QHBoxLayout;
    row->addStretch();
    row->addWidget(close);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(18, 14, 18, 14);
    layout->addWidget(text);
    layout->addLayout(row);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

}  // namespace tw::ui
