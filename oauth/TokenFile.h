// OAuth2.TOK in the list directory: the refresh token the console's sign-in
// obtained and the engine keeps current, as a JSON object. It is the only
// file that ever holds a token; Settings.INI, which administrators copy and
// mail around, never does.
#pragma once

#include <string>

namespace oauth {

inline constexpr char kTokenFile[] = "OAuth2.TOK";
// Held while a refresh token is used and replaced: the engine and a console
// test refreshing at once would otherwise both present the same rotated
// token, and a provider that sees one used twice ends the whole grant.
inline constexpr char kTokenLockFile[] = "OAuth2.LCK";

struct TokenRecord {
    std::string refreshToken;
    std::string account;   // who signed in, for the console to show
    std::string scope;     // as granted
    std::string obtained;  // when the refresh token was issued (UTC, ISO 8601)
};

// False when the list has no token file, or it holds no refresh token or
// is not a JSON object.
bool readTokenFile(const std::string& listDir, TokenRecord& out);

// Replaces the record's fields in the file, keeping every field it does not
// know, atomically (temporary file, flushed, renamed, directory flushed): a
// crash leaves the old token or the new one, never none. False when it
// could not be written; the old file stays. The file is its owner's alone,
// or in a set-group-ID list directory its group's as well, so that the
// engine's account reads what an administrator's console signed in.
// A link in the file's place is replaced, never followed.
bool writeTokenFile(const std::string& listDir, const TokenRecord& record);

// Sign-out. True when no token file is left.
bool removeTokenFile(const std::string& listDir);

// The mode of the token file and its lock in this list directory.
unsigned tokenFileMode(const std::string& listDir);

// The current time as the record's `obtained` field takes it.
std::string utcNow();

}  // namespace oauth
