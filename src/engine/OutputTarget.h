#pragma once
// Where an output file is written while its job runs. A local output goes into a
// temporary file beside the name asked for and is renamed onto that name once its
// trailer is written, so a job that fails leaves nothing broken behind and a file the
// user had stays whole until a complete replacement exists. While the job runs, an empty
// file reserves a name that did not exist, so that output naming sees it in use.

#include <sys/types.h>

#include <string>

namespace engine {

// The local path of a library file name ("file:" taken off); empty for any other
// protocol ("http:", "pipe:", ...).
std::string LocalPath(const std::string& name);

// Both names lead to the same local file: the same device and inode when both exist,
// otherwise the same path once "." and ".." and the links of its folders are resolved.
bool SameLocalFile(const std::string& a, const std::string& b);

struct TOutputTarget {
  std::string FinalName;  // the library file name asked for
  std::string FinalPath;  // the local file it becomes (a link is followed)
  std::string TempPath;   // empty: written in place (another protocol, a device, a pipe)
  // An empty file made under FinalPath to reserve the name; removed unless replaced.
  bool Reserved = false;
  dev_t ReservedDevice = 0;
  ino_t ReservedInode = 0;
  bool Complete = false;  // the trailer was written and the file closed without error
  bool HasFile = false;   // prepared: there is a file to settle when the output closes

  // The name the library writes to.
  std::string WriteName() const { return TempPath.empty() ? FinalName : "file:" + TempPath; }
  // The file as it is while the job runs (the temporary file when there is one).
  std::string CurrentPath() const { return TempPath.empty() ? LocalPath(FinalName) : TempPath; }
};

// Chooses where `fileName` is written and creates the temporary file (and the reserving
// file). 0, or a negative library error code with nothing left on disk.
int PrepareOutputTarget(const std::string& fileName, TOutputTarget& target);

// After the library closed the file: a complete non-empty output is renamed onto its
// name; otherwise the temporary file and the reserving file go, and a file written in
// place is deleted when it stayed empty. Returns an error text when a complete output
// could not take its name (the temporary file is then kept), else "".
std::string SettleOutputTarget(TOutputTarget& target);

}  // namespace engine
