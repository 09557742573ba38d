#include "message_format.h"

#include <QList>

namespace {

QString convert(QChar conversion, int precision, const QVariant &argument)
{
    if (!argument.isValid())
        return {};
    switch (conversion.unicode()) {
    case 'c':
        if (argument.typeId() == QMetaType::QString)
            return argument.toString().left(1);
        return QString(QChar(static_cast<char16_t>(argument.toUInt())));
    case 'd':
    case 'i':
        return QString::number(argument.toLongLong());
    case 'u':
        return QString::number(argument.toULongLong());
    case 'f':
        return QString::number(argument.toDouble(), 'f', precision < 0 ? 6 : precision);
    default:
        return argument.toString();
    }
}

} // namespace

QString FormatMessage(const QString &format, std::initializer_list<QVariant> arguments)
{
    const QList<QVariant> args(arguments);
    qsizetype next = 0;
    QString out;
    out.reserve(format.size() + 16);
    for (qsizetype i = 0; i < format.size(); ++i) {
        const QChar c = format.at(i);
        if (c != u'%' || i + 1 >= format.size()) {
            out += c;
            continue;
        }
        qsizetype j = i + 1;
        if (format.at(j) == u'%') {
            out += u'%';
            i = j;
            continue;
        }
        while (j < format.size() && QStringLiteral("-+ #0").contains(format.at(j)))
            ++j;
        while (j < format.size() && format.at(j).isDigit())
            ++j;
        int precision = -1;
        if (j < format.size() && format.at(j) == u'.') {
            precision = 0;
            for (++j; j < format.size() && format.at(j).isDigit(); ++j)
                precision = qMin(precision * 10 + format.at(j).digitValue(), 99);
        }
        if (format.mid(j, 3) == QLatin1String("I64"))
            j += 3;
        while (j < format.size() && (format.at(j) == u'l' || format.at(j) == u'h'))
            ++j;
        if (j >= format.size() || !QStringLiteral("sdiucf").contains(format.at(j))) {
            out += format.mid(i, j - i); // not a conversion: shown as written
            i = j - 1;
            continue;
        }
        out += convert(format.at(j), precision, next < args.size() ? args.at(next) : QVariant());
        ++next;
        i = j;
    }
    return out;
}
