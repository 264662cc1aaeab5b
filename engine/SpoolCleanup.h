// Removing old spool files and handling a spool file's attachment folder
// (the spool file's path without its dot and three-letter extension).
#pragma once

#include <cstdint>
#include <string>

#include "MailList.h"
#include "Spool.h"

// Removes the list's files "*.<kind>" last written more than `ageLimitDays`
// ago; an age limit of 0 (or below) removes them whatever their age.
void RemoveOldFiles(const MailList& list, std::string kind, int32_t ageLimitDays);

// Deletes the files of the spool file's attachment folder, then the folder.
void DeleteAttachments(const MailList& list, const std::string& spoolPath);

// The full paths of the folder's files joined by "|".
std::string ListAttachments(const MailList& list, const std::string& spoolPath);

// Shortens a long path for display: head " ... " tail.
std::string AbbreviatePath(const std::string& path, int32_t maximum);
