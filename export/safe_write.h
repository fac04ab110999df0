#pragma once
// Writing the user's files so that nothing they had is lost: the bytes go to a
// temporary file beside the target, reach the disk, and only then replace it.
#include <optional>
#include <string>

namespace tivarel {

// Replaces the file at `path` with `bytes`. A symbolic link is followed and its target
// replaced, the link kept; an existing file keeps its permissions; a file the user may
// not write (no write permission, or none at all in its mode) is refused and left as it
// was. The data and the folder entry are flushed to disk around the rename, and no
// temporary file is left on any failure. Returns the message for the user (naming the
// file) when it fails, nothing on success.
[[nodiscard]] std::optional<std::string> WriteFileAtomically(const std::string& path, const std::string& bytes);

// Creates a new file in `folder` named `stem` + `extension`, or `stem`-2, -3 ... when that
// name is taken: an existing file is never touched. The bytes are flushed to disk.
// Returns the path written, or nothing when the folder cannot take the file.
std::optional<std::string> WriteNewFile(const std::string& folder, const std::string& stem,
                                        const std::string& extension, const std::string& bytes);

}  // namespace tivarel
