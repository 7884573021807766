#include "media/av_ptr.h"

namespace vexa {

std::string AVErrorText(int code)
{
    char buf[AV_ERROR_MAX_STRING_SIZE] = {0};
    if (AV.av_strerror)
        AV.av_strerror(code, buf, sizeof buf);
    return buf;
}

}  // namespace vexa
