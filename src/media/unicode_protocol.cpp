#include "media/unicode_protocol.h"

#include "media/av_entries.h"

#include <fcntl.h>
#include <iconv.h>
#include <langinfo.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <mutex>
#include <set>

namespace vexa {
namespace {

bool IsUtf8CodeSet(const std::string& cs)
{
    return cs == "UTF-8" || cs == "utf-8" || cs == "UTF8" || cs == "utf8";
}

// Converts with iconv; an unconvertible sequence becomes `bad` and the input
// moves on by one character (one UTF-8 sequence when `from` is UTF-8).
std::string Convert(const std::string& in, const char* to, const char* from, const std::string& bad, bool fromUtf8)
{
    iconv_t cd = ::iconv_open(to, from);
    if (cd == reinterpret_cast<iconv_t>(-1))
        return in;
    std::string out;
    out.reserve(in.size() * 2);
    char* src = const_cast<char*>(in.data());
    size_t srcLeft = in.size();
    char buf[256];
    while (srcLeft > 0) {
        char* dst = buf;
        size_t dstLeft = sizeof buf;
        const size_t r = ::iconv(cd, &src, &srcLeft, &dst, &dstLeft);
        out.append(buf, static_cast<size_t>(dst - buf));
        if (r == static_cast<size_t>(-1)) {
            if (errno == E2BIG)
                continue;
            // EILSEQ or EINVAL: replace one character and go on.
            size_t skip = 1;
            if (fromUtf8) {
                const unsigned char c = static_cast<unsigned char>(*src);
                skip = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 1;
                if (skip > srcLeft)
                    skip = srcLeft;
            }
            out += bad;
            src += skip;
            srcLeft -= skip;
        }
    }
    ::iconv_close(cd);
    return out;
}

// Our own AVIOContexts, so closing knows which ones it must free itself.
std::mutex g_ownedLock;
std::set<AVIOContext*> g_owned;

struct TUnicodeIO {
    int handle;
};

int IORead(void* opaque, uint8_t* buf, int size)
{
    const int n = UnicodeRead(static_cast<TUnicodeIO*>(opaque)->handle, buf, size);
    if (n < 0)
        return AVERROR(EIO);
    return n == 0 ? AVERROR_EOF : n;
}

int IOWrite(void* opaque, uint8_t* buf, int size)
{
    const int n = UnicodeWrite(static_cast<TUnicodeIO*>(opaque)->handle, buf, size);
    return n < 0 ? AVERROR(EIO) : n;
}

int64_t IOSeek(void* opaque, int64_t offset, int whence)
{
    const int64_t r = UnicodeSeek(static_cast<TUnicodeIO*>(opaque)->handle, offset, whence & ~AVSEEK_FORCE);
    return r < 0 ? AVERROR(EIO) : r;
}

bool IsUnicodeName(const char* url)
{
    return url && std::strncmp(url, kUnicodePrefix, sizeof kUnicodePrefix - 1) == 0 &&
           std::strlen(url) > sizeof kUnicodePrefix - 1;
}

int OpenUnicodeIO(AVIOContext** pb, const char* url, int avioFlags)
{
    const bool write = (avioFlags & AVIO_FLAG_WRITE) != 0;
    const bool read = (avioFlags & AVIO_FLAG_READ) != 0;
    int handle = -1;
    if (UnicodeOpen(url, write ? (read ? 2 : 1) : 0, handle) != 0)
        return AVERROR(errno ? errno : ENOENT);
    const int size = 32768;
    auto* buffer = static_cast<unsigned char*>(AV.av_malloc(size));
    auto* io = new TUnicodeIO{handle};
    AVIOContext* ctx = buffer ? AV.avio_alloc_context(buffer, size, write ? 1 : 0, io, &IORead,
                                                      write ? &IOWrite : nullptr, &IOSeek)
                              : nullptr;
    if (!ctx) {
        AV.av_free(buffer);
        UnicodeClose(handle);
        delete io;
        return AVERROR(ENOMEM);
    }
    {
        std::lock_guard<std::mutex> g(g_ownedLock);
        g_owned.insert(ctx);
    }
    *pb = ctx;
    return 0;
}

// Returns true when pb was ours (and is now closed and freed); `error`
// receives a failure of its last writes or of the close.
bool CloseUnicodeIO(AVIOContext* pb, int* error = nullptr)
{
    {
        std::lock_guard<std::mutex> g(g_ownedLock);
        if (!pb || g_owned.erase(pb) == 0)
            return false;
    }
    AV.avio_flush(pb);
    int err = pb->error;
    auto* io = static_cast<TUnicodeIO*>(pb->opaque);
    AV.av_freep(&pb->buffer);
    AV.avio_context_free(&pb);
    if (UnicodeClose(io->handle) != 0 && err >= 0)
        err = AVERROR(EIO);
    delete io;
    if (error)
        *error = err;
    return true;
}

// The libraries' own opener, captured from the first context we hook.
std::atomic<decltype(AVFormatContext::io_open)> g_defaultOpen{nullptr};

int HookedOpen(AVFormatContext* s, AVIOContext** pb, const char* url, int flags, AVDictionary** options)
{
    if (IsUnicodeName(url))
        return OpenUnicodeIO(pb, url, flags);
    auto open = g_defaultOpen.load();
    if (open)
        return open(s, pb, url, flags, options);
    return AV.avio_open2(pb, url, flags, &s->interrupt_callback, options);
}

int HookedClose(AVFormatContext*, AVIOContext* pb)
{
    if (CloseUnicodeIO(pb))
        return 0;
    return AV.avio_close(pb);
}

}  // namespace

std::string SystemCodeSet()
{
    const char* cs = ::nl_langinfo(CODESET);
    return cs ? cs : "ANSI_X3.4-1968";
}

std::string ToSystemCodePage(const std::string& utf8)
{
    const std::string cs = SystemCodeSet();
    if (IsUtf8CodeSet(cs))
        return utf8;
    return Convert(utf8, cs.c_str(), "UTF-8", "?", true);
}

std::string FromSystemCodePage(const std::string& bytes)
{
    const std::string cs = SystemCodeSet();
    if (IsUtf8CodeSet(cs))
        return bytes;
    return Convert(bytes, "UTF-8", cs.c_str(), "\xEF\xBF\xBD", false);
}

bool CarriesProtocol(const std::string& name)
{
    const size_t colon = name.find(':');
    if (colon == std::string::npos)
        return false;
    const std::string marked = ":" + name.substr(0, colon) + ":";
    return std::string(kProtocolList).find(marked) != std::string::npos;
}

std::string EncodeLibFileName(const std::string& name)
{
    // No cut to a fixed length: a shortened name would open a different file.
    if (CarriesProtocol(name))
        return name;
    return kFilePrefix + name;
}

std::string DecodeLibFileName(const std::string& text)
{
    if (text.size() >= 14 && text.compare(0, 13, kUnicodePrefix) == 0) {
        // Everything up to and including the second ':' is the protocol.
        const size_t second = text.find(':', text.find(':') + 1);
        return text.substr(second + 1);
    }
    if (text.compare(0, sizeof kFilePrefix - 1, kFilePrefix) == 0)
        return text.substr(sizeof kFilePrefix - 1);
    return text;
}

int UnicodeOpen(const std::string& url, int flags, int& handle)
{
    const std::string name = DecodeLibFileName(url);
    int mode;
    switch (flags) {
    case 0: mode = O_RDONLY; break;
    case 1: mode = O_WRONLY | O_CREAT | O_TRUNC; break;
    case 2: mode = O_RDWR | O_CREAT | O_TRUNC; break;
    default: return -2;
    }
    handle = ::open(name.c_str(), mode | O_CLOEXEC, 0666);
    return handle < 0 ? -2 : 0;
}

int UnicodeRead(int handle, uint8_t* buffer, int size)
{
    ssize_t n;
    do
        n = ::read(handle, buffer, static_cast<size_t>(size));
    while (n < 0 && errno == EINTR);
    return n < 0 ? -1 : static_cast<int>(n);
}

int UnicodeWrite(int handle, const uint8_t* buffer, int size)
{
    size_t done = 0;
    while (done < static_cast<size_t>(size)) {
        const ssize_t n = ::write(handle, buffer + done, static_cast<size_t>(size) - done);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return -1;
        }
        done += static_cast<size_t>(n);
    }
    return static_cast<int>(done);
}

