#pragma once
// File names for the media libraries.
//
// A file name is bytes: it reaches the libraries unchanged, as a "file:" URL,
// so that a colon in it never selects a protocol and a leading dash or bytes
// that are not UTF-8 mean nothing special. Names that carry a protocol of
// the list below pass as they are; "unicode:utf8:" names are opened by our
// own I/O (the five operations below). Every file name given to the libraries
// goes through EncodeLibFileName, every name coming back through
// DecodeLibFileName, and every open through OpenInputFile / OpenOutputIO,
// which understand all these forms.
#include <cstdint>
#include <string>

struct AVFormatContext;
struct AVInputFormat;
struct AVDictionary;
struct AVIOContext;

namespace vexa {

inline constexpr char kUnicodePrefix[] = "unicode:utf8:";
inline constexpr char kProtocolList[] = ":unicode:stream:gopher:http:pipe:rtp:tcp:udp:";
inline constexpr char kFilePrefix[] = "file:";

// The locale's character set ("UTF-8", "ANSI_X3.4-1968", ...).
std::string SystemCodeSet();
// UTF-8 text to the locale's 8-bit text and back; what cannot be expressed
// becomes '?' (and U+FFFD on the way back). Never for file names.
std::string ToSystemCodePage(const std::string& utf8);
std::string FromSystemCodePage(const std::string& bytes);

// Whether the text before the first ':' is a protocol of kProtocolList
// (compared with case).
bool CarriesProtocol(const std::string& name);
// A local name becomes "file:" + its bytes; a name that carries a protocol
// stays as it is.
std::string EncodeLibFileName(const std::string& name);
// The inverse: "file:" and "unicode:utf8:" are taken off, the bytes kept.
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
