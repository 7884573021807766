/* A frame hook module for the tests. Built three times:
 * full (Configure, Process, Release): inverts the first plane of a picture;
 * "fail" as an argument makes Configure refuse;
 * VEXA_HOOK_NO_PROCESS: Configure only; VEXA_HOOK_NO_CONFIGURE: Process only. */
#include "media/frame_hook_api.h"

#include <stdlib.h>
#include <string.h>

#if defined(__GNUC__)
#define HOOK_EXPORT __attribute__((visibility("default")))
#else
#define HOOK_EXPORT
#endif

HOOK_EXPORT int ReleaseCount = 0;
HOOK_EXPORT int ConfiguredArgc = 0;

#ifndef VEXA_HOOK_NO_CONFIGURE
HOOK_EXPORT int Configure(void** ctxp, int argc, char* argv[])
{
    ConfiguredArgc = argc;
    for (int i = 1; i < argc; ++i)
        if (strcmp(argv[i], "fail") == 0)
            return 1;
    *ctxp = malloc(16);
    return 0;
}
#endif

#ifndef VEXA_HOOK_NO_PROCESS
HOOK_EXPORT void Process(void* ctx, VexaHookPicture* pict, int pix_fmt, int width, int height, int64_t pts)
{
    (void)ctx;
    (void)pix_fmt;
    (void)pts;
    for (int y = 0; y < height; ++y) {
        uint8_t* row = pict->data[0] + y * pict->linesize[0];
        for (int x = 0; x < width; ++x)
            row[x] = (uint8_t)(255 - row[x]);
    }
}

HOOK_EXPORT void Release(void* ctx)
{
    free(ctx);
    ++ReleaseCount;
}
#endif
