#pragma once
// File names for the media libraries.
//
// A name the locale's character set cannot express is handed to the
// libraries as "unicode:utf8:" + its UTF-8 text and opened by our own I/O
// (the five operations below) instead of the libraries' file protocol. Every
// file name given to the libraries goes through EncodeLibFileName, every
// name coming back through DecodeLibFileName, and every open through
// OpenInputFile / OpenOutputIO, which understand both forms.
#include <cstdint>
#include <string>

struct AVFormatContext;
struct AVInputFormat;
struct AVDictionary;
struct AVIOContext;

namespace vexa {

inline constexpr char kUnicodePrefix[] = "unicode:utf8:";
inline constexpr char kProtocolList[] = ":unicode:stream:gopher:http:pipe:rtp:tcp:udp:";

// The locale's character set ("UTF-8", "ANSI_X3.4-1968", ...).
std::string SystemCodeSet();
// UTF-8 text to the locale's 8-bit text and back; what cannot be expressed
// becomes '?' (and U+FFFD on the way back).
std::string ToSystemCodePage(const std::string& utf8);
std::string FromSystemCodePage(const std::string& bytes);

bool NeedsUnicodeProtocol(const std::string& name);
std::string EncodeLibFileName(const std::string& name);
std::string DecodeLibFileName(const std::string& text);

// The protocol's operations on a "unicode:utf8:" URL (or any name that
// DecodeLibFileName understands). open returns 0 and a handle, or -2.
// flags: 0 read, 1 write (create/truncate), 2 read-write (create/truncate).
int UnicodeOpen(const std::string& url, int flags, int& handle);
int UnicodeRead(int handle, uint8_t* buffer, int size);
int UnicodeWrite(int handle, const uint8_t* buffer, int size);
// whence 0x10000 gives the file size without moving; 0/1/2 as lseek.
int64_t UnicodeSeek(int handle, int64_t offset, int whence);
int UnicodeClose(int handle);

// Opens an input as avformat_open_input does (same result codes); names in
// the unicode form are read through the protocol. Close with CloseInputFile.
int OpenInputFile(AVFormatContext** ps, const std::string& libName, const AVInputFormat* fmt,
                  AVDictionary** options);
void CloseInputFile(AVFormatContext** ps);

// Opens oc->pb for writing libName (a library error code on failure), and
// closes it again; CloseOutputIO is safe to call when nothing is open and
// returns a library error code when the last writes or the close failed.
int OpenOutputIO(AVFormatContext* oc, const std::string& libName);
int CloseOutputIO(AVFormatContext* oc);

// Installs the hooks through which a format context opens further files
// (image sequences, segments) so they understand the unicode form too.
void InstallUnicodeIO(AVFormatContext* ctx);

}  // namespace vexa
