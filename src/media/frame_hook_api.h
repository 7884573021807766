/* The interface a frame hook module exports. A module is a shared library
 * with these entry points (plain C names):
 *   int  Configure(void** ctxp, int argc, char* argv[]);   optional; 0 = success
 *   void Process(void* ctx, VexaHookPicture* pict, int pix_fmt, int width, int height, int64_t pts);
 *   void Release(void* ctx);                                 optional
 * argv[0] is the module path; pix_fmt is the media library's pixel format
 * number; pts is in microseconds. Process may change the picture in place. */
#ifndef VEXA_FRAME_HOOK_API_H
#define VEXA_FRAME_HOOK_API_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef struct VexaHookPicture {
    uint8_t* data[4];
    int linesize[4];
} VexaHookPicture;

typedef int (*VexaFrameHookConfigure)(void** ctxp, int argc, char* argv[]);
typedef void (*VexaFrameHookProcess)(void* ctx, VexaHookPicture* pict, int pix_fmt, int width, int height,
                                     int64_t pts);
typedef void (*VexaFrameHookRelease)(void* ctx);

#ifdef __cplusplus
}
#endif

#endif
