// Content-Type and Content-Disposition values by the MIME rules (RFC 2045,
// 2046, 2231): case-insensitive names, any blanks, comments, quoted or token
// values, parameters split into numbered and charset-tagged sections.
#pragma once

#include <map>
#include <string>
#include <string_view>

namespace mime {

struct ContentField {
    std::string value;                         // "multipart/mixed", "attachment": lower case
    std::map<std::string, std::string> params;  // lower-case names; values as written

    // The parameter's value, or "" when absent.
    std::string param(const std::string& name) const;
    // The same, moved out: a value may be megabytes long.
    std::string take(const std::string& name);
};

// Parses the value of a header line (the text after the colon). Section
// parameters (name*0, name*1*, name*) are joined and their charset applied,
// so the result holds UTF-8; a joined parameter replaces a plain one of the
// same name.
ContentField parseContentField(std::string_view value);

}  // namespace mime
