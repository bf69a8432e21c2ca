#include "EditionFixture.h"

#include <fstream>

#include "appcore/Branding.h"
#include "core/Messages.h"

namespace fs = std::filesystem;

namespace mwtest {

LinkRecorder::LinkRecorder() {
  for (const char* scheme : {"http", "https", "file"}) {
    QDesktopServices::setUrlHandler(scheme, this, "open");
  }
}
LinkRecorder::~LinkRecorder() {
  for (const char* scheme : {"http", "https", "file"}) QDesktopServices::unsetUrlHandler(scheme);
}
void LinkRecorder::open(const QUrl& url) { links.push_back(url.toString().toStdString()); }

Edition::Edition() {
  exe_ = dir_.path() / "exe";
  fs::create_directories(exe_);
  const fs::path runtime = testsupport::RuntimeDir();
  fs::copy(runtime / "sounds", exe_ / "sounds", fs::copy_options::recursive);
  fs::copy_file(runtime / "icon.ico", exe_ / "icon.ico");
  fs::create_directories(appData());
  fs::create_directories(documents());
  keys_ = {{"Name", "Wizconv Test"},
           {"Version", "9.8.7"},
           {"Copyright", "(c) test"},
           {"Download", "True"},
           {"Merge", "False"},
           {"Skin", "0"},
           {"ResFolder", "default"},
           {"HelpContectLink", "https://help.invalid/content"},
           {"HelpHowTosTutorialVideosLink", "https://help.invalid/videos"},
           {"HelpHomePageLink", "https://help.invalid/home"},
           {"HelpMoreFreeToolsLink", "https://help.invalid/tools"},
           {"HelpCheckForUpdatesLink", "https://help.invalid/updates"},
           {"HelpSupportLink", "https://help.invalid/support"}};
  for (const char* f :
       {"AVI",  "MP4",  "FLV",     "SWF",    "MPEG",    "RM",   "WMV",        "MOV",         "3GP",
        "IPOD", "IPAD", "ANDROID", "IPHONE", "APPLETV", "PSP",  "BLACKBERRY", "MOBILEPHONE", "WAV",
        "MP3",  "WMA",  "OGG",     "AAC",    "M4A",     "FLAC", "MP2"}) {
    keys_.push_back({f, "True"});
  }
  keys_.push_back({"DefaultVideo", "1"});
  keys_.push_back({"DefaultDevice", "0"});
  keys_.push_back({"DefaultAudio", "1"});
  keys_.push_back({"DefaultClass", "0"});
  WriteBranding();
}

void Edition::Set(const std::string& key, const std::string& value) {
  for (auto& [k, v] : keys_) {
    if (k == key) {
      v = value;
      return;
    }
  }
  keys_.push_back({key, value});
}

void Edition::Remove(const std::string& key) {
  std::erase_if(keys_, [&](const auto& kv) { return kv.first == key; });
}

std::string Edition::PlainBranding() const {
  std::string text = "[SYSTEM]\r\n";
  for (const auto& [k, v] : keys_) text += k + "=" + v + "\r\n";
  return text;
}

void Edition::WriteBranding() const {
  std::ofstream out(exe_ / "dudozava.dll", std::ios::binary | std::ios::trunc);
  out << app::EncodeBrandingText(PlainBranding());
}

std::unique_ptr<app::TFormMain> Edition::Open(app::MainWindowEnvironment env) const {
  core::Messages::SetTitle("");
  for (const auto& [k, v] : keys_) {
    if (k == "Name") core::Messages::SetTitle(v);
  }
  env.exeDir = exeDir();
  if (env.appDataFolder.empty()) env.appDataFolder = appData();
  if (env.documentsFolder.empty()) env.documentsFolder = documents();
  return std::make_unique<app::TFormMain>(std::move(env));
}

}  // namespace mwtest
