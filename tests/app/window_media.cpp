#include "window_media.h"

#include "media_generator.h"

#include <filesystem>
#include <fstream>

#include <unistd.h>

namespace vexa::app::test {

const std::string& WindowMedia()
{
    static const std::string folder = [] {
        const std::filesystem::path dir = std::filesystem::path(VEXA_TEST_BINARY_DIR) / "window-media";
        std::filesystem::create_directories(dir);
        testmedia::LoadLibraries();
        for (const char* name : {"a", "b", "c"}) {
            const std::filesystem::path file = dir / (std::string(name) + ".avi");
            if (std::filesystem::exists(file))
                continue;
            // Test programs run side by side: each writes its own copy and
            // renames it into place whole.
            const std::filesystem::path part =
                dir / (std::string(name) + ".part" + std::to_string(::getpid()) + ".avi");
            testmedia::ClipSpec clip;
            clip.path = part.string();
            clip.videoCodec = "mpeg4";
            clip.audioCodec = "libmp3lame";
            clip.width = 160;
            clip.height = 120;
            clip.seconds = 2.0;
            testmedia::MakeClip(clip);
            std::filesystem::rename(part, file);
        }
        std::ofstream(dir / "notes.txt") << "not a clip\n";
        return dir.string();
    }();
    return folder;
}

}  // namespace vexa::app::test
