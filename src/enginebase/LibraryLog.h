#pragma once
// Hands the codec library's log output to the engine logger.

namespace engine {

// Installs the library log callback and lets the logger set the library's level (the
// logger's current level is applied at once).
void InstallLibraryCallback();

}  // namespace engine
