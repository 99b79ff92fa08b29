#pragma once
// Whole-file replacement that a crash never leaves half-written: the text goes to a temporary
// file in the same folder, is flushed, and is renamed over the old file.

#include <filesystem>
#include <string>

namespace orv::platform {

// Replaces `file` by `text`, creating its folder if missing. A file that is a symbolic link is
// replaced at its target, so the link stays; the old file's permission bits are kept (0644 for a
// new one). False, with the old file untouched, when anything fails.
bool ReplaceFileAtomically(const std::filesystem::path& file, const std::string& text);

} // namespace orv::platform
