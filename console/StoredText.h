// Text from the list files is bytes. A value is shown as UTF-8 when it is
// valid UTF-8, else as Windows-1252 (files written by Windows
// editors), and a field keeps the bytes it was filled with until the user
// changes it; a changed value is written back in the encoding it came in.
#pragma once

#include <QString>
#include <string>
#include <string_view>

class QLineEdit;

enum class TextEncoding { Utf8, Windows1252 };

struct DecodedText {
    QString text;
    TextEncoding encoding = TextEncoding::Utf8;
};

DecodedText decodeStored(std::string_view bytes);

// `text` in `encoding`; a text that Windows-1252 cannot hold is written as
// UTF-8 rather than losing characters.
std::string encodeStored(const QString& text, TextEncoding encoding);

// Fills the field with the bytes' text and remembers the bytes.
void setFieldBytes(QLineEdit* field, std::string_view bytes);

// The remembered bytes while the field shows their text, else the field's
// text in the remembered encoding (UTF-8 for a field never filled).
std::string fieldBytes(const QLineEdit* field);
