#pragma once
// The keys of the settings file's section "System" in the order they are written, as the
// tests expect them (written out here, not taken from the program).

#include <string>
#include <vector>

namespace testsupport {

inline const std::vector<std::string>& ExpectedSystemKeys() {
  static const std::vector<std::string> keys = {
      "LastOpenDir",          "OutputFileDir",          "OutputURLDir",
      "OutputFormatClass",    "OutputAudioFormat",      "OutputVideoFormat",
      "OutputDeviceFormat",   "OutputWAVPreset",        "OutputMP3Preset",
      "OutputWMAPreset",      "OutputOGGPreset",        "OutputM4APreset",
      "OutputAACPreset",      "OutputFLACPreset",       "OutputMP2Preset",
      "OutputAVIPreset",      "OutputMP4Preset",        "OutputFLVPreset",
      "OutputSWFPreset",      "OutputMPEGPreset",       "OutputRMPreset",
      "OutputWMVPreset",      "OutputMOVPreset",        "Output3GPPreset",
      "OutputiPodPreset",     "OutputiPhonePreset",     "OutputAppleTVPreset",
      "OutputPSPPreset",      "OutputBlackBerryPreset", "OutputMobilePhonePreset",
      "OutputiPadPreset",     "OutputAndroidPreset",    "PlayASoundWhenFinished",
      "ShutDownWhenFinished", "PreferYouTubeQuality",   "PreferYouTube1",
      "PreferYouTube2",       "PreferYouTube3",         "PreferYouTube4",
      "PreferYouTube5",       "PreferYouTube6",         "PreferYouTube7",
      "PreferYouTube18"};
  return keys;
}

}  // namespace testsupport
