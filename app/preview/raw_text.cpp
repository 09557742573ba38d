#include "preview/raw_text.h"

#include <QFile>

namespace {

constexpr std::size_t kLineLength = 1024;

} // namespace

QString RawText(std::span<const uint8_t> bytes)
{
    QString text;
    text.reserve(qsizetype(bytes.size() + 2 * (bytes.size() / kLineLength + 1)));
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        text += bytes[i] == 0 ? QChar(u'.') : QChar(char16_t(bytes[i]));
        if ((i + 1) % kLineLength == 0)
            text += QStringLiteral("\r\n");
    }
    if (bytes.size() % kLineLength != 0 || bytes.empty())
        text += QStringLiteral("\r\n");
    return text;
}

QByteArray ReadFileHead(const QString &path, qint64 limit)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.read(limit);
}
