// Path text helpers shared by every part that finds files beside the program.
// Both separators are accepted, so the same code serves Windows paths and the
// test platform's.
#pragma once

#include <string>

#include "platform/os.h"

namespace paths {
// Drive and folder of path, ending in its separator ("" when there is none).
std::string Folder(const std::string& path);
// Name and extension after the last separator.
std::string FileName(const std::string& path);
// Name without folder and without the text from its last "." on.
std::string BaseName(const std::string& path);
// Full path of module, or false when the system gave none or had to cut it to
// fit MAX_PATH: a cut path names another place and must never be used.
bool ModulePath(HMODULE module, std::string* path);
// Whether text fits a MAX_PATH buffer with its terminating NUL.
inline bool FitsMaxPath(const std::string& text) { return text.size() < MAX_PATH; }
}  // namespace paths
