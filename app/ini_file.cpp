#include "ini_file.h"

#include <QFile>
#include <QSaveFile>

namespace {

QString unquoted(QString text)
{
    text = text.trimmed();
    if (text.size() >= 2 && text.startsWith(u'"') && text.endsWith(u'"'))
        return text.mid(1, text.size() - 2);
    return text;
}

} // namespace

IniFile IniFile::read(const QString &path)
{
    IniFile ini;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return ini;
    QString text = QString::fromUtf8(file.readAll());
    if (text.startsWith(QChar(0xFEFF)))
        text.remove(0, 1);

    Section *current = nullptr;
    const QStringList lines = text.split(u'\n');
    for (QString line : lines) {
        line = line.trimmed();
        if (line.isEmpty() || line.startsWith(u';'))
            continue;
        if (line.startsWith(u'[') && line.endsWith(u']')) {
            ini.m_sections.append(Section{line.mid(1, line.size() - 2).trimmed(), {}});
            current = &ini.m_sections.last();
            continue;
        }
        if (!current)
            continue; // text before the first section belongs to none
        const qsizetype equals = line.indexOf(u'=');
        if (equals < 0)
            current->entries.append({line, line});
        else
            current->entries.append({line.left(equals).trimmed(), unquoted(line.mid(equals + 1))});
    }
    return ini;
}

const IniFile::Section *IniFile::section(const QString &name) const
{
    for (const Section &s : m_sections) {
        if (s.name == name)
            return &s;
    }
    return nullptr;
}

QString IniFile::value(const QString &sectionName, const QString &key,
                       const QString &fallback) const
{
    if (const Section *s = section(sectionName)) {
        for (const Entry &entry : s->entries) {
            if (entry.first == key)
                return entry.second;
        }
    }
    return fallback;
}

void IniFile::setValue(const QString &sectionName, const QString &key, const QString &value)
{
    Section *target = nullptr;
    for (Section &s : m_sections) {
        if (s.name == sectionName) {
            target = &s;
            break;
        }
    }
    if (!target) {
        m_sections.append(Section{sectionName, {}});
        target = &m_sections.last();
    }
    for (Entry &entry : target->entries) {
        if (entry.first == key) {
            entry.second = value;
            return;
        }
    }
    target->entries.append({key, value});
}

bool IniFile::write(const QString &path) const
{
    QByteArray out;
    for (const Section &s : m_sections) {
        out += '[' + s.name.toUtf8() + "]\n";
        for (const Entry &entry : s.entries) {
            const bool needsQuotes = entry.second != entry.second.trimmed();
            out += entry.first.toUtf8() + '=';
            out += needsQuotes ? '"' + entry.second.toUtf8() + '"' : entry.second.toUtf8();
            out += '\n';
        }
        out += '\n';
    }
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    file.write(out);
    return file.commit();
}
