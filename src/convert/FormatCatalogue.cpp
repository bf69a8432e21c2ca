#include "convert/FormatCatalogue.h"

#include <algorithm>
#include <cctype>

namespace convert {
namespace {

// Preset texts in list order; the index in each list is the stored preset index. Some texts
// keep their historical spelling and blanks, since users know them by these exact texts.
constexpr std::string_view kAVIPresets[] = {
    "高清720p视频: MPEG4 (DivX, XviD), 4500 kbps; 音频: MP3, 192 kbps",
    "高清1080p视频: H.264/AVC, 4200 kbps; 音频: MP3, 256 kbps",
    "视频: MPEG4 (DivX, XviD), 2500 kbps, 原始; 音频: MP3, 256 kbps",
    "视频: MPEG4 (DivX, XviD), 1500 kbps, 原始; 音频: MP3, 192 kbps",
    "视频: MPEG4 (DivX, XviD), 768 kbps, 原始; 音频: MP3, 96 kbps",
    "视频: MPEG4 (DivX, XviD), 2500 kbps, 720x540; 音频: MP3, 256 kbps",
    "视频: MPEG4 (DivX, XviD), 1500 kbps, 512x384; 音频: MP3, 192 kbps",
    "视频: MPEG4 (DivX, XviD), 768 kbps, 320x240; 音频: MP3, 96 kbps",
    "视频: H.264/AVC, 1200 kbps; : MP3, 192 kbps",
    "视频: H.264/AVC, 768 kbps; 音频: MP3, 96 kbps",
    "黑莓81xx - (MPEG4, 560 kbps, 320x240)",
    "黑莓8xxx - (MPEG4, 420 kbps, 240x180)",
    "爱可视AV500/700; 4系列 (704,604,504,404) - (MPEG4, 1800 kbps, 原始)",
    "爱可视AV500/700; 4系列 (704,604,504,404) - (MPEG4, 900 kbps, 480x272)",
    "创新Zen Vision W - (MPEG4, 1800 kbps, 720x480)",
    "创新Zen Vision - (MPEG4, 1200 kbps, 640x480)",
    "创新Zen Vision M - (MPEG4, 720 kbps, 320x240)",
    "爱普生P3000/P4500/P5000 - (MPEG4, 2 mbps, 720x480, 30 fps)",
    "艾利和U20(Clix) - (MPEG4, 320 kbps, 320x240, 15 fps)",
    "艾利和U10 Clix - (MPEG4, 560 kbps, 320x240, 15 fps)",
    "爱欧迪X5 - 优化硬件 - (MPEG4, 600 kbps, 160x120, 15 fps)",
    "Nindendo Wii剪辑",
    "高质量 - (MPEG4, 640x480; MP3, 128kbps)",
    "普通质量 - (MPEG4, 320x240; MP3, 96kbps)",
    "谷歌视频",
    "YouTube视频",
    "Myspace视频",
    "视频: DivX; 音频: MP3, 192 kbps",
    "视频: 未压缩, 原始; 音频: PCM",
};
constexpr std::string_view kMP4Presets[] = {
    "苹果iPod - (H.264, 320x240)",
    "苹果iPod - (H.264, 640x480)",
    "苹果iPod - (MPEG4, 320x240)",
    "苹果iPhone/iTouch - (H.264,640x420)",
    "微软XBox360 - 普通高清质量 480p - (H.264, 29.97 fps, 848x480)",
    "索尼PS3 - 普通高清质量 480p - (H.264, 29.97 fps, 848x480)",
    "索尼PS3 - 普通高清质量 480p, Surround - (H.264, 29.97 fps, 848x480)",
    "索尼PSP - 普通 - (H.264, 29.97 fps, 368x208)",
    "索尼PSP - 高分辨率 - (H264, 29.97 fps, 480x272)",
    "爱普生P2000/P4000 - 高质量 - (MPEG4, 640x480)",
    "爱普生P2000/P4000 - 经济质量 - (MPEG4, 320x240)",
    "爱普生P3000/P4500/P5000 - 最佳质量 - (MPEG4, 720x480)",
    "手机 - 标准质量 - (MPEG4, 176x144, 15 fps)",
    "手机 - 经济质量 - (MPEG4, 128x96, 12 fps)",
    "PC - 高质量 - (MPEG4, 2500 kbps, 原始大小, 25 fps)",
    "PC - 标准质量 - (MPEG4, 1200 kbps, 原始大小, 25 fps)",
    "PC - 经济质量 - (MPEG4, 700 kbps, 原始大小, 25 fps)",
    "高质量 - (MPEG4, 640x480; MPEG2/4 音频, 128kbps)",
    "普通质量 - (MPEG4, 320x240; MPEG2/4 音频, 96kbps)",
};
constexpr std::string_view kFLVPresets[] = {
    "FLV - 最佳质量 - (H.264, 1200 kbps, 原始; MP3, 160 kbps)",
    "FLV - 普通质量 - (H.264, 920 kbps, 原始大小, 20 fps; MP3, 112 kbps)",
    "FLV - 最优质量 - (H.263, 780 kbps, 352x288, 15 fps; MP3, 64 kbps)",
    "FLV - 低质量 - (H.263, 640 kbps, 320x240, 15 fps; MP3, 48 kbps)",
    "FLV - 最低质量 - (H.263, 480 kbps, 176x144, 15 fps; MP3, 24 kbps)",
};
constexpr std::string_view kSWFPresets[] = {
    "SWF - 最佳质量 - (H.263, Original; MP3, 160 kbps)",
    "SWF - 普通质量 - (H.263, 920 kbps, 原始大小, 20 fps; MP3, 112 kbps)",
    "SWF - 最优质量 - (H.263, 780 kbps, 352x288, 15 fps; MP3, 64 kbps)",
    "SWF - 低质量 - (H.263, 640 kbps, 320x240, 15 fps; MP3, 48 kbps)",
    "SWF - 最低质量 - (H.263, 480 kbps, 176x144, 15 fps; MP3, 24 kbps)",
};
constexpr std::string_view kMPEGPresets[] = {
    "高清1080p视频 - (MPEG2, 15000 kbps, 1920x1080, 29.97 fps)",
    "高清720p视频 - (MPEG2, 9000 kbps, 1280x720, 29.97 fps)",
    "DVD NTSC兼容 - (MPEG2, 4000 kbps, 720x480, 29.97 fps)",
    "DVD PAL兼容 - (MPEG2, 4000 kbps, 720x576, 25 fps)",
    "视频: MPEG1, 4000 kbps, 原始大小, 29.97 fps; 音频: 224 kbps",
    "Video: MPEG2, 4000 kbps, 原始大小, 29.97 fps; 音频: 224 kbps",
    "创新ZEN Vision W - 最佳质量 - (MPEG1, 1150 kbps, 720x480, 29.97 fps)",
    "创新ZEN Vision - 标准质量 - (MPEG1, 860 kbps, 480x360, 29.97 fps)",
    "普通质量 - (MPEG1, 780 kbps, 320x240, 29.97 fps)",
    "爱普生P3000/P4500/P5000 - (MPEG2, 2000 kbps, 720x480, 30 fps)",
    "SVCD NTSC兼容 - (MPEG2, 2376 kbps, 480x480, 29.97 fps)",
    "SVCD PAL兼容 - (MPEG2, 2376 kbps, 480x576, 25 fps)",
    "VCD NTSC兼容 - (MPEG1, 1150 kbps, 352x240, 29.97 fps)",
    "VCD PAL兼容 - (MPEG1, 1150 kbps, 352x288, 25 fps)",
};
constexpr std::string_view kRMPresets[] = {
    "RM - 最佳质量 - (1024 kbps, 原始)", "RM - 普通质量 - (750 kbps, 原始)",
    "RM - 最优质量 - (512 kbps, 原始)",  "RM - 低质量  - (256 kbps, 原始)",
    "RM - 最低质量  - (128 kbps, 原始)",
};
constexpr std::string_view kWMVPresets[] = {
    "高清1080p视频: WMV 9, 9000 kbps; 音频: WMA Pro, 384kbps",
    "高清720p视频: WMV 9, 7000 kbps; 音频: WMA Pro, 384kbps",
    "微软Zune - 最佳质量 - (1112 kbps, 320x240, 25 fps)",
    "普通质量 - (568 kbps, 320x240, 25 fps)",
    "掌上PC/PDA视频",
    "爱可视AV500/700; 4系列 (704,604,504,404) - 提供最高质量",
    "爱可视AV500/700; 4系列 (704,604,504,404) - 好质量",
    "爱可视AV500/700; 4系列 (704,604,504,404) - 低质量",
    "创新ZEN Vision W - 最高可用质量",
    "创新ZEN Vision - 好质量",
    "创新ZEN Vision M - 普通质量",
    "爱普生多媒体存储查看器P3000/P5000",
    "SanDisk Sansa View",
    "Palm Treo系列",
    "HP iPaq系列",
    "Windows媒体视频9高质量",
    "Windows媒体视频9标准质量",
    "Windows媒体视频9低质量",
};
constexpr std::string_view kMOVPresets[] = {
    "苹果电视 - 最佳质量 - (H.264, 原始; MP2/4 (AAC), 320 kbps)",
    "Quick Time - 高清480p质量 - (H.264, 848x480; MP2/4 (AAC), 320 kbps)",
    "Quick Time - DVD质量 - (H.264, 720x576; MP2/4 (AAC), 320 kbps)",
    "Quick Time - 照片质量 - (照片 Jpeg, 原始; MP3, 256 kbps)",
    "Quick Time - 最优质量 - (H.263, 352x288; MP3, 128 kbps)",
    "Quick Time - 最高可用质量 - (MPEG4, 原始; MP3, 192 kbps)",
    "Quick Time - 标准质量 - (H.263, 176x144; MP3, 128 kbps)",
    "Quick Time - 平衡质量 - (MPEG4, 原始; MP3, 96 kbps)",
    "Quick Time - 经济质量 - (索伦森视频; MP3, 96 kbps)",
    "Quick Time - 经济质量 - (索伦森视频; IMA ADPCM)",
};
constexpr std::string_view k3GPPresets[] = {
    "3GPP - 扩展移动支持 - (H.263, 240 kbps, 176x144, 12 fps; AMR)",
    "3GPP - 移动高可用质量 - (MPEG4, 104 kbps, 176x144, 15 fps; AAC)",
    "3GPP - 移动标准质量 - (MPEG4, 64 kbps, 176x144, 12 fps; AMR)",
    "3GPP - 移动平衡质量 - (H.263, 140 kbps, 128x96, 10 fps; AMR)",
    "3GPP - 移动最小尺寸与音频 - (MPEG4, 44 kbps, 128x96, 10 fps; AMR)",
};
constexpr std::string_view kiPodPresets[] = {
    "iPod最高质量 (H264, 30 fps, 640x480, 2500 kbps; AAC - 160 kbps)",
    "iPod Touch高质量 (H264, 30 fps, 480x320, 2500 kbps; AAC - 160 kbps) ",
    "iPod Touch标准质量 (H264, 24 fps, 480x320, 1300 kbps; AAC - 128 kbps)",
    "iPod Touch经济质量 (H264, 15 fps, 320x240, 500 kbps; AAC - 128 kbps) ",
    "iPod经典高质量 (H264, 30 fps, 320x240, 2500 kbps; AAC - 160 kbps)",
    "iPod经典标准质量 (H264, 24 fps, 320x240, 1000 kbps; AAC - 128 kbps)",
    "iPod经典经济质量 (H264, 15 fps, 320x240, 500 kbps; AAC - 128 kbps)",
    "iPod Nano高质量 (H264, 30 fps, 320x240, 2500 kbps; AAC - 160 kbps)",
    "iPod Nano标准质量 (H264, 24 fps, 320x240, 1000 kbps; AAC - 128 kbps)",
    "iPod Nano经济质量 (H264, 15 fps, 320x240, 500 kbps; AAC - 128 kbps)",
};
constexpr std::string_view kiPhonePresets[] = {
    "iPhone高质量 (H264, 30 fps, 640x480, 2500 kbps; AAC - 160 kbps)",
    "iPhone标准质量 (H264, 24 fps, 480x320, 1300 kbps; AAC - 128 kbps)",
    "iPhone经济质量 (H264, 15 fps, 320x240, 500 kbps; AAC - 128 kbps)",
};
constexpr std::string_view kAppleTVPresets[] = {
    "AppleTV高质量 (H264, 24 fps, 1280x720, 5000 kbps; AAC - 160 kbps)",
    "AppleTV标准质量 (H264, 24 fps, 720x540, 2000 kbps; AAC - 128 kbps)",
    "AppleTV经济质量 (H264, 24 fps, 480x360, 1000 kbps; AAC - 128 kbps)",
};
constexpr std::string_view kPSPPresets[] = {
    "PSP最高质量 (H264, 30 fps, 480x272, 1500 kbps; AAC - 160 kbps)",
    "PSP最佳质量 (H264, 24 fps, 368x208, 1000 kbps; AAC - 128 kbps)",
    "PSP经济质量 (H264, 15 fps, 368x208, 500 kbps; AAC - 128 kbps)",
};
constexpr std::string_view kBlackBerryPresets[] = {
    "黑莓高质量 (H264, 30 fps, 640x480, 2500 kbps; AAC - 160 kbps)",
    "黑莓标准质量 (H264, 24 fps, 480x320, 1300 kbps; AAC - 128 kbps)",
    "黑莓经济质量 (H264, 15 fps, 320x240, 500 kbps; AAC - 128 kbps)",
};
constexpr std::string_view kMobilePhonePresets[] = {
    "移动MP4高质量 (MPEG4, 15 fps, 320x240, 600 kbps; AAC - 192 kbps)",
    "移动MP4标准质量 (MPEG4, 15 fps, 176x144, 256 kbps; AAC - 128 kbps)",
    "移动MP4平衡质量 (MPEG4, 12 fps, 176x144, 146 kbps; AAC - 96 kbps)",
    "移动MP4经济质量 (MPEG4, 10 fps, 128x96, 119 kbps; AAC - 64 kbps)",
};
constexpr std::string_view kiPadPresets[] = {
    "iPad高质量 (H264, 30 fps, 640x480, 2500 kbps; AAC - 160 kbps)",
    "iPad标准质量 (H264, 24 fps, 480x320, 1300 kbps; AAC - 128 kbps)",
    "iPad经济质量 (H264, 15 fps, 320x240, 500 kbps; AAC - 128 kbps)",
};
constexpr std::string_view kAndroidPresets[] = {
    "Android高质量 (H264, 30 fps, 640x480, 2500 kbps; AAC - 160 kbps)",
    "Android标准质量 (H264, 24 fps, 480x320, 1300 kbps; AAC - 128 kbps)",
    "Android经济质量 (H264, 15 fps, 320x240, 500 kbps; AAC - 128 kbps)",
};
constexpr std::string_view kWAVPresets[] = {
    "手机 - PCM: 11025 Hz, 单声道, 16 bits",
    "AM收音机质量 - PCM: 22050 Hz, 单声道, 16 bits",
    "FM收音机质量 - PCM: 22050 Hz, 立体声, 24 bits",
    "高保真质量 - PCM: 48000Hz, 立体声, 32 bits",
    "未压缩 (CD音质)",
};
constexpr std::string_view kMP3Presets[] = {
    "手机 - MP3: 44100 Hz, 立体声, 112 kbps",
    "媒体播放器 - MP3: 48000 Hz, 立体声, 128 kbps",
    "普通质量 - MP3: 48000 Hz, 立体声, 256 kbps",
    "最好质量 - MP3: 48000 Hz, 立体声, 320 kbps",
};
constexpr std::string_view kWMAPresets[] = {
    "媒体播放器最佳质量", "媒体播放器经济质量", "掌上电脑/PDA的普通质量",
    "PC普通质量",         "WMA Losslesss音频",
};
constexpr std::string_view kOGGPresets[] = {
    "电话质量 - Ogg格式: 质量 - 4.97; 11025 Hz, 单声道",
    "AM收音机质量 - Ogg格式: 质量 - 4.97; 22050 Hz, 单声道",
    "FM收音机质量 - Ogg格式: 质量 - 4.97; 22050 Hz, 立体声",
    "CD质量 - Ogg格式: 质量 - 4.97; 44100 Hz, 立体声",
    "高保真质量 - Ogg格式: 质量 - 8.05; 48000 Hz, 立体声",
};
constexpr std::string_view kAACPresets[] = {
    "手机 - MPEG2/4 LC: 16000 Hz, 单声道, 96 kbps",
    "AM质量 - MPEG2/4 LC: 22500 Hz, 单声道, 112 kbps",
    "FM质量 - MPEG2/4 LC: 22500 Hz, 立体声, 224 kbps",
    "CD质量 - MPEG2/4 LC: 44100 Hz, 立体声, 256 kbps",
    "高保真质量 - MPEG2/4 LC: 48000 Hz, 立体声, 256 kbps",
};
constexpr std::string_view kM4APresets[] = {
    "普通质量 - MPEG2/4 LC: 44100 Hz, 立体声, 96 kbps",
    "最好质量 - MPEG2/4 LC: 48000 Hz, 立体声, 256 kbps",
};
constexpr std::string_view kFLACPresets[] = {
    "压缩级别0",        "压缩级别1", "压缩级别2", "压缩级别3", "压缩级别4",
    "压缩级别5 (默认)", "压缩级别6", "压缩级别7", "压缩级别8",
};
constexpr std::string_view kMP2Presets[] = {
    "手机 - MPEG层-2: 22050 Hz, 单声道, 96 kbps",
    "AM质量 - MPEG层-2: 22050 Hz, 单声道, 112 kbps",
    "FM质量 - MPEG层-2: 22050 Hz, 立体声, 128 kbps",
};

const std::array<FormatInfo, kFormatCount> kCatalogue = {{
    {fcVideo, vfAVI, "AVI", "ButtonFormatAVI", "AVI", "OutputAVIPreset",
     &app::AppSettings::OutputAVIPreset, ".avi", kAVIPresets, 3},
    {fcVideo, vfMP4, "MP4", "ButtonFormatMP4", "MP4", "OutputMP4Preset",
     &app::AppSettings::OutputMP4Preset, ".mp4", kMP4Presets, 3},
    {fcVideo, vfFLV, "FLV", "ButtonFormatFLV", "FLV", "OutputFLVPreset",
     &app::AppSettings::OutputFLVPreset, ".flv", kFLVPresets, 1},
    {fcVideo, vfSWF, "SWF", "ButtonFormatSWF", "SWF", "OutputSWFPreset",
     &app::AppSettings::OutputSWFPreset, ".swf", kSWFPresets, 1},
    {fcVideo, vfMPEG, "MPEG", "ButtonFormatMPEG", "MPEG", "OutputMPEGPreset",
     &app::AppSettings::OutputMPEGPreset, ".mpg", kMPEGPresets, 5},
    {fcVideo, vfRM, "RM", "ButtonFormatRM", "RM", "OutputRMPreset",
     &app::AppSettings::OutputRMPreset, ".rm", kRMPresets, 1},
    {fcVideo, vfWMV, "WMV", "ButtonFormatWMV", "WMV", "OutputWMVPreset",
     &app::AppSettings::OutputWMVPreset, ".wmv", kWMVPresets, 16},
    {fcVideo, vfMOV, "MOV", "ButtonFormatMOV", "MOV", "OutputMOVPreset",
     &app::AppSettings::OutputMOVPreset, ".mov", kMOVPresets, 7},
    {fcVideo, vf3GP, "3GP", "ButtonFormat3GP", "3GP", "Output3GPPreset",
     &app::AppSettings::Output3GPPreset, ".3gp", k3GPPresets, 2},
    {fcDevice, dfiPod, "iPod", "ButtonFormatiPod", "IPOD", "OutputiPodPreset",
     &app::AppSettings::OutputiPodPreset, ".mp4", kiPodPresets, 5},
    {fcDevice, dfiPhone, "iPhone", "ButtonFormatiPhone", "IPHONE", "OutputiPhonePreset",
     &app::AppSettings::OutputiPhonePreset, ".mp4", kiPhonePresets, 1},
    {fcDevice, dfAppleTV, "AppleTV", "ButtonFormatAppleTV", "APPLETV", "OutputAppleTVPreset",
     &app::AppSettings::OutputAppleTVPreset, ".mp4", kAppleTVPresets, 1},
    {fcDevice, dfPSP, "PSP", "ButtonFormatPSP", "PSP", "OutputPSPPreset",
     &app::AppSettings::OutputPSPPreset, ".mp4", kPSPPresets, 1},
    {fcDevice, dfBlackBerry, "BlackBerry", "ButtonFormatBlackBerry", "BLACKBERRY",
     "OutputBlackBerryPreset", &app::AppSettings::OutputBlackBerryPreset, ".mp4",
     kBlackBerryPresets, 1},
    {fcDevice, dfMobilePhone, "MobilePhone", "ButtonFormatMobilePhone", "MOBILEPHONE",
     "OutputMobilePhonePreset", &app::AppSettings::OutputMobilePhonePreset, ".mp4",
     kMobilePhonePresets, 1},
    {fcDevice, dfiPad, "iPad", "ButtonFormatiPad", "IPAD", "OutputiPadPreset",
     &app::AppSettings::OutputiPadPreset, ".mp4", kiPadPresets, 0},
    {fcDevice, dfAndroid, "Android", "ButtonFormatAndroid", "ANDROID", "OutputAndroidPreset",
     &app::AppSettings::OutputAndroidPreset, ".mp4", kAndroidPresets, 0},
    {fcAudio, afWAV, "WAV", "ButtonFormatWAV", "WAV", "OutputWAVPreset",
     &app::AppSettings::OutputWAVPreset, ".wav", kWAVPresets, 3},
    {fcAudio, afMP3, "MP3", "ButtonFormatMP3", "MP3", "OutputMP3Preset",
     &app::AppSettings::OutputMP3Preset, ".mp3", kMP3Presets, 2},
    {fcAudio, afWMA, "WMA", "ButtonFormatWMA", "WMA", "OutputWMAPreset",
     &app::AppSettings::OutputWMAPreset, ".wma", kWMAPresets, 1},
    {fcAudio, afOGG, "OGG", "ButtonFormatOGG", "OGG", "OutputOGGPreset",
     &app::AppSettings::OutputOGGPreset, ".ogg", kOGGPresets, 3},
    {fcAudio, afAAC, "AAC", "ButtonFormatAAC", "AAC", "OutputAACPreset",
     &app::AppSettings::OutputAACPreset, ".aac", kAACPresets, 3},
    {fcAudio, afM4A, "M4A", "ButtonFormatM4A", "M4A", "OutputM4APreset",
     &app::AppSettings::OutputM4APreset, ".m4a", kM4APresets, 0},
    {fcAudio, afFLAC, "FLAC", "ButtonFormatFLAC", "FLAC", "OutputFLACPreset",
     &app::AppSettings::OutputFLACPreset, ".flac", kFLACPresets, 5},
    {fcAudio, afMP2, "MP2", "ButtonFormatMP2", "MP2", "OutputMP2Preset",
     &app::AppSettings::OutputMP2Preset, ".mp2", kMP2Presets, 0},
}};

constexpr int kClassStart[kFormatClassCount + 1] = {0, 9, 17, 25};

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) ==
                  std::tolower(static_cast<unsigned char>(y));
         });
}

}  // namespace

