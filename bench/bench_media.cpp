// Makes the benchmark's input: 20 seconds of 1280x720 30 fps H.264 with AAC.
#include "media_generator.h"

#include <clocale>
#include <cstdio>
#include <exception>

int main(int argc, char* argv[])
{
    std::setlocale(LC_ALL, "");
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUTPUT.mp4\n", argv[0]);
        return 2;
    }
    try {
        vexa::testmedia::LoadLibraries();
        vexa::testmedia::ClipSpec c;
        c.path = argv[1];
        c.seconds = 20.0;
        c.videoCodec = "libx264";
        c.videoOptions = {{"preset", "veryfast"}};
        c.width = 1280;
        c.height = 720;
        c.fpsNum = 30;
        c.gop = 60;
        c.videoBitrate = 3000000;
        c.audioCodec = "aac";
        c.audioBitrate = 128000;
        vexa::testmedia::MakeClip(c);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "bench_media: %s\n", e.what());
        return 1;
    }
    return 0;
}
