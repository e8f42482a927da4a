#include "platform/qt/qt_sound.h"

#include <QAudioDevice>
#include <QMediaDevices>
#include <QSoundEffect>
#include <QUrl>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace tw::platform {

namespace {

// Why the file cannot be read, or "" when it can.
std::string unreadable(const std::filesystem::path& file) {
    const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return std::strerror(errno);
    ::close(fd);
    return {};
}

}  // namespace

QtSound::QtSound() = default;
QtSound::~QtSound() = default;

bool QtSound::play_wav(const std::filesystem::path& file, std::string* error) {
    auto fail = [&](const std::string& reason) {
        if (error) *error = "cannot play " + file.string() + ": " + reason;
        return false;
    };
    if (const std::string reason = unreadable(file); !reason.empty()) return fail(reason);
    const QAudioDevice output = QMediaDevices::defaultAudioOutput();
    if (output.isNull()) return fail("no audio output device");

    if (!effect_) {
        effect_ = std::make_unique<QSoundEffect>(output);
        // Loading happens in the background; a file that turns out not to
        // be a WAV the device can play is refused from the next play on.
        QObject::connect(effect_.get(), &QSoundEffect::statusChanged, effect_.get(), [this] {
            if (effect_->status() == QSoundEffect::Error)
                load_error_ = "not a sound file the audio output can play";
        });
    }
    if (file != source_) {
        source_ = file;
        load_error_.clear();
        effect_->setSource(QUrl::fromLocalFile(QString::fromLocal8Bit(file.c_str())));
    }
    if (!load_error_.empty()) return fail(load_error_);
    effect_->play();
    return true;
}

void QtSound::stop() {
    if (effect_) effect_->stop();
}

}  // namespace tw::platform
