#pragma once
// The desktop shell with sound: SystemShell plus WAV playback through SDL.
#include "platform/shell.h"

namespace vexa {

class MediaShell : public platform::SystemShell {
public:
    // Loads SDL on first use; returns false when the file cannot be read or
    // no audio device opens. Playback runs on after the call returns.
    bool PlaySound(const std::string& wavFile) override;
};

}  // namespace vexa
