#pragma once
// The user's settings in memory: one field per key of the settings file's section
// "System", named as the key, in the order the keys are written. The start-up fills the
// folders and the four format bytes before the file is loaded.

#include <cstdint>
#include <string>

namespace app {

struct AppSettings {
  std::string LastOpenDir;
  std::string OutputFileDir;
  std::string OutputURLDir;
  uint8_t OutputFormatClass = 0;
  uint8_t OutputAudioFormat = 0;
  uint8_t OutputVideoFormat = 0;
  uint8_t OutputDeviceFormat = 0;
  int OutputWAVPreset = 3;
  int OutputMP3Preset = 2;
  int OutputWMAPreset = 1;
  int OutputOGGPreset = 3;
  int OutputM4APreset = 0;
  int OutputAACPreset = 3;
  int OutputFLACPreset = 5;
  int OutputMP2Preset = 0;
  int OutputAVIPreset = 3;
  int OutputMP4Preset = 3;
  int OutputFLVPreset = 1;
  int OutputSWFPreset = 1;
  int OutputMPEGPreset = 5;
  int OutputRMPreset = 1;
  int OutputWMVPreset = 16;
  int OutputMOVPreset = 7;
  int Output3GPPreset = 2;
  int OutputiPodPreset = 5;
  int OutputiPhonePreset = 1;
  int OutputAppleTVPreset = 1;
  int OutputPSPPreset = 1;
  int OutputBlackBerryPreset = 1;
  int OutputMobilePhonePreset = 1;
  int OutputiPadPreset = 0;
  int OutputAndroidPreset = 0;
  bool PlayASoundWhenFinished = false;
  bool ShutDownWhenFinished = false;
  bool PreferYouTubeQuality = true;
  uint8_t PreferYouTube1 = 1;
  uint8_t PreferYouTube2 = 2;
  uint8_t PreferYouTube3 = 3;
  uint8_t PreferYouTube4 = 0;
  uint8_t PreferYouTube5 = 4;
  uint8_t PreferYouTube6 = 5;
  uint8_t PreferYouTube7 = 6;
  uint8_t PreferYouTube18 = 7;
};

}  // namespace app
