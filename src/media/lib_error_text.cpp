#include "media/lib_error_text.h"

#include "media/av_entries.h"
#include "platform/error.h"

#include <cerrno>

namespace vexa {

std::string LibErrorText(int code)
{
    // Several codes per text: the current library reports some conditions
    // with its own tags where older ones used errno values.
    switch (code) {
    case AVERROR(ENOENT): return "No such file or directory";
    case AVERROR(EIO): return "I/O error";
    case AVERROR(ENOMEM): return "Not enough memory";
    case AVERROR(EINVAL):
    case AVERROR_INVALIDDATA: return "Invalid data found when processing input";
    case AVERROR(EPIPE):
    case AVERROR_EOF: return "End of file";
    case AVERROR(EDOM): return "Number syntax expected in filename";
    case AVERROR(EILSEQ):
    case AVERROR_DEMUXER_NOT_FOUND: return "Unknown format";
    case AVERROR(EPROTONOSUPPORT):
    case AVERROR_PROTOCOL_NOT_FOUND: return "Unsupported network protocol";
    case AVERROR(ENOSYS):
    case AVERROR_PATCHWELCOME: return "Not yet implemented in FFmpeg";
    default: return Format("Error number %d occurred", code);
    }
}

}  // namespace vexa
