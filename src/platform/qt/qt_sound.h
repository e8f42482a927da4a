#pragma once

#include "platform/sound.h"

#include <memory>

class QSoundEffect;

namespace tw::platform {

// WAV playback through Qt Multimedia's sound effect, which needs no window:
// the headless program plays its alarm too. The audio output is opened at
// the first play, not before.
class QtSound : public Sound {
public:
    QtSound();
    ~QtSound() override;
    bool play_wav(const std::filesystem::path& file, std::string* error) override;
    void stop() override;

private:
    std::unique_ptr<QSoundEffect> effect_;
    std::filesystem::path source_;
    // Why the last file could not be played once loaded ("" while none).
    std::string load_error_;
};

}  // namespace tw::platform
