#pragma once

#include <QByteArray>
#include <QString>

namespace platform {

// The text as single-byte ISO-8859-1, one byte per character; characters
// outside it become "?".
inline QByteArray latin1Bytes(const QString& text)
{
    QByteArray bytes;
    bytes.reserve(text.size());
    for (char32_t c : text.toUcs4())
        bytes.append(c < 256 ? static_cast<char>(c) : '?');
    return bytes;
}

} // namespace platform
