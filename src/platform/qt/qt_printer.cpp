#include "platform/qt/qt_printer.h"

#include <QFont>
#include <QFontMetrics>
#include <QPainter>
#include <QPrinter>
#include <QPrinterInfo>
#include <QString>

namespace tw::platform {

QtPrinter::QtPrinter() = default;
QtPrinter::QtPrinter(std::string pdf_file) : pdf_file_(std::move(pdf_file)) {}
QtPrinter::~QtPrinter() {
    if (painter_) painter_->end();
}

bool QtPrinter::begin_job(std::string* error) {
    if (painter_) return true;
    printer_ = std::make_unique<QPrinter>(QPrinter::HighResolution);
    if (!pdf_file_.empty()) {
        printer_->setOutputFormat(QPrinter::PdfFormat);
        printer_->setOutputFileName(QString::fromStdString(pdf_file_));
    } else if (QPrinterInfo::defaultPrinter().isNull()) {
        if (error) *error = "no default printer";
        printer_.reset();
        return false;
    }
    auto painter = std::make_unique<QPainter>();
    if (!painter->begin(printer_.get())) {
        if (error) {
            *error = "cannot print on " +
                     (pdf_file_.empty() ? printer_->printerName().toStdString() : pdf_file_);
        }
        printer_.reset();
        return false;
    }
    QFont font(QStringLiteral("Courier New"), 10);
    font.setStyleHint(QFont::TypeWriter);
    font.setFixedPitch(true);
    painter->setFont(font);
    painter_ = std::move(painter);
    y_ = QFontMetrics(painter_->font(), printer_.get()).ascent();
    return true;
}

bool QtPrinter::print_line(const std::string& line, std::string* error) {
    if (!painter_ && !begin_job(error)) return false;
    const QFontMetrics metrics(painter_->font(), printer_.get());
    const int page_height = printer_->pageLayout().paintRectPixels(printer_->resolution()).height();
    if (y_ + metrics.descent() > page_height) {
        if (!printer_->newPage()) {
            if (error) *error = "cannot start a new page";
            return false;
        }
        y_ = metrics.ascent();
    }
    painter_->drawText(0, y_, QString::fromLatin1(line.data(), static_cast<qsizetype>(line.size())));
    y_ += metrics.lineSpacing();
    return true;
}

bool QtPrinter::end_job(std::string* error) {
    if (!painter_) return true;
    const bool ok = painter_->end();
    painter_.reset();
    printer_.reset();
    if (!ok && error) *error = "the print job could not be finished";
    return ok;
}

}  // namespace tw::platform
