#include "media/av_entries.h"
#include "media/ffmpeg_loader.h"
#include "platform/error.h"

#include <gtest/gtest.h>

#include <dlfcn.h>
#include <filesystem>

using namespace vexa;
namespace fs = std::filesystem;

namespace {

const char* kSystemLibDir = "/usr/lib/x86_64-linux-gnu";

// The file a bound entry point came from.
std::string OriginOf(const void* symbol)
{
    Dl_info info{};
    return dladdr(symbol, &info) && info.dli_fname ? info.dli_fname : "";
}

// A folder holding links to some of the real libraries.
std::string FolderWith(const std::string& name, std::initializer_list<TLibrary> libs)
{
    const fs::path dir = fs::path(VEXA_TEST_BINARY_DIR) / name;
    fs::remove_all(dir);
    fs::create_directories(dir);
    for (TLibrary l : libs) {
        const std::string file = TFFmpegLoader::LibraryFileName(l);
        fs::create_symlink(fs::path(kSystemLibDir) / file, dir / file);
    }
    return dir.string();
}

}  // namespace

TEST(Loader, FileNamesFollowTheInstalledSeries)
{
    const std::pair<TLibrary, const char*> cases[] = {
        {avCodec, "libavcodec.so.59"}, {avDevice, "libavdevice.so.59"}, {avFilter, "libavfilter.so.8"},
        {avFormat, "libavformat.so.59"}, {avUtil, "libavutil.so.57"}, {swScale, "libswscale.so.6"},
        {myUtil, "libc.so.6"}, {lbSDL, "libSDL2-2.0.so.0"}, {swResample, "libswresample.so.4"}};
    for (const auto& [lib, file] : cases)
        EXPECT_EQ(TFFmpegLoader::LibraryFileName(lib), file);
}

TEST(Loader, BindsEveryEntryPointOfEveryLibrary)
{
    FFLoader().SetLibraryPath("");
    for (int i = 0; i < kLibraryCount; ++i)
        ASSERT_TRUE(FFLoader().Load(static_cast<TLibrary>(i))) << FFLoader().LastErrMsg();
#define VEXA_EXPECT_BOUND(name) EXPECT_NE(AV.name, nullptr) << #name;
    VEXA_AVCODEC_ENTRIES(VEXA_EXPECT_BOUND)
    VEXA_AVDEVICE_ENTRIES(VEXA_EXPECT_BOUND)
    VEXA_AVFILTER_ENTRIES(VEXA_EXPECT_BOUND)
    VEXA_AVFORMAT_ENTRIES(VEXA_EXPECT_BOUND)
    VEXA_AVUTIL_ENTRIES(VEXA_EXPECT_BOUND)
    VEXA_SWSCALE_ENTRIES(VEXA_EXPECT_BOUND)
    VEXA_MYUTIL_ENTRIES(VEXA_EXPECT_BOUND)
    VEXA_SDL_ENTRIES(VEXA_EXPECT_BOUND)
    VEXA_SWRESAMPLE_ENTRIES(VEXA_EXPECT_BOUND)
#undef VEXA_EXPECT_BOUND
    EXPECT_TRUE(AVLibSetLoaded(kPlayerLibraries));
    EXPECT_GE(AV.avcodec_version() >> 16, 59u);

    // Unloading clears the table again; loading twice is harmless.
    FFLoader().Unload(swScale);
    EXPECT_EQ(AV.sws_scale, nullptr);
    EXPECT_FALSE(AVLibSetLoaded(kEngineLibraries));
    EXPECT_THROW(CheckAVLibSet(kEngineLibraries), Error);
    try {
        CheckAVLibSet(kProbeLibraries);
        FAIL();
    } catch (const Error& e) {
        EXPECT_STREQ(e.what(), "LibSwScale not loaded.");
    }
    EXPECT_TRUE(FFLoader().Load(swScale));
    EXPECT_TRUE(FFLoader().Load(swScale));
    EXPECT_NE(AV.sws_scale, nullptr);
}

