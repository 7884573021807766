#include "media/ffmpeg_loader.h"

#include "media/av_entries.h"
#include "media/ffmpeg_logger.h"
#include "platform/error.h"
#include "platform/paths.h"

#include <dlfcn.h>
#include <algorithm>
#include <cassert>

namespace vexa {

TAVEntries AV;

namespace {

struct TEntryRef {
    const char* Name;
    void* Slot;  // address of the function pointer in AV
};

#define VEXA_REF(name) TEntryRef{#name, static_cast<void*>(&AV.name)},

const std::vector<TEntryRef>& Entries(TLibrary lib)
{
    static const std::vector<TEntryRef> avcodec{VEXA_AVCODEC_ENTRIES(VEXA_REF)};
    static const std::vector<TEntryRef> avdevice{VEXA_AVDEVICE_ENTRIES(VEXA_REF)};
    static const std::vector<TEntryRef> avfilter{VEXA_AVFILTER_ENTRIES(VEXA_REF)};
    static const std::vector<TEntryRef> avformat{VEXA_AVFORMAT_ENTRIES(VEXA_REF)};
    static const std::vector<TEntryRef> avutil{VEXA_AVUTIL_ENTRIES(VEXA_REF)};
    static const std::vector<TEntryRef> swscale{VEXA_SWSCALE_ENTRIES(VEXA_REF)};
    static const std::vector<TEntryRef> myutil{VEXA_MYUTIL_ENTRIES(VEXA_REF)};
    static const std::vector<TEntryRef> sdl{VEXA_SDL_ENTRIES(VEXA_REF)};
    static const std::vector<TEntryRef> swresample{VEXA_SWRESAMPLE_ENTRIES(VEXA_REF)};
    switch (lib) {
    case avCodec: return avcodec;
    case avDevice: return avdevice;
    case avFilter: return avfilter;
    case avFormat: return avformat;
    case avUtil: return avutil;
    case swScale: return swscale;
    case myUtil: return myutil;
    case lbSDL: return sdl;
    case swResample: return swresample;
    }
    return avutil;
}

#undef VEXA_REF

const TLibraryItem kLibraryTable[kLibraryCount] = {
    {avCodec, "avcodec", 59},   {avDevice, "avdevice", 59}, {avFilter, "avfilter", 8},
    {avFormat, "avformat", 59}, {avUtil, "avutil", 57},     {swScale, "swscale", 6},
    {myUtil, "c", 6},           {lbSDL, "SDL2-2.0", 0},     {swResample, "swresample", 4},
};

// Which of our libraries each one imports. When a library comes from a
// folder, the ones it imports are taken from that folder first, so a bundled
// set never mixes with the system's copies.
const std::vector<TLibrary>& Imports(TLibrary lib)
{
    static const std::vector<TLibrary> none;
    static const std::vector<TLibrary> onUtil{avUtil};
    static const std::vector<TLibrary> codec{avUtil, swResample};
    static const std::vector<TLibrary> format{avUtil, swResample, avCodec};
    static const std::vector<TLibrary> filter{avUtil, swResample, swScale, avCodec, avFormat};
    static const std::vector<TLibrary> device{avUtil, swResample, swScale, avCodec, avFormat, avFilter};
    switch (lib) {
    case avCodec: return codec;
    case avFormat: return format;
    case avFilter: return filter;
    case avDevice: return device;
    case swScale:
    case swResample: return onUtil;
    default: return none;
    }
}

// Unloading clears our bindings and releases the handle, but the code stays
// mapped: the libraries and what they pull in (encoders, their thread pools)
// keep global state that is not made to be unmapped, and a stale AVClass or
// callback pointer must never point into freed code.
constexpr int kOpenFlags = RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE;

std::string DlError()
{
    const char* e = ::dlerror();
    return e ? e : "unknown error";
}

void ClearEntries(TLibrary lib)
{
    for (const TEntryRef& e : Entries(lib)) {
        void* nothing = nullptr;
        std::memcpy(e.Slot, &nothing, sizeof nothing);
    }
}

}  // namespace

TFFmpegLoader::TFFmpegLoader()
{
    for (int i = 0; i < kLibraryCount; ++i)
        status_[i].Lib = static_cast<TLibrary>(i);
}

const TLibraryItem& TFFmpegLoader::Item(TLibrary lib)
{
    return kLibraryTable[lib];
}

std::string TFFmpegLoader::LibraryFileName(TLibrary lib)
{
    const TLibraryItem& item = Item(lib);
    std::string name = std::string("lib") + item.Name + ".so";
    if (item.Version >= 0)
        name += "." + std::to_string(item.Version);
    return name;
}

const char* TFFmpegLoader::DisplayName(TLibrary lib)
{
    static const char* const names[kLibraryCount] = {
        "LibAVCodec", "LibAVDevice", "LibAVFilter", "LibAVFormat", "LibAVUtil",
        "LibSwScale", "LibMyUtil",   "LibSDL",      "LibSwResample"};
    return names[lib];
}

void* TFFmpegLoader::OpenModule(TLibrary lib, const std::string& folder, const std::string& file,
                                std::string& tried)
{
    tried = folder + file;
    if (!folder.empty() && platform::FileExists(folder + file)) {
        // Remember the folder once, as a search path for later loads.
        std::string dir = folder;
        if (dir.size() > 1 && dir.back() == '/')
            dir.pop_back();
        if (std::find(searchFolders_.begin(), searchFolders_.end(), dir) == searchFolders_.end())
            searchFolders_.insert(searchFolders_.begin(), dir);
        for (TLibrary dep : Imports(lib)) {
            const std::string depFile = folder + LibraryFileName(dep);
            if (status_[dep].Handle == nullptr && platform::FileExists(depFile))
                if (void* h = ::dlopen(depFile.c_str(), kOpenFlags))
                    status_[lib].Imports.push_back(h);
        }
        return ::dlopen((folder + file).c_str(), kOpenFlags);
    }
    for (const std::string& dir : searchFolders_) {
        const std::string candidate = dir + "/" + file;
        if (platform::FileExists(candidate))
            return ::dlopen(candidate.c_str(), kOpenFlags);
    }
    return ::dlopen(file.c_str(), kOpenFlags);
}

void TFFmpegLoader::Fixup(TLibrary lib, const std::string& fileName, void* handle)
{
    for (const TEntryRef& e : Entries(lib)) {
        ::dlerror();
        void* sym = ::dlsym(handle, e.Name);
        if (!sym)
            RaiseFmt("Load function %s@%s error: %s", e.Name, fileName.c_str(), DlError().c_str());
        std::memcpy(e.Slot, &sym, sizeof sym);
    }
    if (lib == avDevice)
        AV.avdevice_register_all();
}

void TFFmpegLoader::AfterLoad(TLibrary lib)
{
    if (lib == avUtil && installLogger_)
        TFFLogger::Instance().InstallAVLogCallback();
    // The "unicode" names need no registration with the current format
    // library: every open goes through OpenInputFile/OpenOutputIO, which
    // recognise them (unicode_protocol.h).
}

bool TFFmpegLoader::Load(TLibrary lib)
{
    TLibraryStatus& st = status_[lib];
    if (st.Handle == nullptr) {
        std::string file = st.Name.empty() ? LibraryFileName(lib) : st.Name;
        std::string folder = platform::ExtractFileDir(file);
        if (!folder.empty()) {
            folder = platform::IncludeTrailingPathDelimiter(folder);
            file = platform::ExtractFileName(file);
        } else if (!libraryPath_.empty()) {
            folder = platform::IncludeTrailingPathDelimiter(libraryPath_);
        }
        std::string tried;
        void* handle = OpenModule(lib, folder, file, tried);
        if (!handle) {
            lastErrMsg_ = Format("Load library %s error: %s", tried.c_str(), DlError().c_str());
            for (void* h : st.Imports)
                ::dlclose(h);
            st.Imports.clear();
            return false;
        }
        st.Handle = handle;
    }
    if (!st.Fixuped) {
        try {
            Fixup(lib, st.Name.empty() ? LibraryFileName(lib) : platform::ExtractFileName(st.Name), st.Handle);
            st.Fixuped = true;
        } catch (const Error& e) {
            lastErrMsg_ = e.what();
        }
    }
    if (!st.Fixuped) {
        Unload(lib);
        return false;
    }
    AfterLoad(lib);
    return true;
}

bool TFFmpegLoader::Load(TLibraries libs)
{
    assert(!libs.Empty());
    // A failure unbinds only what this call bound: a library of the set that
    // was loaded before may be in use by another component.
    TLibraries bound;
    for (int i = 0; i < kLibraryCount; ++i) {
        const TLibrary lib = static_cast<TLibrary>(i);
        if (!libs.Contains(lib))
            continue;
        const bool before = Loaded(lib);
        if (!Load(lib)) {
            const std::string first = lastErrMsg_;
            if (!bound.Empty())
                Unload(bound);
            lastErrMsg_ = first;
            return false;
        }
        if (!before)
            bound = bound.With(lib);
    }
    return true;
}

bool TFFmpegLoader::Loaded(TLibrary lib) const
{
    return status_[lib].Handle != nullptr && status_[lib].Fixuped;
}

bool TFFmpegLoader::Loaded(TLibraries libs) const
{
    assert(!libs.Empty());
    for (int i = 0; i < kLibraryCount; ++i)
        if (libs.Contains(static_cast<TLibrary>(i)) && !Loaded(static_cast<TLibrary>(i)))
            return false;
    return true;
}

void TFFmpegLoader::Unload(TLibrary lib)
{
    TLibraryStatus& st = status_[lib];
    if (st.Fixuped) {
        if (lib == avUtil)
            TFFLogger::UninstallAVLogCallback();
        ClearEntries(lib);
        st.Fixuped = false;
    }
    if (st.Handle) {
        ClearEntries(lib);  // a failed fixup may have bound some entries
        ::dlclose(st.Handle);
        st.Handle = nullptr;
    }
    for (void* h : st.Imports)
        ::dlclose(h);
    st.Imports.clear();
}

void TFFmpegLoader::Unload(TLibraries libs)
{
    assert(!libs.Empty());
    for (int i = 0; i < kLibraryCount; ++i)
        if (libs.Contains(static_cast<TLibrary>(i)))
            Unload(static_cast<TLibrary>(i));
}

void TFFmpegLoader::ForgetSearchFolders()
{
    searchFolders_.clear();
}

TFFmpegLoader& FFLoader()
{
    static TFFmpegLoader loader;
    return loader;
}

bool LoadAVLibSet(TLibraries libs, const std::string& path, std::string& lastErrMsg)
{
    FFLoader().SetLibraryPath(path);
    if (FFLoader().Load(libs))
        return true;
    lastErrMsg = FFLoader().LastErrMsg();
    return false;
}

bool AVLibSetLoaded(TLibraries libs)
{
    return FFLoader().Loaded(libs);
}

void UnloadAVLibSet(TLibraries libs)
{
    FFLoader().Unload(libs);
}

void CheckAVLibSet(TLibraries libs)
{
    for (int i = 0; i < kLibraryCount; ++i) {
        const TLibrary lib = static_cast<TLibrary>(i);
        if (libs.Contains(lib) && !FFLoader().Loaded(lib))
            RaiseFmt("%s not loaded.", TFFmpegLoader::DisplayName(lib));
    }
}

}  // namespace vexa
