#pragma once
// The codec libraries are linked. Loading them means checking that the libraries found at
// run time have the major versions the program was built against, and handing them the
// engine logger's callback. The same layer keeps the process-wide codec lock.

#include <mutex>
#include <string>
#include <vector>

namespace engine {

struct LibraryVersion {
  std::string name;      // "avcodec"
  std::string fileName;  // the file the program was linked against, "libavcodec.so.59"
  unsigned build = 0;    // version the program was compiled against (major << 16 | ...)
  unsigned runtime = 0;  // version of the library found at run time
};

// The engine's libraries in load order, with the versions of this build and of this run.
std::vector<LibraryVersion> LinkedLibraryVersions();

// Checks the libraries as seen from `folder` (the "lib" folder beside the program) and,
// on success, installs the log callback. False with LastLoadError() =
// "Load library <folder>/<file> error: <reason>" for the first library whose major
// version differs. Loading again after a success does nothing and succeeds.
bool LoadEngineLibraries(const std::string& folder);
// The same check over given versions (what LoadEngineLibraries uses).
bool LoadEngineLibraries(const std::string& folder, const std::vector<LibraryVersion>& versions);
bool EngineLibrariesLoaded();
const std::string& LastLoadError();
const std::string& LibraryPath();

// Serialises opening and closing codecs across every thread of the engine.
std::mutex& CodecLock();

}  // namespace engine