TEST(Loader, BrokenLibraryInTheFolderFailsTheWholeSet)
{
    std::string err;
    ASSERT_FALSE(LoadAVLibSet(kEngineLibraries, BROKEN_LIB_DIR, err));
    const std::string path = std::string(BROKEN_LIB_DIR) + "/libswscale.so.6";
    EXPECT_EQ(err, "Load library " + path + " error: " + path + ": file too short");
    for (TLibrary l : {avCodec, avFilter, avFormat, avUtil, swScale, myUtil, swResample})
        EXPECT_FALSE(FFLoader().Loaded(l)) << TFFmpegLoader::LibraryFileName(l);
    EXPECT_EQ(AV.avcodec_open2, nullptr);
    EXPECT_EQ(AV.av_malloc, nullptr);
}

TEST(Loader, MissingLibraryNamesThePathTried)
{
    FFLoader().Status(swScale).Name = "libswscale.so.0";
    FFLoader().SetLibraryPath("/nonexistent/LibAV");
    ASSERT_FALSE(FFLoader().Load(kProbeLibraries));
    EXPECT_EQ(FFLoader().LastErrMsg(),
              "Load library /nonexistent/LibAV/libswscale.so.0 error: libswscale.so.0: cannot open shared object "
              "file: No such file or directory");
    EXPECT_FALSE(FFLoader().Loaded(avCodec));
}

TEST(Loader, MissingEntryPointNamesFunctionAndLibraryAndClearsPartialBinding)
{
    std::string err;
    ASSERT_FALSE(LoadAVLibSet(kProbeLibraries, FAKE_LIB_DIR, err));
    const std::string path = std::string(FAKE_LIB_DIR) + "/libswscale.so.6";
    EXPECT_EQ(err, "Load function sws_freeContext@libswscale.so.6 error: " + path + ": undefined symbol: sws_freeContext");
    EXPECT_EQ(AV.sws_getContext, nullptr);  // bound before the failure, cleared after it
    EXPECT_FALSE(FFLoader().Loaded(swScale));
    EXPECT_EQ(FFLoader().Status(swScale).Handle, nullptr);
    EXPECT_FALSE(AVLibSetLoaded(kProbeLibraries));
}

TEST(Loader, LibraryFolderIsUsedFirstAndRememberedOnce)
{
    const std::string dir = FolderWith("libav-folder", {avUtil, swResample, avCodec});
    FFLoader().SetLibraryPath(dir);
    ASSERT_TRUE(FFLoader().Load(avCodec)) << FFLoader().LastErrMsg();
    // avcodec came from the folder, and so did the two libraries it imports,
    // loaded ahead of it so the bundled set does not mix with the system's.
    EXPECT_EQ(OriginOf(reinterpret_cast<void*>(AV.avcodec_open2)), dir + "/libavcodec.so.59");
    EXPECT_EQ(FFLoader().Status(avCodec).Imports.size(), 2u);
    ASSERT_TRUE(FFLoader().Load(avUtil));
    EXPECT_EQ(OriginOf(reinterpret_cast<void*>(AV.av_malloc)), dir + "/libavutil.so.57");
    ASSERT_EQ(FFLoader().SearchFolders().size(), 1u);

    // Without a library path, the remembered folder is still searched first;
    // and it is not added a second time.
    FFLoader().Unload(TLibraries{avCodec, avUtil});
    FFLoader().SetLibraryPath("");
    ASSERT_TRUE(FFLoader().Load(avUtil));
    EXPECT_EQ(OriginOf(reinterpret_cast<void*>(AV.av_malloc)), dir + "/libavutil.so.57");
    FFLoader().SetLibraryPath(dir + "/");
    ASSERT_TRUE(FFLoader().Load(avCodec));
    EXPECT_EQ(FFLoader().SearchFolders(), std::vector<std::string>{dir});

    // A library the folder lacks comes through the system search order.
    ASSERT_TRUE(FFLoader().Load(swScale));
    EXPECT_EQ(OriginOf(reinterpret_cast<void*>(AV.sws_scale)).find(dir), std::string::npos);
}
