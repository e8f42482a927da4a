#include "platform/qt/qt_png.h"

#include "platform/qt/qt_canvas.h"

#include <QBuffer>
#include <QImage>

namespace tw::platform {

std::optional<std::string> png_bytes(const Canvas& picture) {
    const auto* canvas = dynamic_cast<const QtCanvas*>(&picture);
    if (!canvas) return std::nullopt;
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    if (!canvas->image().save(&buffer, "PNG")) return std::nullopt;
    return bytes.toStdString();
}

}  // namespace tw::platform