int64_t UnicodeSeek(int handle, int64_t offset, int whence)
{
    if (whence == 0x10000) {
        struct stat st{};
        return ::fstat(handle, &st) == 0 ? static_cast<int64_t>(st.st_size) : -1;
    }
    if (whence != SEEK_SET && whence != SEEK_CUR && whence != SEEK_END)
        return -1;
    const off_t r = ::lseek(handle, static_cast<off_t>(offset), whence);
    return r < 0 ? -1 : static_cast<int64_t>(r);
}

int UnicodeClose(int handle)
{
    return ::close(handle);
}

void InstallUnicodeIO(AVFormatContext* ctx)
{
    if (!ctx)
        return;
    if (ctx->io_open != &HookedOpen) {
        decltype(AVFormatContext::io_open) expected = nullptr;
        g_defaultOpen.compare_exchange_strong(expected, ctx->io_open);
        ctx->io_open = &HookedOpen;
    }
    ctx->io_close2 = &HookedClose;
}

int OpenInputFile(AVFormatContext** ps, const std::string& libName, const AVInputFormat* fmt,
                  AVDictionary** options)
{
    AVFormatContext* ctx = *ps ? *ps : AV.avformat_alloc_context();
    if (!ctx)
        return AVERROR(ENOMEM);
    InstallUnicodeIO(ctx);
    if (IsUnicodeName(libName.c_str()) && !ctx->pb) {
        // The format library would close a pb it did not open with the
        // wrong function; hand it ours as custom I/O and close it ourselves.
        const int r = OpenUnicodeIO(&ctx->pb, libName.c_str(), AVIO_FLAG_READ);
        if (r < 0) {
            AV.avformat_free_context(ctx);
            *ps = nullptr;
            return r;
        }
        ctx->flags |= AVFMT_FLAG_CUSTOM_IO;
        AVIOContext* pb = ctx->pb;
        const int ret = AV.avformat_open_input(&ctx, libName.c_str(), fmt, options);
        if (ret < 0) {
            // On failure the library has freed the context but not our pb.
            CloseUnicodeIO(pb);
            *ps = nullptr;
            return ret;
        }
        *ps = ctx;
        return ret;
    }
    const int ret = AV.avformat_open_input(&ctx, libName.c_str(), fmt, options);
    *ps = ret < 0 ? nullptr : ctx;
    return ret;
}

void CloseInputFile(AVFormatContext** ps)
{
    if (!ps || !*ps)
        return;
    AVIOContext* pb = ((*ps)->flags & AVFMT_FLAG_CUSTOM_IO) ? (*ps)->pb : nullptr;
    AV.avformat_close_input(ps);
    CloseUnicodeIO(pb);
}

int OpenOutputIO(AVFormatContext* oc, const std::string& libName)
{
    InstallUnicodeIO(oc);
    // The libraries' opener compares names with the context's own.
    if (!oc->url && !(oc->url = AV.av_strdup(libName.c_str())))
        return AVERROR(ENOMEM);
    return oc->io_open(oc, &oc->pb, libName.c_str(), AVIO_FLAG_WRITE, nullptr);
}

int CloseOutputIO(AVFormatContext* oc)
{
    if (!oc || !oc->pb)
        return 0;
    int err = 0;
    if (!CloseUnicodeIO(oc->pb, &err)) {
        // avio_closep reports the close but not a failed last write.
        AV.avio_flush(oc->pb);
        err = oc->pb->error;
        const int r = AV.avio_closep(&oc->pb);
        if (err >= 0)
            err = r;
    }
    oc->pb = nullptr;
    return err < 0 ? err : 0;
}

}  // namespace vexa
