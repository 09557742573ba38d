// The language catalogue: every caption and message the program shows.
//
// "config.ini" names the available languages (section "Languages", lines
// file name = display name) and the chosen one (DefaultLanguage/Default,
// "English" when missing). The chosen language's file, Languages/<name>.ini,
// holds one section per window (control name = caption) and the section
// "Messages" (MSGnnnn = text). Lookups never fail: a missing file, section
// or key gives the empty text, and the first occurrence of a key in a section
// is the one that counts.
//
// Where config.ini lives: the packaged file beside the program (or in
// ../share/vexlo-sd-recovery); once the user has chosen a language in an
// installation, or where the program's folder is not writable, the choice
// is kept in
// $XDG_CONFIG_HOME/VexloSdCardDataRecovery/config.ini, which is then read in
// preference to the packaged one.
//
// Used from the UI thread only; workers receive texts already looked up.
#pragma once

#include <QList>
#include <QMap>
#include <QPair>
#include <QString>

class QObject;

class LanguageManager
{
public:
    using SectionMap = QMap<QString, QString>;
    using LanguageList = QList<QPair<QString, QString>>; // (file name, display name)

    // The program's catalogue, loaded on first use from the resource folders.
    static LanguageManager &Instance();

    // Tests put a catalogue on their own files in place of the program's;
    // null restores the program's.
    static void SetInstanceForTesting(LanguageManager *catalogue);

    // Whether a choice may be written into the packaged config.ini when its
    // folder is writable: yes beside the program (a build or an unpacked
    // copy), never in an installation, whose files belong to the package
    // manager even when root runs the program.
    enum class PackagedConfig { Editable, ReadOnly };

    // A catalogue on explicit files (tests, tools): the packaged config.ini,
    // the user's writable copy, and the folder that holds the language files.
    LanguageManager(const QString &packagedConfig, const QString &userConfig,
                    const QString &languagesFolder,
                    PackagedConfig packaged = PackagedConfig::Editable);

    // The section's key -> text map; a missing section is created empty. The
    // reference is valid until the next SetLanguage().
    SectionMap &Section(const QString &name);

    // The text of `key`; a missing key is added with the empty text.
    QString Text(const QString &section, const QString &key);

    QString CurrentLanguage() const { return m_currentLanguage; }
    const LanguageList &Languages() const { return m_languages; }

    // Remembers `fileName` as the chosen language in config.ini, reads the
    // choice back and reloads the texts.
    void SetLanguage(const QString &fileName);

    // Other choices the user made (the recovery's options), kept in
    // config.ini beside the language: the value of `key` in `section`, or
    // `fallback`; and the remembering of one.
    QString Setting(const QString &section, const QString &key, const QString &fallback = {}) const;
    void SetSetting(const QString &section, const QString &key, const QString &value);

    // Gives every object below `window` whose objectName is a key of the
    // section the key's text: labels, buttons, actions, menus, group boxes,
    // line and text edits, and tree items that carry the name in
    // kNodeNameRole. A disabled control receives its text and stays disabled.
    void ApplySection(QObject *window, const QString &sectionName);

    // The config.ini that is read now (the user's copy once it exists).
    QString activeConfigPath() const;

    // Tree items name themselves through this data role (column 0).
    static constexpr int kNodeNameRole = 0x0100 + 100; // Qt::UserRole + 100

private:
    void loadConfig();
    void loadLanguageFile();
    QString writableConfigPath() const;

    QString m_packagedConfig;
    QString m_userConfig;
    QString m_languagesFolder;
    PackagedConfig m_packaged;
    QString m_currentLanguage;
    LanguageList m_languages;
    QMap<QString, SectionMap> m_sections;
};
