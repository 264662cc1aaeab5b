#include "StoredText.h"

#include <QLineEdit>
#include <QStringDecoder>
#include <QVariant>

#include "text/Windows1252.h"

namespace {

const char kBytes[] = "storedBytes";
const char kShown[] = "storedText";
const char kEncoding[] = "storedEncoding";

bool toWindows1252(const QString& text, std::string& out) {
    out.clear();
    out.reserve(static_cast<size_t>(text.size()));
    for (QChar qc : text) {
        const int b = text::unicodeToWindows1252(qc.unicode());
        if (b < 0) return false;
        out.push_back(static_cast<char>(b));
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
        text.append(QChar(static_cast<char16_t>(text::windows1252ToUnicode(b))));
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
