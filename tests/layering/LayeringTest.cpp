// Who may use whom: every source file under src/ includes only headers of its own layer or
// of the layers it may use, and the plain layers include no Qt header. The table is the
// house plan's; a change to the layering is a change here and in the plan together.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "TestSupport.h"

namespace fs = std::filesystem;

namespace {

struct Layer {
  const char* name;
  const char* folder;  // below src/; the longest matching folder decides
  bool qt;             // may include Qt headers
  std::set<std::string> uses;
};

const std::vector<Layer>& Layers() {
  static const std::vector<Layer> layers = {
      {"app", "app", true,
       {"cli", "convert", "download", "script", "logwindow", "preview", "appcore", "engine",
        "decoder", "enginebase", "http", "logger", "core"}},
      {"cli", "cli", true,
       {"convert", "download", "engine", "decoder", "enginebase", "http", "script", "appcore",
        "logger", "core"}},
      {"convert", "convert", true,
       {"engine", "decoder", "enginebase", "http", "script", "logwindow", "appcore", "logger",
        "core"}},
      // The download pages reach step 1's task list only through the wizard.
      {"download", "download", true,
       {"engine", "decoder", "enginebase", "http", "script", "logwindow", "appcore", "logger",
        "core"}},
      {"script", "script", true, {"core"}},
      {"logwindow", "log/window", true, {"appcore", "logger", "core"}},
      // The preview window shows the engine's pictures: the decoder's types are its input.
      {"preview", "decoder/preview", true, {"appcore", "decoder", "enginebase", "logger", "core"}},
      {"appcore", "appcore", true, {"core"}},
      {"engine", "engine", false, {"decoder", "enginebase", "logger", "core"}},
      {"decoder", "decoder", false, {"enginebase", "logger", "core"}},
      {"enginebase", "enginebase", false, {"logger", "core"}},
      {"http", "http", false, {"core"}},
      {"logger", "log", false, {"core"}},
      {"core", "core", false, {}},
  };
  return layers;
}

// The layer of a path below src/ ("engine/FFEncoder.h"), or nullptr outside every layer.
const Layer* LayerOf(const std::string& relative) {
  const Layer* best = nullptr;
  size_t bestLength = 0;
  for (const Layer& layer : Layers()) {
    const std::string prefix = std::string(layer.folder) + "/";
    if (relative.compare(0, prefix.size(), prefix) == 0 && prefix.size() > bestLength) {
      best = &layer;
      bestLength = prefix.size();
    }
  }
  return best;
}

struct Violation {
  std::string file;
  int line;
  std::string text;
};

// Every include of a file that its layer may not have.
std::vector<Violation> Check(const std::string& relative, std::istream& in) {
  static const std::regex project(R"(^\s*#\s*include\s*"([^"]+)\")");
  static const std::regex system(R"(^\s*#\s*include\s*<(Q[A-Za-z]*|Qt[A-Za-z]*/[^>]*)>)");
  std::vector<Violation> found;
  const Layer* own = LayerOf(relative);
  if (!own) return {{relative, 0, "the file is in no layer"}};
  std::string line;
  int number = 0;
  while (std::getline(in, line)) {
    ++number;
    std::smatch m;
    if (std::regex_search(line, m, project)) {
      const std::string header = m[1];
      const Layer* target = LayerOf(header);
      // A header beside the file ("Thing.h") or no layer's header belongs to the file's own.
      if (target && target != own && !own->uses.count(target->name)) {
        found.push_back({relative, number, line + "  (" + own->name + " may not use " +
                                               target->name + ")"});
      }
    } else if (!own->qt && std::regex_search(line, m, system)) {
      found.push_back({relative, number, line + "  (" + own->name + " is plain C++: no Qt)"});
    }
  }
  return found;
}

std::vector<Violation> CheckText(const std::string& relative, const std::string& text) {
  std::istringstream in(text);
  return Check(relative, in);
}

TEST(LayeringTest, EverySourceIncludesOnlyWhatItsLayerMayUse) {
  const fs::path src = testsupport::SourceDir() / "src";
  ASSERT_TRUE(fs::is_directory(src)) << src;
  std::vector<Violation> violations;
  int files = 0;
  for (const auto& entry : fs::recursive_directory_iterator(src)) {
    const std::string ext = entry.path().extension().string();
    if (!entry.is_regular_file() || (ext != ".h" && ext != ".cpp" && ext != ".c")) continue;
    const std::string relative = fs::relative(entry.path(), src).generic_string();
    if (relative.find('/') == std::string::npos) continue;  // nothing but the build list
    std::ifstream in(entry.path());
    auto found = Check(relative, in);
    violations.insert(violations.end(), found.begin(), found.end());
    ++files;
  }
  EXPECT_GT(files, 100) << "the source tree was not found where expected";
  for (const Violation& v : violations) {
    ADD_FAILURE() << "src/" << v.file << ":" << v.line << ": " << v.text;
  }
}

// The checker itself: what it must refuse and what it must let through.
TEST(LayeringTest, TheCheckerRefusesUpwardIncludesAndQtInPlainLayers) {
  struct Case {
    const char* file;
    const char* text;
    bool refused;
  };
  const Case cases[] = {
      {"engine/X.cpp", "#include \"decoder/FFDecoder.h\"", false},
      {"decoder/X.cpp", "#include \"engine/FFEncoder.h\"", true},
      {"engine/X.cpp", "#include \"appcore/Settings.h\"", true},
      {"engine/X.cpp", "#include <QString>", true},
      {"http/X.cpp", "  #  include <QtCore/QObject>", true},
      {"http/X.cpp", "#include <curl/curl.h>", false},
      {"log/FFLogger.cpp", "#include <QDebug>", true},
      {"log/window/FormLog.cpp", "#include <QDebug>", false},
      {"log/window/FormLog.cpp", "#include \"convert/TaskList.h\"", true},
      {"decoder/preview/P.cpp", "#include \"decoder/FFDecoder.h\"", false},
      {"decoder/preview/P.cpp", "#include \"engine/FFEncoder.h\"", true},
      {"download/D.cpp", "#include \"convert/TaskList.h\"", true},
      {"convert/C.cpp", "#include \"download/DownloadRun.h\"", true},
      {"app/mainwindow/M.cpp", "#include \"download/DownloadRun.h\"", false},
      {"core/C.cpp", "#include \"log/FFLogger.h\"", true},
      {"script/S.cpp", "#include \"http/WinHTTP.h\"", true},
      {"engine/X.cpp", "#include \"TranscodeState.h\"", false},
      {"nowhere/X.cpp", "", true},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(!CheckText(c.file, c.text).empty(), c.refused) << c.file << ": " << c.text;
  }
}

}  // namespace
