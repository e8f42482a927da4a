#include "platform/qt/qt_image_files.h"

#include "platform/qt/qt_canvas.h"

#include <QFile>
#include <QImageReader>
#include <QImageWriter>
#include <QTemporaryFile>

#include <gif_lib.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <unordered_map>
#include <vector>

namespace tw::platform {

namespace {

void set_error(std::string* error, const std::filesystem::path& file, const std::string& why) {
    if (error) *error = "cannot write " + file.string() + ": " + why;
}

int write_to_device(GifFileType* gif, const GifByteType* bytes, int length) {
    auto* device = static_cast<QIODevice*>(gif->UserData);
    return static_cast<int>(device->write(reinterpret_cast<const char*>(bytes), length));
}

// A GIF of the image: its own colours when there are at most 256 (the
// charts and drums use a few palette colours), else a quantised palette.
bool write_gif(const QImage& source, QIODevice& device, std::string* why) {
    const QImage image = source.convertToFormat(QImage::Format_RGB32);
    const int width = image.width();
    const int height = image.height();
    const auto pixel_count = static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
    std::vector<GifByteType> indexes(pixel_count);
    std::vector<GifColorType> colours;
    std::unordered_map<QRgb, GifByteType> index_of;
    bool exact = true;
    for (int y = 0; y < height && exact; ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        for (int x = 0; x < width; ++x) {
            const QRgb rgb = line[x] & 0xFFFFFFU;
            auto found = index_of.find(rgb);
            if (found == index_of.end()) {
                if (colours.size() == 256) {
                    exact = false;
                    break;
                }
                found = index_of.emplace(rgb, static_cast<GifByteType>(colours.size())).first;
                colours.push_back(GifColorType{static_cast<GifByteType>(qRed(rgb)),
                                               static_cast<GifByteType>(qGreen(rgb)),
                                               static_cast<GifByteType>(qBlue(rgb))});
            }
            indexes[static_cast<std::size_t>(y) * width + x] = found->second;
        }
    }
    if (!exact) {
        std::vector<GifByteType> red(pixel_count), green(pixel_count), blue(pixel_count);
        for (int y = 0; y < height; ++y) {
            const auto* line = reinterpret_cast<const QRgb*>(image.constScanLine(y));
            for (int x = 0; x < width; ++x) {
                const std::size_t at = static_cast<std::size_t>(y) * width + x;
                red[at] = static_cast<GifByteType>(qRed(line[x]));
                green[at] = static_cast<GifByteType>(qGreen(line[x]));
                blue[at] = static_cast<GifByteType>(qBlue(line[x]));
            }
        }
        colours.assign(256, GifColorType{0, 0, 0});
        int size = 256;
        if (GifQuantizeBuffer(static_cast<unsigned>(width), static_cast<unsigned>(height), &size,
                              red.data(), green.data(), blue.data(), indexes.data(),
                              colours.data()) == GIF_ERROR) {
            *why = "the colours could not be reduced to 256";
            return false;
        }
        colours.resize(256);
    }
    // A colour map has a power of two entries, at least 2.
    int bits = 1;
    while ((1 << bits) < static_cast<int>(colours.size())) ++bits;
    colours.resize(static_cast<std::size_t>(1) << bits, GifColorType{0, 0, 0});

    int status = 0;
    GifFileType* gif = EGifOpen(&device, write_to_device, &status);
    if (!gif) {
        *why = GifErrorString(status);
        return false;
    }
    ColorMapObject* map = GifMakeMapObject(1 << bits, colours.data());
    bool ok = map && EGifPutScreenDesc(gif, width, height, bits, 0, map) != GIF_ERROR &&
              EGifPutImageDesc(gif, 0, 0, width, height, false, nullptr) != GIF_ERROR;
    for (int y = 0; ok && y < height; ++y) {
        ok = EGifPutLine(gif, indexes.data() + static_cast<std::size_t>(y) * width, width) !=
             GIF_ERROR;
    }
    if (!ok) *why = GifErrorString(gif->Error);
    if (map) GifFreeMapObject(map);
    if (EGifCloseFile(gif, &status) == GIF_ERROR && ok) {
        *why = GifErrorString(status);
        ok = false;
    }
    return ok;
}

}  // namespace

std::unique_ptr<Canvas> QtImageFiles::create(int pixel_width, int pixel_height) {
    return std::make_unique<QtCanvas>(pixel_width, pixel_height);
}

bool QtImageFiles::save(const Canvas& picture, const std::filesystem::path& file,
                        ImageFormat format, int quality, std::string* error) {
    const auto* canvas = dynamic_cast<const QtCanvas*>(&picture);
    if (!canvas) {
        set_error(error, file, "not a picture of this program");
        return false;
    }
    const QString target = QString::fromStdString(file.string());
    // A fresh file of our own beside the target (created exclusively, so no
    // planted link is followed), renamed over it once complete.
    QTemporaryFile temporary(target + ".XXXXXX");
    if (!temporary.open()) {
        set_error(error, file, temporary.errorString().toStdString());
        return false;
    }
    std::string why;
    bool ok = false;
    if (format == ImageFormat::gif) {
        ok = write_gif(canvas->image(), temporary, &why);
    } else {
        QImageWriter writer(&temporary, format == ImageFormat::bmp ? "bmp" : "jpeg");
        if (format == ImageFormat::jpeg) writer.setQuality(quality);
        ok = writer.write(canvas->image());
        if (!ok) why = writer.errorString().toStdString();
    }
    if (ok && !temporary.flush()) {
        ok = false;
        why = temporary.errorString().toStdString();
    }
    if (ok && temporary.error() != QFileDevice::NoError) {
        ok = false;
        why = temporary.errorString().toStdString();
    }
    if (!ok) {
        set_error(error, file, why.empty() ? "write failed" : why);
        return false;
    }
    temporary.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                             QFileDevice::ReadGroup | QFileDevice::ReadOther);
    const std::string temporary_name = temporary.fileName().toStdString();
    temporary.close();
    if (std::rename(temporary_name.c_str(), file.c_str()) != 0) {
        set_error(error, file, std::strerror(errno));
        return false;
    }
    temporary.setAutoRemove(false);
    return true;
}

bool QtImageFiles::load(Canvas& picture, const std::filesystem::path& file, std::string* error) {
    auto* canvas = dynamic_cast<QtCanvas*>(&picture);
    if (!canvas) {
        if (error) *error = "cannot load " + file.string() + ": not a picture of this program";
        return false;
    }
    QImageReader reader(QString::fromStdString(file.string()));
    const QImage image = reader.read();
    if (image.isNull()) {
        if (error) *error = "cannot load " + file.string() + ": " + reader.errorString().toStdString();
        return false;
    }
    canvas->set_image(image);
    return true;
}

}  // namespace tw::platform
