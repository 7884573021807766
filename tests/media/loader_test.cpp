#include "media/av_entries.h"
#include "media/ffmpeg_loader.h"
#include "platform/error.h"

#include <gtest/gtest.h>

#include <dlfcn.h>
#include <filesystem>
#include <fstream>

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

// Every test starts and leaves with nothing loaded, no library path, no
// remembered folder and no file name overrides.
class Loader : public ::testing::Test {
protected:
    void SetUp() override { Reset(); }
    void TearDown() override { Reset(); }
    static void Reset()
    {
        for (int i = 0; i < kLibraryCount; ++i) {
            FFLoader().Unload(static_cast<TLibrary>(i));
            FFLoader().Status(static_cast<TLibrary>(i)).Name.clear();
        }
        FFLoader().SetLibraryPath("");
        FFLoader().ForgetSearchFolders();
    }
};

// Every library some component loads. The device library is bound by the
// table but loaded by none of them, so a machine need not have it.
constexpr TLibraries kUsedLibraries{avCodec, avFilter, avFormat, avUtil, swScale, myUtil, lbSDL, swResample};

}  // namespace

TEST_F(Loader, FileNamesFollowTheInstalledSeries)
{
    const std::pair<TLibrary, const char*> cases[] = {
        {avCodec, "libavcodec.so.59"}, {avDevice, "libavdevice.so.59"}, {avFilter, "libavfilter.so.8"},
        {avFormat, "libavformat.so.59"}, {avUtil, "libavutil.so.57"}, {swScale, "libswscale.so.6"},
        {myUtil, "libc.so.6"}, {lbSDL, "libSDL2-2.0.so.0"}, {swResample, "libswresample.so.4"}};
    for (const auto& [lib, file] : cases)
        EXPECT_EQ(TFFmpegLoader::LibraryFileName(lib), file);
}

TEST_F(Loader, BindsEveryEntryPointOfEveryLibraryTheComponentsLoad)
{
    for (int i = 0; i < kLibraryCount; ++i) {
        if (kUsedLibraries.Contains(static_cast<TLibrary>(i))) {
            ASSERT_TRUE(FFLoader().Load(static_cast<TLibrary>(i))) << FFLoader().LastErrMsg();
        }
    }
#define VEXA_EXPECT_BOUND(name) EXPECT_NE(AV.name, nullptr) << #name;
    VEXA_AVCODEC_ENTRIES(VEXA_EXPECT_BOUND)
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

TEST_F(Loader, DeviceLibraryBindsWhereItIsInstalled)
{
    void* probe = ::dlopen(TFFmpegLoader::LibraryFileName(avDevice).c_str(), RTLD_LAZY);
    if (!probe)
        GTEST_SKIP() << TFFmpegLoader::LibraryFileName(avDevice) << " is not installed; no component loads it";
    ::dlclose(probe);
    ASSERT_TRUE(FFLoader().Load(avDevice)) << FFLoader().LastErrMsg();
#define VEXA_EXPECT_BOUND(name) EXPECT_NE(AV.name, nullptr) << #name;
    VEXA_AVDEVICE_ENTRIES(VEXA_EXPECT_BOUND)
#undef VEXA_EXPECT_BOUND
}

// One component's libraries are bound; another component's set fails to load
// part-way. What the first uses stays bound; what the failed load bound goes.
TEST_F(Loader, FailedSetLoadLeavesAnotherComponentsLibrariesBound)
{
    std::string err;
    ASSERT_TRUE(LoadAVLibSet(kProbeLibraries, "", err)) << err;
    const fs::path dir = fs::path(VEXA_TEST_BINARY_DIR) / "broken-resample";
    fs::create_directories(dir);
    std::ofstream(dir / TFFmpegLoader::LibraryFileName(swResample)).close();  // an empty file

    ASSERT_FALSE(LoadAVLibSet(kEngineLibraries, dir.string(), err));
    EXPECT_NE(err.find("libswresample.so.4"), std::string::npos) << err;
    EXPECT_TRUE(AVLibSetLoaded(kProbeLibraries));
    EXPECT_NE(AV.avcodec_open2, nullptr);
    EXPECT_NE(AV.avformat_open_input, nullptr);
    EXPECT_NE(AV.sws_scale, nullptr);
    // avfilter came with the failed load and left with it.
    EXPECT_FALSE(FFLoader().Loaded(avFilter));
    EXPECT_EQ(AV.avfilter_graph_alloc, nullptr);
    EXPECT_FALSE(FFLoader().Loaded(swResample));
}

TEST_F(Loader, BrokenLibraryInTheFolderFailsTheWholeSet)
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

TEST_F(Loader, MissingLibraryNamesThePathTried)
{
    FFLoader().Status(swScale).Name = "libswscale.so.0";
    FFLoader().SetLibraryPath("/nonexistent/LibAV");
    ASSERT_FALSE(FFLoader().Load(kProbeLibraries));
    EXPECT_EQ(FFLoader().LastErrMsg(),
              "Load library /nonexistent/LibAV/libswscale.so.0 error: libswscale.so.0: cannot open shared object "
              "file: No such file or directory");
    EXPECT_FALSE(FFLoader().Loaded(avCodec));
}

TEST_F(Loader, MissingEntryPointNamesFunctionAndLibraryAndClearsPartialBinding)
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

TEST_F(Loader, LibraryFolderIsUsedFirstAndRememberedOnce)
{
    // Unloading keeps code mapped, and the folder holds links to the system's
    // files: once those are mapped, the same files come back under their
    // first name. CTest runs each test in a process of its own.
    for (TLibrary l : {avUtil, swResample, avCodec})
        if (void* h = ::dlopen((fs::path(kSystemLibDir) / TFFmpegLoader::LibraryFileName(l)).c_str(),
                               RTLD_LAZY | RTLD_NOLOAD)) {
            ::dlclose(h);
            GTEST_SKIP() << "an earlier test of this process mapped " << TFFmpegLoader::LibraryFileName(l);
        }
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
