// Names of the files the decoder writes. Attachment names come from mail, so
// they are reduced to a plain file name that stays inside the attachment folder.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace mime {

// The last path component after every ":", "\" and "/", trimmed of spaces,
// as a view into `name`. "", "." and ".." mean the part has no usable
// name: the result is empty.
std::string_view reducedName(std::string_view name);

// Replaces bytes that break the "|"-joined attachment list or outgoing part
// headers (control bytes) or that Windows file systems refuse in names (lists
// are copied between systems) by "_". Valid names are returned unchanged.
std::string sanitizeName(std::string_view name);

// reducedName then sanitizeName; nullopt when the result is unusable as a file
// name (empty, longer than 255 bytes, or the decoder's own work file name).
std::optional<std::string> attachmentFileName(std::string_view name);

inline constexpr std::size_t kMaxNameLength = 255;
inline constexpr std::string_view kWorkFileName = "~Attach~.TMP";

// The attachment folder of a message file: its path without the last 4 bytes.
std::string attachmentFolderOf(const std::string& path);

}  // namespace mime
