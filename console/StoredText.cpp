#include "StoredText.h"

#include <QLineEdit>
#include <QStringDecoder>
#include <QVariant>

namespace {

// Windows-1252 bytes 0x80..0x9F; the five bytes it leaves undefined map to
// the C1 controls of the same value so every byte survives a round trip.
constexpr char16_t kHighTable[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

const char kBytes[] = "storedBytes";
const char kShown[] = "storedText";
const char kEncoding[] = "storedEncoding";

bool toWindows1252(const QString& text, std::string& out) {
    out.clear();
    out.reserve(static_cast<size_t>(text.size()));
    for (QChar qc : text) {
        const char16_t c = qc.unicode();
        if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) {
            out.push_back(static_cast<char>(c));
            continue;
        }
        bool found = false;
        for (int i = 0; i < 32 && !found; ++i) {
            if (kHighTable[i] == c) {
                out.push_back(static_cast<char>(0x80 + i));
                found = true;
            }
        }
        if (!found) return false;
    }
    return true;
}

}  // namespace

DecodedText decodeStored(std::string_view bytes) {
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = utf8.decode(QByteArrayView(bytes.data(), static_cast<qsizetype>(bytes.size())));
    if (!utf8.hasError()) return {text, TextEncoding::Utf8};
    text.clear();
    text.reserve(static_cast<qsizetype>(bytes.size()));
    for (char ch : bytes) {
        const auto b = static_cast<unsigned char>(ch);
        text.append(QChar(b >= 0x80 && b < 0xA0 ? kHighTable[b - 0x80] : char16_t(b)));
    }
    return {text, TextEncoding::Windows1252};
}

std::string encodeStored(const QString& text, TextEncoding encoding) {
    if (encoding == TextEncoding::Windows1252) {
        std::string out;
        if (toWindows1252(text, out)) return out;
    }
    return text.toStdString();
}

void setFieldBytes(QLineEdit* field, std::string_view bytes) {
    const DecodedText d = decodeStored(bytes);
    field->setProperty(kBytes, QByteArray(bytes.data(), static_cast<qsizetype>(bytes.size())));
    field->setProperty(kShown, d.text);
    field->setProperty(kEncoding, static_cast<int>(d.encoding));
    field->setText(d.text);
}

std::string fieldBytes(const QLineEdit* field) {
    const QVariant bytes = field->property(kBytes);
    if (bytes.isValid() && field->text() == field->property(kShown).toString())
        return bytes.toByteArray().toStdString();
    const auto encoding = static_cast<TextEncoding>(field->property(kEncoding).toInt());
    return encodeStored(field->text(), encoding);
}
