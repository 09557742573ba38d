// A minimal reader and writer of the program's INI files ("config.ini" and
// the language files).
//
// Lines are "key=text" under "[section]" headers; the key ends at the first
// "=", blanks around key and text are dropped, and a text wrapped in double
// quotes loses the quotes (so a text can end in a blank, which some messages
// need). A line without "=" is a key with the same text. Lines starting with
// ";" are comments. Files are UTF-8, with or without a byte-order mark.
#pragma once

#include <QList>
#include <QPair>
#include <QString>

class IniFile
{
public:
    using Entry = QPair<QString, QString>;
    struct Section
    {
        QString name;
        QList<Entry> entries; // in file order, duplicates kept
    };

    // Reads `path`; a missing or unreadable file gives no sections.
    static IniFile read(const QString &path);

    const QList<Section> &sections() const { return m_sections; }
    const Section *section(const QString &name) const;

    // The first value of `key` in `section`, or `fallback`.
    QString value(const QString &section, const QString &key, const QString &fallback = {}) const;

    // Replaces the first value of `key` in `section`, or appends it (and the
    // section) when missing; everything else in the file stays as it was.
    void setValue(const QString &section, const QString &key, const QString &value);

    // Writes the file through a temporary file renamed over the old one.
    bool write(const QString &path) const;

private:
    QList<Section> m_sections;
};
