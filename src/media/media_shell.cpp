#include "media/media_shell.h"

#include "media/av_entries.h"
#include "media/ffmpeg_loader.h"
#include "platform/paths.h"

#include <thread>

namespace vexa {

bool MediaShell::PlaySound(const std::string& wavFile)
{
    if (!platform::FileExists(wavFile))
        return false;
    if (!FFLoader().Loaded(lbSDL)) {
        FFLoader().SetLibraryPath(platform::LibraryFolder());
        if (!FFLoader().Load(lbSDL))
            return false;
    }
    if (!(AV.SDL_WasInit(SDL_INIT_AUDIO) & SDL_INIT_AUDIO) && AV.SDL_InitSubSystem(SDL_INIT_AUDIO) != 0)
        return false;
    SDL_AudioSpec format{};
    Uint8* buffer = nullptr;
    Uint32 length = 0;
    if (!AV.SDL_LoadWAV_RW(AV.SDL_RWFromFile(wavFile.c_str(), "rb"), 1, &format, &buffer, &length))
        return false;
    const SDL_AudioDeviceID device = AV.SDL_OpenAudioDevice(nullptr, 0, &format, nullptr, 0);
    if (device == 0) {
        AV.SDL_FreeWAV(buffer);
        return false;
    }
    const int queued = AV.SDL_QueueAudio(device, buffer, length);
    AV.SDL_FreeWAV(buffer);
    if (queued != 0) {
        AV.SDL_CloseAudioDevice(device);
        return false;
    }
    AV.SDL_PauseAudioDevice(device, 0);
    // Close the device once the sound has drained; the caller goes on at once.
    std::thread([device] {
        while (AV.SDL_GetQueuedAudioSize(device) > 0)
            AV.SDL_Delay(50);
        AV.SDL_Delay(200);  // the device's own buffer still plays out
        AV.SDL_CloseAudioDevice(device);
    }).detach();
    return true;
}

}  // namespace vexa
