#pragma once
// Column numbers of a job row. Column 0 is the row's caption, the others its
// sub-items; every cell is text.

namespace vexa::catalogue {

enum TJobColumn : int {
    jcInputFile = 0,      // "输入文件"
    jcDuration = 1,       // "视频时间"
    jcFileSize = 2,       // "文件大小"
    jcOutputFile = 3,     // "输出文件": file name without folder
    jcProgress = 4,       // "转换进度"
    jcSpeed = 5,
    jcCurrentTime = 6,    // "当前时间"
    jcConvertedSize = 7,  // "转换大小"
    jcTaskNumber = 8,     // "视频序号"
    jcPresetKey = 9,      // "视频类别"
    jcOptionIndex = 10,   // "视频选项": the option index string
    jcVideoCodec = 11,    // "视频编码"
    jcAudioCodec = 12,    // "音频编码"
    jcAudioChannels = 13, // "声音频道"
    jcVideoTag = 14,      // "VideoTag"
    jcFileExt = 15,       // "FileExt"
    jcFrameSize = 16,     // "视频分辨率"
    jcVideoBitrate = 17,  // "视频比特率"
    jcFrameRate = 18,     // "视频帧率"
    jcAudioBitrate = 19,  // "音频比特率"
    jcSampleRate = 20,    // "音频采样率"
    jcAspect = 21,        // "视频缩放"
    jcDisableVideo = 22,  // "视频能否"
    jcTargetType = 23,    // "TargetType"
    jcNormType = 24,      // "NormType"
};

inline constexpr int kJobColumnCount = 25;

}  // namespace vexa::catalogue
