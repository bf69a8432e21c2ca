// Feeds arbitrary bytes to the readers of the program's own files: the branding file (its
// coding and its values), INI texts, and the settings file with its window placements.
// Besides crashes and undefined behaviour it checks what callers rely on: the branding
// coding and the INI text survive a round trip, a value that is written reads back, the
// settings survive saving and loading, and a placement is brought onto the screen.
// Built twice: appfiles_fuzzer reads in memory (branding, INI), settings_fuzzer goes
// through real files (WIZCONV_FUZZ_SETTINGS), which is slower by far.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <string_view>

#include "appcore/AppError.h"
#include "appcore/Branding.h"
#include "appcore/IniFile.h"
#include "appcore/Settings.h"

namespace {

void check(bool ok, const char* what, std::string_view input) {
  if (ok) return;
  std::fprintf(stderr, "broken promise: %s (input of %zu bytes)\n", what, input.size());
  std::abort();
}

[[maybe_unused]] const std::string& workFolder() {
  static const std::string folder = [] {
    // On a memory file system the settings writes, each synced to disk, cost little.
    char name[] = "/dev/shm/wizconv-appfiles-XXXXXX";
    if (!mkdtemp(name)) std::abort();
    return std::string(name) + "/";
  }();
  return folder;
}

[[maybe_unused]] void writeFile(const std::string& path, std::string_view bytes) {
  std::ofstream(path, std::ios::binary | std::ios::trunc).write(bytes.data(), bytes.size());
}

[[maybe_unused]] std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

[[maybe_unused]] void checkBranding(std::string_view input) {
  try {
    check(app::DecodeBrandingText(app::EncodeBrandingText(input)) == input,
          "branding text survives coding", input);
  } catch (const app::AppError&) {
    // A text holding a byte whose complement is a line break or NUL is refused.
  }
  const std::vector<std::string> lines = app::DecodeBrandingLines(input);
  try {
    const app::BrandingConfig config = app::ReadBrandingConfig(lines);
    app::AppSettings settings;
    app::ApplyBrandingDefaults(config, settings);
    check(settings.OutputFormatClass <= 2, "the default class is 0, 1 or 2", input);
    for (std::string_view key : app::kBrandingFormatKeys)
      check(app::BrandingFormatFlag(config, key) != nullptr, "every format key has a flag", input);
  } catch (const app::AppError&) {
    // A malformed integer is reported.
  }
}

[[maybe_unused]] void checkIni(std::string_view input) {
  const app::IniFile ini = app::IniFile::Parse(input);
  const std::string text = ini.Serialize();
  const app::IniFile again = app::IniFile::Parse(text);
  check(again.Serialize() == text, "an INI text reads back as it was written", input);
  check(again.SectionNames() == ini.SectionNames(), "the sections read back", input);
  for (const std::string& section : ini.SectionNames()) {
    check(again.Keys(section) == ini.Keys(section), "the keys read back", input);
    for (const std::string& key : ini.Keys(section))
      check(again.Value(section, key) == ini.Value(section, key), "the values read back", input);
  }
  // The input split in three is a section, a key and a value to write.
  const size_t third = input.size() / 3;
  const std::string_view section = input.substr(0, third);
  const std::string_view key = input.substr(third, third);
  const std::string_view value = input.substr(2 * third);
  app::IniFile written = ini;
  if (written.Write(section, key, value)) {
    const app::IniFile reread = app::IniFile::Parse(written.Serialize());
    const std::optional<std::string> stored = reread.Value(section, key);
    check(stored.has_value(), "a written key is there", input);
    check(written.Value(section, key) == stored, "a written value reads back", input);
  } else {
    check(written.Serialize() == text, "a refused write changes nothing", input);
  }
}

[[maybe_unused]] void checkSettings(std::string_view input) {
  const std::string path = workFolder() + "settings.dat";
  writeFile(path, input);
  try {
    // Saving what was loaded is a fixed point: a second load and save changes nothing.
    // (A text that cannot be stored keeps the line the file had, so this is the same file.)
    app::AppSettings settings;
    app::SettingsStore(path).LoadSettings(settings);
    app::SettingsStore(path).SaveSettings(settings);
    const std::string saved = readFile(path);
    app::AppSettings reloaded;
    check(app::SettingsStore(path).LoadSettings(reloaded), "saved settings are there", input);
    app::SettingsStore(path).SaveSettings(reloaded);
    check(readFile(path) == saved, "settings survive saving and loading", input);
    writeFile(path, input);

    const app::WindowPlacement current{10, 20, 300, 400, false};
    const app::WindowPlacement placement =
        app::SettingsStore(path).ReadWindowPlacement("Form", current);
    const app::WindowPlacement bounded = app::BoundPlacement(placement, 1920, 1080);
    check(bounded.x >= 0 && bounded.y >= 0, "a placement starts on the screen", input);
    if (placement.width >= 0) {
      check(int64_t{bounded.x} + bounded.width <= 1920, "a placement ends on the screen", input);
    }
    if (placement.height >= 0) {
      check(int64_t{bounded.y} + bounded.height <= 1080, "a placement ends on the screen", input);
    }
  } catch (const app::AppError&) {
    // A file that cannot be read or written is reported.
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
#ifdef WIZCONV_FUZZ_SETTINGS
  checkSettings(input);
#else
  checkBranding(input);
  checkIni(input);
#endif
  return 0;
}
