// The pieces that turn what clients write into UTF-8: MIME parameters,
// encoded words, quoted-printable and character sets.
#include <gtest/gtest.h>

#include <string>

#include "EncodedWords.h"
#include "MimeParameters.h"
#include "QuotedPrintable.h"
#include "TextToUtf8.h"

using namespace mime;

namespace {

TEST(MimeParameters, ValuesByTheRules) {
    const struct {
        const char* value;
        const char* type;
        const char* param;
        const char* expected;
    } cases[] = {
        {" multipart/mixed; boundary=Apple-Mail-13-196941151", "multipart/mixed", "boundary",
         "Apple-Mail-13-196941151"},
        {"  Multipart/Related ;\tBoundary = \"=_x;y\" ; type=\"text/html\"", "multipart/related", "boundary",
         "=_x;y"},
        {"text/plain (a comment) ; charset = (why) \"ISO-8859-1\"", "text/plain", "charset", "ISO-8859-1"},
        {"text/plain; charset=utf-8 (comment after)", "text/plain", "charset", "utf-8"},
        {"attachment; filename=\"say \\\"hi\\\".txt\"", "attachment", "filename", "say \"hi\".txt"},
        {"attachment; filename=\"C:\\Docs\\a.doc\"", "attachment", "filename", "C:\\Docs\\a.doc"},
        {"attachment; filename=my report.pdf", "attachment", "filename", "my report.pdf"},
        // RFC 2231: charset, percent escapes, numbered sections in any order.
        {"attachment; filename*=utf-8''Caf%C3%A9.txt", "attachment", "filename", "Caf\xC3\xA9.txt"},
        {"attachment; filename*=iso-8859-1'de'%E4rger.txt", "attachment", "filename", "\xC3\xA4rger.txt"},
        {"attachment; filename*1*=%A9.txt; filename*0*=UTF-8''Caf%C3", "attachment", "filename",
         "Caf\xC3\xA9.txt"},
        {"attachment;\r\n filename*0=\"long name \";\r\n filename*1=\"in parts.txt\"", "attachment", "filename",
         "long name in parts.txt"},
        {"attachment; filename=\"plain.txt\"; filename*=UTF-8''better.txt", "attachment", "filename",
         "better.txt"},
        {"text/plain; charset", "text/plain", "charset", ""},
        {"", "", "charset", ""},
        {"application/octet-stream; name*99999=x", "application/octet-stream", "name", ""},
    };
    for (const auto& c : cases) {
        const ContentField f = parseContentField(c.value);
        EXPECT_EQ(f.value, c.type) << c.value;
        EXPECT_EQ(f.param(c.param), c.expected) << c.value;
    }
}

TEST(EncodedWords, DecodedToUtf8) {
    const struct {
        const char* in;
        const char* out;
    } cases[] = {
        {"=?UTF-8?Q?Caf=C3=A9_menu.pdf?=", "Caf\xC3\xA9 menu.pdf"},
        {"=?utf-8?b?Q2Fmw6k=?= =?utf-8?b?LnR4dA==?=", "Caf\xC3\xA9.txt"},  // blanks between words vanish
        {"=?ISO-2022-JP?B?GyRCRnxLXDhsGyhC?=.txt", "\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E.txt"},
        {"=?EUC-KR?B?x9Gxub7u?=", "\xED\x95\x9C\xEA\xB5\xAD\xEC\x96\xB4"},
        {"=?iso-8859-1*de?Q?=E4?=", "\xC3\xA4"},
        {"plain =?bogus", "plain =?bogus"},
        {"=?UTF-8?X?abc?=", "=?UTF-8?X?abc?="},
        {"a =?UTF-8?Q?b?= c", "a b c"},
        {"raw \xE9t\xE9", "raw \xC3\xA9t\xC3\xA9"},  // 8-bit bytes that are no UTF-8: Windows-1252
        {"=?utf-8?b?QUI?= =?utf-8?b?Qw?=", "ABC"},  // base64 without its padding keeps its bytes
        {"=?a?q?x =?a?q?y?=", "=?a?q?x y"},            // a word holds no blank
        {"=?a?b?x=?a?b?x=?a?b?x", "=?a?b?x=?a?b?x=?a?b?x"},
    };
    for (const auto& c : cases) EXPECT_EQ(decodeEncodedWords(c.in), c.out) << c.in;
}

TEST(QuotedPrintable, LinesDecoded) {
    const struct {
        const char* line;
        const char* out;
    } cases[] = {
        {"Caf=C3=A9", "Caf\xC3\xA9\n"},
        {"soft break=", "soft break"},
        {"blanks at the end   \t", "blanks at the end\n"},
        {"lower =c3=a9", "lower \xC3\xA9\n"},
        {"kept =ZZ and =4", "kept =ZZ and =4\n"},
        {"=", ""},
        {"a==3D", "a==\n"},
        {"", "\n"},
    };
    for (const auto& c : cases) {
        std::string out;
        decodeQuotedPrintableLine(c.line, out);
        EXPECT_EQ(out, c.out) << c.line;
    }
}

TEST(TextToUtf8, CharsetsAndFallbackInPieces) {
    const struct {
        const char* charset;
        std::string bytes;
        std::string utf8;
    } cases[] = {
        {"ISO-8859-1", "Caf\xE9", "Caf\xC3\xA9"},
        {"windows-1252", "\x93quoted\x94 \x80", "\xE2\x80\x9Cquoted\xE2\x80\x9D \xE2\x82\xAC"},
        {"Shift_JIS", "\x93\xFA\x96\x7B", "\xE6\x97\xA5\xE6\x9C\xAC"},
        {"ks_c_5601-1987", "\xC7\xD1", "\xED\x95\x9C"},
        {"ISO-2022-JP", "\x1B$BF|\x1B(B", "\xE6\x97\xA5"},
        {"", "valid \xC3\xA9 and bad \xE9", "valid \xC3\xA9 and bad \xC3\xA9"},
        // The five bytes Windows-1252 leaves undefined, between defined ones.
        {"us-ascii", "\x80\x81\x8D\x8F\x90\x9D\x9F",
         "\xE2\x82\xAC\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\xC5\xB8"},
        {"x-no-such-set", "\xE2\x82\xAC", "\xE2\x82\xAC"},
        {"utf-8", "\xED\xA0\x80", "\xC3\xAD\xC2\xA0\xE2\x82\xAC"},  // a surrogate is no UTF-8
        {"ISO-8859-2", "\xFF", "\xCB\x99"},
    };
    for (const auto& c : cases) {
        // Byte by byte: sequences cut between pieces must come out whole.
        TextToUtf8 t(c.charset);
        std::string out;
        for (char b : c.bytes) t.convert(std::string_view(&b, 1), out, false);
        t.convert({}, out, true);
        EXPECT_EQ(out, c.utf8) << c.charset;
    }
    // A sequence cut by the end of the text is not lost.
    TextToUtf8 cut("utf-8");
    std::string out;
    cut.convert("a\xC3", out, false);
    cut.convert({}, out, true);
    EXPECT_EQ(out, "a\xC3\x83");
}

}  // namespace
