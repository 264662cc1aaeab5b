#include "PartFacts.h"

#include <utility>

#include "EncodedWords.h"
#include "MimeParameters.h"
#include "text/TextRules.h"

namespace mime {

namespace {

constexpr std::string_view kContentType = "CONTENT-TYPE:";
constexpr std::string_view kTransferEncoding = "CONTENT-TRANSFER-ENCODING:";
constexpr std::string_view kDisposition = "CONTENT-DISPOSITION:";

}  // namespace

std::string_view generatedExtension(std::string_view type) {
    static constexpr std::pair<std::string_view, std::string_view> kKnown[] = {
        {"text/html", ".HTM"},         {"text/plain", ".TXT"},        {"", ".TXT"},
        {"message/rfc822", ".EML"},    {"image/jpeg", ".JPG"},        {"image/jpg", ".JPG"},
        {"image/png", ".PNG"},         {"image/gif", ".GIF"},         {"image/heic", ".HEIC"},
        {"application/pdf", ".PDF"},   {"application/zip", ".ZIP"},   {"application/x-gzip", ".GZ"},
        {"application/gzip", ".GZ"},   {"text/calendar", ".ICS"},     {"text/x-vcard", ".VCF"},
        {"text/vcard", ".VCF"},
    };
    for (const auto& [t, ext] : kKnown)
        if (type == t) return ext;
    return ".BIN";
}

std::string PartFacts::name() const {
    return decodeEncodedWords(dispositionName.empty() ? typeName : dispositionName);
}

void PartFacts::take(const std::string& line) {
    const std::string_view l(line);
    if (text::startsWithIgnoreCase(l, kContentType)) {
        ContentField f = parseContentField(l.substr(kContentType.size()));
        type = std::move(f.value);
        charset = f.take("charset");
        boundary = isMultipart() ? f.take("boundary") : std::string();
        typeName = f.take("name");
    } else if (text::startsWithIgnoreCase(l, kTransferEncoding)) {
        const std::string v = parseContentField(l.substr(kTransferEncoding.size())).value;
        if (v.find("base64") != std::string::npos)
            encoding = Encoding::Base64;
        else if (v.find("quoted-printable") != std::string::npos)
            encoding = Encoding::QuotedPrintable;
        else if (v.find("uue") != std::string::npos)
            encoding = Encoding::Uuencode;
    } else if (text::startsWithIgnoreCase(l, kDisposition)) {
        ContentField f = parseContentField(l.substr(kDisposition.size()));
        attachment = f.value == "attachment";
        dispositionName = f.take("filename");
    }
}

}  // namespace mime
