#pragma once
// Folder texts, file-name checks, extensions and free names for new files. Plain C++;
// texts are UTF-8 and paths use "/".

#include <string>
#include <string_view>

namespace app {

// The text with "/" appended unless it already ends with "/"; an empty text gives "/".
std::string WithTrailingSeparator(const std::string& path);

// The characters a file name may not hold: \ / : * ? " < > |
extern const std::string_view kForbiddenFileNameChars;

// False for an empty name or one holding a forbidden character.
bool IsValidFileName(const std::string& name);
// The name with every forbidden character replaced by "_"; a valid name is returned as is.
std::string SanitizeFileName(const std::string& name);

// The extension of the file-name part: from its last dot on, or empty without a dot.
std::string ExtractExtension(const std::string& path);
// The path without the extension of its file-name part.
std::string StripExtension(const std::string& path);

// A name for a new file in `folder`: `name` itself when nothing of that name is there,
// else the first free of "base(1).ext", "base(2).ext", ... The counter stops at 32768,
// whose name is returned without being tested.
std::string UniqueFileName(const std::string& name, const std::string& folder);

}  // namespace app
