// Finding the lists beside the program and loading their settings and members.
#pragma once

#include <memory>
#include <string>

#include "MailList.h"

// Builds the list of the directory `directory` (with or without trailing
// '/'), printing the loading lines.
std::unique_ptr<MailList> LoadList(const std::string& directory);

// Loads every list directory of `homeDirectory` into ActiveLists, in name
// order. True when at least one list was loaded.
bool DiscoverLists(const std::string& homeDirectory);

// The same for the directory of the running program.
bool DiscoverLists();
