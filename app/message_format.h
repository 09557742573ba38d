// printf-style formatting of catalogue texts.
//
// Language files are data, not code: a translated text may carry more, fewer
// or other placeholders than the program passes. Formatting therefore walks
// the text itself and takes arguments as QVariants: %s, %d, %i, %u, %c, %f
// (with "l", "ll", "I64", width and precision accepted and the flags
// ignored) consume the next argument, a missing argument prints nothing, and
// "%%" prints "%". No text can make the program read past its arguments.
#pragma once

#include <QString>
#include <QVariant>

#include <initializer_list>

QString FormatMessage(const QString &format, std::initializer_list<QVariant> arguments);