std::string FormatInfo::PresetListName() const {
  return "ImageComboBox" + std::string(name) + "Presets";
}

const std::array<FormatInfo, kFormatCount>& Catalogue() { return kCatalogue; }

int FormatCount(int formatClass) {
  if (formatClass < 0 || formatClass >= kFormatClassCount) return 0;
  return kClassStart[formatClass + 1] - kClassStart[formatClass];
}

int CatalogueIndex(int formatClass, int code) {
  if (code < 0 || code >= FormatCount(formatClass)) return -1;
  return kClassStart[formatClass] + code;
}

const FormatInfo* FindFormat(int formatClass, int code) {
  const int index = CatalogueIndex(formatClass, code);
  return index < 0 ? nullptr : &kCatalogue[index];
}

const FormatInfo* FindFormatByName(std::string_view name) {
  for (const FormatInfo& format : kCatalogue) {
    if (EqualsIgnoringCase(format.name, name)) return &format;
  }
  return nullptr;
}

uint8_t app::AppSettings::*CurrentFormatField(int formatClass) {
  switch (formatClass) {
    case fcVideo:
      return &app::AppSettings::OutputVideoFormat;
    case fcDevice:
      return &app::AppSettings::OutputDeviceFormat;
    case fcAudio:
      return &app::AppSettings::OutputAudioFormat;
    default:
      return nullptr;
  }
}

int CurrentFormatCode(const app::AppSettings& settings, int formatClass) {
  const auto field = CurrentFormatField(formatClass);
  return field ? settings.*field : -1;
}

const FormatInfo* CurrentFormat(const app::AppSettings& settings) {
  const int formatClass = settings.OutputFormatClass;
  return FindFormat(formatClass, CurrentFormatCode(settings, formatClass));
}

std::string OutputExtension(const app::AppSettings& settings) {
  const FormatInfo* format = CurrentFormat(settings);
  return format ? std::string(format->extension) : std::string();
}

std::string_view ClassCaption(int formatClass) {
  switch (formatClass) {
    case fcVideo:
      return "视频";
    case fcDevice:
      return "设备";
    case fcAudio:
      return "音频";
    default:
      return {};
  }
}

}  // namespace convert
