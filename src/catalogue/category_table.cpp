#include "catalogue/tables.h"

namespace vexa::catalogue::tables {

// Picker order; the position is part of every preset key.
constexpr std::string_view kCategoryCaptions[] = {
    "常用视频",  // 0
    "常用音频",  // 1
    "HD视频",  // 2
    "iPod视频",  // 3
    "iPhone视频",  // 4
    "PSP视频",  // 5
    "3GP视频",  // 6
    "APPLE视频",  // 7
    "XboX视频",  // 8
    "PMP视频",  // 9
    "MP4视频",  // 10
    "Flash视频",  // 11
    "iPad视频",  // 12
    "MPG视频",  // 13
    "SWF视频",  // 14
    "AVI视频",  // 15
    "MKV视频",  // 16
    "WMV视频",  // 17
    "ASF视频",  // 18
    "Android视频",  // 19
    "VOB视频",  // 20
    "MTS视频",  // 21
    "MOD视频",  // 22
    "RMVB视频",  // 23
    "VCD视频",  // 24
    "MOV视频",  // 25
    "H.264视频",  // 26
    "AVCHD视频",  // 27
    "WMA音频",  // 28
    "MP3音频",  // 29
    "WAV音频",  // 30
    "智能手机",  // 31
    "平板电脑",  // 32
    "智能电视",  // 33
    "网络机顶盒",  // 34
};

std::span<const std::string_view> CategoryCaptions()
{
    return kCategoryCaptions;
}

}  // namespace vexa::catalogue::tables
