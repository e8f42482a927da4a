#pragma once
// Playback of a sound file, without waiting for it to end.

#include <filesystem>
#include <string>

namespace tw::platform {

class Sound {
public:
    virtual ~Sound() = default;
    // Starts playing the WAV file and returns at once. False (with the
    // reason in `error`) when the file is missing or cannot be played; no
    // other sound is played instead.
    virtual bool play_wav(const std::filesystem::path& file, std::string* error) = 0;
    // Stops what is playing; nothing happens when nothing plays.
    virtual void stop() = 0;
};

}  // namespace tw::platform
