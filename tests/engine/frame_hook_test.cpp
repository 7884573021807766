// Frame hook modules: loading, the entry points, the result codes.
#include "engine_test_support.h"

#include "media/frame_hook.h"

#include <dlfcn.h>

using namespace vexa;
using namespace vexa::test;

namespace {

class FrameHookTest : public EngineTest {};

int* ModuleInt(const char* path, const char* name)
{
    // The module is already loaded; this only finds it.
    void* h = ::dlopen(path, RTLD_NOW | RTLD_NOLOAD);
    EXPECT_NE(h, nullptr);
    int* p = h ? static_cast<int*>(::dlsym(h, name)) : nullptr;
    if (h)
        ::dlclose(h);
    return p;
}

TEST_F(FrameHookTest, InvertModuleRunsOnPictures)
{
    TFrameHookList hooks;
    ASSERT_EQ(hooks.Add({VEXA_HOOK_INVERT, "a", "b"}), 0);
    EXPECT_EQ(*ModuleInt(VEXA_HOOK_INVERT, "ConfiguredArgc"), 3);
    ASSERT_EQ(hooks.Add({VEXA_HOOK_INVERT}), 0);  // loaded once, hooked twice
    EXPECT_EQ(hooks.Count(), 2u);

    uint8_t pixels[2 * 8] = {0, 10, 20, 30, 40, 50, 60, 70, 80, 90, 100, 110, 120, 130, 140, 250};
    VexaHookPicture pict{};
    pict.data[0] = pixels;
    pict.linesize[0] = 8;
    hooks.Process(&pict, AV_PIX_FMT_GRAY8, 4, 2, 0);  // twice inverted: unchanged in the used area
    EXPECT_EQ(pixels[0], 0);
    EXPECT_EQ(pixels[5], 50);  // outside the 4-pixel width: untouched
    TFrameHookList one;
    ASSERT_EQ(one.Add({VEXA_HOOK_INVERT}), 0);
    one.Process(&pict, AV_PIX_FMT_GRAY8, 4, 2, 0);
    EXPECT_EQ(pixels[0], 255);
    EXPECT_EQ(pixels[3], 225);
    EXPECT_EQ(pixels[8 + 1], 255 - 90);
    EXPECT_EQ(pixels[4], 40);

    int* released = ModuleInt(VEXA_HOOK_INVERT, "ReleaseCount");
    const int before = *released;
    hooks.Release();
    EXPECT_EQ(*released, before + 2);
    EXPECT_TRUE(hooks.Empty());
}

TEST_F(FrameHookTest, ResultCodesAndMessages)
{
    LogCapture log;
    TFrameHookList hooks;
    EXPECT_EQ(hooks.Add({}), -2);
    EXPECT_EQ(hooks.Add({"/no/such/hook.so"}), -1);
    EXPECT_TRUE(log.Contains("/no/such/hook.so"));
    EXPECT_EQ(hooks.Add({VEXA_HOOK_NOPROCESS}), -2);
    EXPECT_TRUE(log.Contains(std::string("Failed to find Process entrypoint in ") + VEXA_HOOK_NOPROCESS));
    EXPECT_EQ(hooks.Add({VEXA_HOOK_NOCONFIGURE}), 0);  // no arguments: Configure not needed
    EXPECT_EQ(hooks.Add({VEXA_HOOK_NOCONFIGURE, "x"}), -2);
    EXPECT_TRUE(log.Contains(std::string("Failed to find Configure entrypoint in ") + VEXA_HOOK_NOCONFIGURE));
    EXPECT_EQ(hooks.Add({VEXA_HOOK_INVERT, "fail"}), -22);
    EXPECT_TRUE(log.Contains(std::string("Failed to Configure ") + VEXA_HOOK_INVERT));
    EXPECT_EQ(hooks.Count(), 1u);
}

TEST_F(FrameHookTest, OptionValueSplitting)
{
    EXPECT_EQ(SplitHookArguments("mod.so  -a 1"), (std::vector<std::string>{"mod.so", "-a", "1"}));
    EXPECT_EQ(SplitHookArguments("/my hooks/mod.so|text with blanks|x"),
              (std::vector<std::string>{"/my hooks/mod.so", "text with blanks", "x"}));
    std::string many = "m";
    for (int i = 0; i < 300; ++i)
        many += " a";
    EXPECT_EQ(SplitHookArguments(many).size(), 254u);

    TCustomFFmpeg t;
    t.SetOption("vhook", std::string(VEXA_HOOK_INVERT) + " a");
    EXPECT_EQ(t.frame_hooks.Count(), 1u);
    EXPECT_EQ(ErrorOf([&] { t.SetOption("vhook", std::string(VEXA_HOOK_INVERT) + " fail"); }),
              std::string("Failed to add video hook function: ") + VEXA_HOOK_INVERT + " fail");
}

}  // namespace
