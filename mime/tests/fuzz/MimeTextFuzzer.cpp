// libFuzzer target: arbitrary bytes as a header value, through the MIME
// parameter parser (RFC 2231 sections and character sets included) and the
// encoded-word decoder, on their own. Aborts when a decoded name is not
// UTF-8: names become file names and reach members' programs.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "EncodedWords.h"
#include "MimeParameters.h"
#include "QuotedPrintable.h"
#include "TextToUtf8.h"

namespace {

bool validUtf8(std::string_view s) {
    std::string out, pending;
    mime::appendUtf8OrWindows1252(s, out, pending, true);
    return out == s;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);

    const mime::ContentField type = mime::parseContentField(text);
    const mime::ContentField disposition = mime::parseContentField(text.substr(size / 2));
    for (const auto& [name, value] : type.params)
        if (name.find('*') != std::string::npos) std::abort();  // sections are joined under their name

    if (!validUtf8(mime::decodeEncodedWords(text))) std::abort();
    const std::string filename = type.param("filename");
    if (!validUtf8(mime::decodeEncodedWords(filename))) std::abort();

    std::string out;
    mime::decodeQuotedPrintableLine(text, out);
    for (const char* charset : {"", "ISO-2022-JP", "Shift_JIS", "UTF-7"}) {
        mime::TextToUtf8 converter(charset);
        out.clear();
        converter.convert(text.substr(0, size / 3), out, false);
        converter.convert(text.substr(size / 3), out, true);
    }
    return 0;
}
