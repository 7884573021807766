#pragma once
// Loads the media libraries at run time and binds the entry-point table.
//
// A library is looked for in the library folder (LibraryPath) first, then
// in the folders earlier loads used, then through the system search order.
// Loading is main-thread only; binding fills `AV` (av_entries.h).
#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

namespace vexa {

enum TLibrary : int {
    avCodec, avDevice, avFilter, avFormat, avUtil, swScale, myUtil, lbSDL,
    // Resampling and sample-format conversion moved out of avcodec in the
    // current library generation; it gets its own slot after the others.
    swResample,
};
constexpr int kLibraryCount = 9;

// A set of libraries; members are always visited in ascending order.
class TLibraries {
public:
    constexpr TLibraries() = default;
    constexpr TLibraries(std::initializer_list<TLibrary> libs)
    {
        for (TLibrary l : libs)
            bits_ = static_cast<uint16_t>(bits_ | (1u << l));
    }
    constexpr bool Contains(TLibrary l) const { return (bits_ >> l) & 1u; }
    constexpr TLibraries With(TLibrary l) const
    {
        TLibraries r = *this;
        r.bits_ = static_cast<uint16_t>(r.bits_ | (1u << l));
        return r;
    }
    constexpr bool Empty() const { return bits_ == 0; }
    constexpr uint16_t Bits() const { return bits_; }

private:
    uint16_t bits_ = 0;
};

// The sets the components load.
inline constexpr TLibraries kEngineLibraries{avCodec, avFilter, avFormat, avUtil, swScale, myUtil, swResample};
inline constexpr TLibraries kProbeLibraries{avCodec, avFormat, avUtil, swScale, myUtil};
inline constexpr TLibraries kPlayerLibraries{avCodec, avFilter, avFormat, avUtil, swScale, myUtil, lbSDL, swResample};

struct TLibraryItem {
    TLibrary Lib;
    const char* Name;  // base name: "avcodec" -> "libavcodec.so.59"
    int Version;       // -1: the file name carries no version
};

struct TLibraryStatus {
    TLibrary Lib = avCodec;
    std::string Name;  // overrides the table's file name (may include a folder)
    void* Handle = nullptr;
    bool Fixuped = false;
    std::vector<void*> Imports;  // libraries of the same folder loaded ahead of it
};

class TFFmpegLoader {
public:
    TFFmpegLoader();
    TFFmpegLoader(const TFFmpegLoader&) = delete;
    TFFmpegLoader& operator=(const TFFmpegLoader&) = delete;

    bool Load(TLibrary lib);
    // All or nothing; a failure unbinds what this call bound and leaves the
    // members that were loaded before it (another component's) alone.
    bool Load(TLibraries libs);
    bool Loaded(TLibrary lib) const;
    bool Loaded(TLibraries libs) const;
    void Unload(TLibrary lib);
    void Unload(TLibraries libs);

    const std::string& LastErrMsg() const { return lastErrMsg_; }
    const std::string& LibraryPath() const { return libraryPath_; }
    void SetLibraryPath(const std::string& path) { libraryPath_ = path; }
    bool InstallLogger() const { return installLogger_; }
    void SetInstallLogger(bool on) { installLogger_ = on; }

    TLibraryStatus& Status(TLibrary lib) { return status_[lib]; }
    // Folders earlier loads took libraries from, searched before the system.
    const std::vector<std::string>& SearchFolders() const { return searchFolders_; }
    void ForgetSearchFolders();

    static const TLibraryItem& Item(TLibrary lib);
    static std::string LibraryFileName(TLibrary lib);
    // "LibAVCodec", "LibAVFormat", ...: the name used in "... not loaded." errors.
    static const char* DisplayName(TLibrary lib);

private:
    void* OpenModule(TLibrary lib, const std::string& folder, const std::string& file, std::string& tried);
    void Fixup(TLibrary lib, const std::string& fileName, void* handle);
    void AfterLoad(TLibrary lib);

    TLibraryStatus status_[kLibraryCount];
    std::string lastErrMsg_;
    std::string libraryPath_;
    bool installLogger_ = true;
    std::vector<std::string> searchFolders_;
};

// The one loader of the process.
TFFmpegLoader& FFLoader();

// What the engine, the probe and the player do through their LoadAVLib,
// AVLibLoaded and UnloadAVLib.
bool LoadAVLibSet(TLibraries libs, const std::string& path, std::string& lastErrMsg);
bool AVLibSetLoaded(TLibraries libs);
void UnloadAVLibSet(TLibraries libs);
// Raises "<DisplayName> not loaded." for the first member that is not bound.
void CheckAVLibSet(TLibraries libs);

}  // namespace vexa
