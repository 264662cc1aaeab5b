// The header block of a spooled message, for the rules that look past the
// three headers the commands need: automatic mail and threads.
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

struct MailHeaders {
    // Every field up to the empty line that ends the block, unfolded, in
    // order: the name as written and the value with blanks trimmed.
    std::vector<std::pair<std::string, std::string>> fields;

    // The first field of that name (any case); null when there is none.
    const std::string* find(std::string_view name) const;
};

// Reads the header block of the file at `path`. False when the file cannot
// be opened; a file without an empty line gives all its header-like lines.
bool ReadMailHeaders(const std::string& path, MailHeaders& headers);

// The message ids ("<left@right>") in a Message-ID, In-Reply-To or
// References value, in order. Text outside angle brackets is skipped, and
// so is an id that holds blanks, control bytes or 8-bit bytes or is longer
// than a header line should carry: such ids cannot be passed on safely.
std::vector<std::string> MessageIds(std::string_view value);
