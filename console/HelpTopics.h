// The built-in help: one topic per window of the console.
#pragma once

#include <string>

// Topics: 0 main window; 2 to 6 the list editor's pages General, POP3, SMTP,
// Members and Messages. Paragraphs are separated by CR LF CR LF. `homeDir` is
// named in topic 6.
std::string helpTopicText(int topic, const std::string& homeDir);
