#include "catalogue/tables.h"

namespace vexa::catalogue::tables {

// Video(key, output ext, codec, tag, frame rate, frame size, aspect, video kbit/s)
// takes its audio from the container unless .Audio(codec, channels, rate, kbit/s)
// says otherwise.
constexpr TPresetEntry kPresets[] = {
    // 0 常用视频
    Video(100, ".avi", "mpeg4", "XVID", "25", "", "", 816),
    Video(101, ".mp4", "mpeg4", "", "25", "", "", 816).Audio("libmp3lame", "2", "44100", 128),
    Video(102, ".avi", "mpeg4", "DX50", "25", "", "", 816),
    Video(103, ".mov", "", "", "25", "", "", 816),
    Video(104, ".avi", "libxvid", "", "25", "", "", 816),
    Video(105, ".mkv", "mpeg4", "", "25", "", "", 1200),
    Video(106, ".mpg", "mpeg1video", "", "25", "", "", 528),
    Video(107, ".mpg", "mpeg2video", "", "25", "", "", 816),
    Video(108, ".asf", "msmpeg4", "", "25", "", "", 816),
    Video(109, ".3gp", "mpeg4", "", "12", "176*144", "4:3", 128).Audio("libfaac", "1", "8000", 12),
    Video(110, ".wmv", "wmv2", "", "25", "", "", 816),
    Disc(111, ".mpg", "dvd", "PAL"),
    Disc(112, ".mpg", "svcd", "PAL"),
    Disc(113, ".mpg", "vcd", "PAL"),
    RealMedia(114, ".rm", "rv20", "320*240"),
    // 1 常用音频
    AudioOnly(200, ".mp3", "libmp3lame", "2", "48000", 128),
    AudioOnly(201, ".wma", "wmav2", "2", "48000", 128),
    AudioOnly(202, ".wav", "", "2", "48000", 128),
    AudioOnly(203, ".aac", "libfaac", "2", "48000", 128),
    AudioOnly(204, ".m4a", "", "2", "48000", 128),
    AudioOnly(205, ".ogg", "libvorbis", "2", "48000", 128),
    AudioOnly(206, ".ra", "", "2", "48000", 128).WithFileExt(".rm"),
    AudioOnly(207, ".ac3", "ac3", "2", "48000", 128),
    AudioOnly(208, ".aiff", "", "2", "48000", 128),
    AudioOnly(209, ".mp2", "", "2", "44100", 128),
    AudioOnly(210, ".flac", "flac", "2", "48000", 128),
    AudioOnly(211, ".m4a", "", "2", "48000", 128),
    AudioOnly(212, ".amr", "libopencore_amrnb", "1", "8000", 7.4),
    // 2 HD视频
    Video(300, ".avi", "mpeg4", "", "25", "1280*720", "", 1600).Audio("libmp3lame", "2", "48000", 128),
    Video(301, ".avi", "libxvid", "", "25", "1280*720", "", 1600).Audio("libmp3lame", "2", "48000", 128),
    Video(302, ".mp4", "libx264", "", "25", "1280*720", "", 1600).Audio("libmp3lame", "2", "48000", 256),
    Video(303, ".mp4", "mpeg4", "", "25", "1280*720", "", 1600).Audio("libmp3lame", "2", "48000", 128),
    Video(304, ".mov", "", "", "25", "1280*720", "", 1600).Audio("libfaac", "2", "48000", 128),
    Video(305, ".asf", "msmpeg4", "", "25", "1280*720", "", 1600).Audio("wmav2", "2", "48000", 128),
    Video(306, ".wmv", "wmv2", "", "25", "1280*720", "", 1600).Audio("wmav2", "2", "48000", 128).WithFileExt(".asf"),
    Video(307, ".vob", "", "", "25", "1280*720", "", 1600),
    // AC-3: a program stream has no room for AAC.
    Video(308, ".mpg", "mpeg2video", "", "25", "1280*720", "", 1600).Audio("ac3", "2", "48000", 128),
    Video(309, ".mkv", "mpeg4", "", "25", "1280*720", "", 1600).Audio("libfaac", "2", "48000", 192),
    // 3 iPod视频
    Video(400, ".mp4", "libx264", "", "25", "320*240", "", 512),
    Video(401, ".mp4", "libxvid", "", "25", "320*240", "", 768),
    Video(402, ".mp4", "libxvid", "", "25", "640*480", "", 768),
    Video(403, ".mp4", "libxvid", "", "25", "640*480", "", 768),
    Video(404, ".mp4", "mpeg4", "", "25", "640*480", "", 600),
    Video(405, ".mp4", "libx264", "", "25", "640*480", "", 1200),
    Video(406, ".mp4", "libxvid", "", "25", "640*480", "", 512),
    Video(407, ".mp4", "mpeg4", "", "25", "320*240", "", 600),
    Video(408, ".mp4", "libxvid", "", "25", "640*480", "", 7680),
    Video(409, ".mp4", "libx264", "", "25", "640*480", "", 1200),
    Video(410, ".mp4", "libxvid", "", "25", "640*480", "", 512),
    Video(411, ".mp4", "libxvid", "", "25", "640*480", "16:9", 1200),
    Video(412, ".mp4", "libxvid", "", "25", "320*240", "", 768),
    Video(413, ".mp4", "libxvid", "", "25", "480*320", "", 1000),
    // 4 iPhone视频
    Video(500, ".mp4", "mpeg4", "", "25", "320*240", "", 600),
    Video(501, ".mp4", "libxvid", "", "25", "640*480", "", 1000),
    Video(502, ".mp4", "mpeg4", "", "25", "640*480", "16:9", 600),
    Video(503, ".mp4", "libx264", "", "25", "320*240", "", 1200),
    Video(504, ".mp4", "mpeg4", "", "25", "320*240", "", 600),
    Video(505, ".mp4", "mpeg4", "", "25", "480*320", "", 768),
    // 5 PSP视频
    Video(600, ".mp4", "mpeg4", "", "29.97", "320*240", "", 600),
    Video(601, ".mp4", "libx264", "", "29.97", "320*240", "", 768),
    Video(602, ".mp4", "libx264", "", "29.97", "320*240", "", 1200),
    Video(603, ".mp4", "libxvid", "", "29.97", "320*240", "", 384),
    Video(604, ".mp4", "libx264", "", "29.97", "640*480", "", 1000),
    // 6 3GP视频
    Video(700, ".3gp", "mpeg4", "", "12", "176*144", "", 128),
    Video(701, ".3gp", "h263", "", "12", "176*144", "", 128).Audio("libfaac", "2", "16000", 48),
    Video(702, ".3g2", "mpeg4", "", "12", "176*144", "", 128),
    Video(703, ".3g2", "mpeg4", "", "12", "176*144", "", 128).Audio("libfaac", "2", "32000", 48),
    Video(704, ".3gp", "mpeg4", "", "12", "176*144", "", 128),
    Video(705, ".3gp", "mpeg4", "", "15", "320*240", "", 128).Audio("libfaac", "2", "16000", 32),
    Video(706, ".avi", "h263", "", "15", "352*288", "", 256),
    Video(707, ".mp4", "mpeg4", "", "15", "352*288", "", 128).Audio("libfaac", "2", "44100", 128),
    AudioOnly(708, ".amr", "libopencore_amrnb", "1", "8000", 7.4),
    Video(709, ".mp4", "mpeg4", "", "15", "352*288", "", 160).Audio("libfaac", "2", "44100", 64),
    Video(710, ".mp4", "mpeg4", "", "12", "352*288", "", 128).Audio("libfaac", "2", "32000", 32),
    Video(711, ".avi", "mpeg4", "DX50", "25", "320*240", "", 256),
    Video(712, ".mov", "", "", "25", "320*240", "", 256),
    Video(713, ".mp4", "mpeg4", "", "12", "176*144", "", 128).Audio("libfaac", "2", "32000", 32),
    // 7 APPLE视频
    Video(800, ".mp4", "libx264", "", "25", "320*240", "", 768).Audio("libfaac", "2", "48000", 192),
    Video(801, ".mp4", "libx264", "", "25", "640*480", "", 1000).Audio("libfaac", "2", "48000", 192),
    Video(802, ".mp4", "libx264", "", "25", "1280*720", "", 1000).Audio("libfaac", "2", "48000", 192),
    Video(803, ".mp4", "mpeg4", "", "25", "640*480", "", 1200).Audio("libfaac", "2", "48000", 192),
    Video(804, ".mp4", "libxvid", "", "25", "640*480", "", 600).Audio("libfaac", "2", "48000", 192),
    // 8 XboX视频
    Video(900, ".mp4", "libx264", "", "29.97", "640*480", "", 1200).Audio("libfaac", "2", "48000", 192),
    Video(901, ".mpeg", "mpeg2video", "", "25", "1280*720", "", 1200).Audio("ac3", "2", "48000", 192),
    Video(902, ".mpg", "mpeg2video", "", "25", "1280*720", "", 1200).Audio("ac3", "2", "48000", 192),
    Video(903, ".mp4", "mpeg4", "", "25", "640*480", "", 1200).Audio("libmp3lame", "2", "48000", 192),
    Video(904, ".mp4", "mpeg4", "", "25", "1280*720", "", 1200),
    Video(905, ".wmv", "wmv2", "", "25", "640*480", "", 1200).Audio("wmav2", "2", "48000", 128),
    Video(906, ".avi", "wmv2", "", "25", "1280*720", "", 1200).Audio("libmp3lame", "2", "48000", 128),
    Video(907, ".avi", "msmpeg4v2", "", "25", "1280*720", "", 1200).Audio("libmp3lame", "2", "48000", 128),
    Video(908, ".avi", "msmpeg4", "", "25", "1280*720", "", 1200).Audio("libmp3lame", "2", "48000", 128),
    // The first MS-MPEG4 version has no encoder any more; the second is the nearest,
    // in the AVI container the title names.
    Video(909, ".avi", "msmpeg4v2", "", "25", "1280*720", "", 1200).Audio("libmp3lame", "2", "48000", 128),
    // 9 PMP视频
    Video(1000, ".avi", "mpeg4", "", "25", "480*272", "", 1000).Audio("libmp3lame", "2", "48000", 128),
    Video(1001, ".avi", "mpeg4", "", "25", "720*480", "", 1000).Audio("libmp3lame", "2", "48000", 128),
    Video(1002, ".avi", "mpeg4", "", "25", "320*240", "", 768),
    Video(1003, ".mp4", "mpeg4", "", "25", "320*240", "", 512).Audio("libfaac", "2", "44100", 128),
    Video(1004, ".mp4", "libx264", "", "25", "320*240", "", 768).Audio("libfaac", "2", "44100", 128),
    Video(1005, ".mp4", "libxvid", "", "25", "320*240", "", 768).Audio("libfaac", "2", "44100", 128),
    Video(1006, ".wmv", "wmv2", "", "25", "320*240", "", 1000),
    Video(1007, ".avi", "mpeg4", "", "25", "640*480", "", 1000),
    // 10 MP4视频
    Video(1100, ".mp4", "mpeg4", "", "25", "320*240", "", 528).Audio("libmp3lame", "2", "44100", 128),
    Video(1101, ".mp4", "mpeg4", "", "25", "", "", 768).Audio("libmp3lame", "2", "44100", 128),
    Video(1102, ".mp4", "libx264", "", "25", "", "", 1200).Audio("libmp3lame", "2", "44100", 128),
    Video(1103, ".mp4", "libx264", "", "25", "320*240", "", 1200).Audio("libfaac", "2", "44100", 128),
    Video(1104, ".mp4", "libx264", "", "25", "", "", 1200).Audio("libmp3lame", "2", "44100", 128),
    // 11 Flash视频
    Video(1200, ".flv", "", "", "25", "", "", 1200),
    Video(1201, ".swf", "", "", "25", "", "", 528),
    AudioOnly(1202, ".flv", "libmp3lame", "2", "22050", 128).WithFileExt(""),
    AudioOnly(1203, ".swf", "libmp3lame", "2", "22050", 128).WithFileExt(""),
    // 12 iPad视频
    Video(1300, ".mp4", "mpeg4", "", "30", "640*480", "", 1200).Audio("libfaac", "2", "32000", 128),
    Video(1301, ".mp4", "libx264", "", "30", "720*576", "", 1200),
    Video(1302, ".mp4", "libxvid", "", "30", "640*480", "", 1200).Audio("libfaac", "2", "24000", 128),
    Video(1303, ".mp4", "libx264", "", "30", "720*576", "", 1200),
    Video(1304, ".mp4", "mpeg4", "", "25", "640*480", "", 1200).Audio("libfaac", "2", "24000", 128),
    // No "DX50" tag: MP4 takes only its registered sample entry for MPEG-4 video.
    Video(1305, ".mp4", "mpeg4", "", "25", "640*480", "", 1200).Audio("libfaac", "2", "24000", 128),
    // 13 MPG视频
    Video(1400, ".mpg", "mpeg1video", "", "25", "", "", 528),
    Video(1401, ".mpg", "mpeg1video", "", "25", "", "", 528),
    Video(1402, ".mpg", "mpeg2video", "", "25", "", "", 816),
    Video(1403, ".mp4", "mpeg4", "", "25", "", "", 816).Audio("libmp3lame", "2", "44100", 128),
    // AC-3: a program stream has no room for AAC.
    Video(1404, ".mpg", "mpeg2video", "", "25", "1280*720", "", 1600).Audio("ac3", "2", "48000", 128),
    Video(1405, ".mp4", "mpeg4", "", "25", "1280*720", "", 1600).Audio("libmp3lame", "2", "48000", 128),
    Video(1406, ".mpg", "mpeg2video", "", "25", "", "", 816),
    Video(1407, ".mpg", "mpeg2video", "", "25", "", "", 816),
    Disc(1408, ".mpg", "dvd", "PAL"),
    Disc(1409, ".mpg", "svcd", "PAL"),
    Disc(1410, ".mpg", "vcd", "PAL"),
    // 14 SWF视频
    Video(1500, ".swf", "", "", "25", "", "", 528),
    Video(1501, ".swf", "", "", "25", "", "", 528),
    Video(1502, ".swf", "", "", "25", "", "", 528),
    Video(1503, ".swf", "", "", "25", "", "", 528),
    Video(1504, ".flv", "", "", "25", "", "", 1200),
    AudioOnly(1505, ".swf", "libmp3lame", "2", "22050", 128).WithFileExt(""),
    AudioOnly(1506, ".flv", "libmp3lame", "2", "22050", 128).WithFileExt(""),
    // 15 AVI视频
    Video(1600, ".avi", "mpeg4", "DX50", "25", "", "", 816),
    Video(1601, ".avi", "libx264", "", "25", "1280*720", "", 1600).Audio("libmp3lame", "2", "48000", 256),
    Video(1602, ".avi", "mpeg4", "XVID", "25", "", "", 816),
    Video(1603, ".avi", "libxvid", "", "25", "", "", 816),
    Video(1604, ".avi", "mpeg4", "DX50", "25", "", "", 816),
    Video(1605, ".avi", "mpeg4", "XVID", "25", "", "", 816),
    Video(1606, ".avi", "libxvid", "", "25", "1280*720", "", 1600).Audio("libmp3lame", "2", "48000", 128),
    // 16 MKV视频
    Video(1700, ".mkv", "mpeg4", "", "25", "", "", 816),
    Video(1701, ".mkv", "libx264", "", "25", "1280*720", "", 1600).Audio("libmp3lame", "2", "48000", 256),
    Video(1702, ".mkv", "mpeg4", "XVID", "25", "", "", 816),
    Video(1703, ".mkv", "libxvid", "", "25", "", "", 816),
    Video(1704, ".mkv", "mpeg4", "DX50", "25", "", "", 816),
    Video(1705, ".mkv", "mpeg4", "XVID", "25", "", "", 816),
    Video(1706, ".mkv", "libxvid", "", "25", "1280*720", "", 1600).Audio("libmp3lame", "2", "48000", 128),
};

std::span<const TPresetEntry> PresetRowsA()
{
    return kPresets;
}

}  // namespace vexa::catalogue::tables
