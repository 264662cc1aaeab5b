// What a part's header lines say about it.
#pragma once

#include <string>
#include <string_view>

namespace mime {

struct PartFacts {
    enum class Encoding { None, Base64, QuotedPrintable, Uuencode };
    std::string type;      // lower case; "" without a Content-Type line
    std::string charset;
    std::string boundary;  // of a multipart type
    Encoding encoding = Encoding::None;
    bool attachment = false;  // the disposition says "attachment"
    std::string typeName;         // the type's name parameter
    std::string dispositionName;  // the disposition's filename parameter

    void take(const std::string& line);
    bool isText() const { return type.empty() || type == "text/plain"; }
    bool isHtml() const { return type == "text/html"; }
    bool isMultipart() const { return type.starts_with("multipart/"); }
    // The name in UTF-8, the disposition's first; "" when there is none.
    std::string name() const;
};

// The extension of a generated name for a part of this type.
std::string_view generatedExtension(std::string_view type);

}  // namespace mime
