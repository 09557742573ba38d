// The raw view of a file's first bytes.
//
// Every byte becomes the character of the same code (Latin-1), a zero byte
// a "."; a line break ("\r\n") follows every 1,024 characters, and the text
// ends with one.
#pragma once

#include <QString>

#include <cstdint>
#include <span>

QString RawText(std::span<const uint8_t> bytes);

// The first `limit` bytes of a file (fewer when it is shorter; none when it
// cannot be read).
QByteArray ReadFileHead(const QString &path, qint64 limit);
