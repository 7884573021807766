#include "engine/ff_options.h"

#include <gtest/gtest.h>

using namespace vexa;

TEST(Records, ResetOutputOptionsHoldsTheDefaults)
{
    TOutputOptions o;
    o.FileName = "x.avi";
    o.VideoBitrate = 800000;
    o.AudioSyncMethod = 3;
    o.Info.Title = "t";
    o.Info.TimeStamp = 0.0;
    o.TargetType = ttDVD;
    o.Join = true;
    InitOutputOptions(o);

    const int32_t minusOne[] = {o.PacketSize, o.MuxRate, o.AudioVolume, o.AudioChannels, o.AudioSampleRate,
                                o.AudioBitrate, o.AudioBitRateTolerance, o.CropTop, o.CropBottom, o.CropLeft,
                                o.CropRight, o.GroupPictureSize, o.VideoBitrate, o.VideoMaxRate, o.VideoMinRate,
                                o.VideoBitRateTolerance, o.VideoBufSize, o.VideoSyncMethod, o.Info.Year, o.Info.Track};
    for (int32_t v : minusOne)
        EXPECT_EQ(v, -1);
    EXPECT_EQ(o.AudioSyncMethod, 0);
    EXPECT_EQ(o.MuxDelay, -1.0f);
    EXPECT_EQ(o.MuxPreload, -1.0f);
    EXPECT_EQ(o.Info.TimeStamp, -1.0);
    EXPECT_EQ(o.TimeStart, kNoTimestamp);
    EXPECT_EQ(o.TimeLength, kNoTimestamp);
    EXPECT_EQ(o.TimeStart, INT64_MIN);
    EXPECT_TRUE(o.FileName.empty() && o.Info.Title.empty() && o.ExtOptions.empty());
    EXPECT_FALSE(o.DisableAudio || o.DisableVideo || o.DisableSubtitle || o.InputSync || o.CopyTimestamp ||
                 o.CustomHook || o.Join);
    EXPECT_EQ(o.TargetType, ttIgnore);
    EXPECT_EQ(o.NormType, ntAuto);
    EXPECT_EQ(o.NormDefault, ntPAL);
    EXPECT_EQ(o.Data, nullptr);
}

TEST(Records, ResetInputOptionsAndCopiesAreIndependent)
{
    TInputOptions a;
    a.FileName = "/in/a.mp4";
    a.ProgramID = 3;
    a.TimeStart = 5000000;
    TInputOptions b = a;
    InitInputOptions(a);
    EXPECT_TRUE(a.FileName.empty());
    EXPECT_EQ(a.ProgramID, -1);
    EXPECT_EQ(a.TimeStart, kNoTimestamp);
    EXPECT_EQ(b.FileName, "/in/a.mp4");  // the copy kept its own text
    EXPECT_EQ(TTerminateInfo{}.TaskIndex, -1);
    EXPECT_TRUE(TTerminateInfo{}.Finished);
}
