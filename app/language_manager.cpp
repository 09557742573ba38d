#include "language_manager.h"

#include <QAbstractButton>
#include <QAction>
#include <QDir>
#include <QFileInfo>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QTextEdit>
#include <QTreeWidget>

#include "ini_file.h"
#include "platform/paths.h"

namespace {

// Longest texts the catalogue keeps; longer ones are cut rather than lost.
constexpr qsizetype kLanguageNameChars = 63;
constexpr qsizetype kLanguageLineChars = 127;
constexpr qsizetype kSectionNameChars = 255;
constexpr qsizetype kLineChars = 1023;

QString toQString(const std::filesystem::path &path)
{
    return QString::fromStdString(path.string());
}

// Hands `object` to `set` when it is a `Control`.
template<typename Control, typename Set> bool setAs(QObject *object, const Set &set)
{
    auto *control = qobject_cast<Control *>(object);
    if (control != nullptr)
        set(control);
    return control != nullptr;
}

// Hands `object` to `set` as the first of `Controls` it is; false when it is
// none of them.
template<typename... Controls, typename Set> bool setAsOneOf(QObject *object, const Set &set)
{
    return (setAs<Controls>(object, set) || ...);
}

// The control kinds differ only in what their text is called.
void setObjectText(QObject *object, const QString &text)
{
    if (setAsOneOf<QLabel, QAbstractButton, QAction, QLineEdit>(
                object, [&](auto *control) { control->setText(text); })
        || setAsOneOf<QMenu, QGroupBox>(object, [&](auto *control) { control->setTitle(text); })
        || setAsOneOf<QTextEdit, QPlainTextEdit>(
                object, [&](auto *control) { control->setPlainText(text); }))
        return;
    if (auto *widget = qobject_cast<QWidget *>(object); widget && widget->isWindow())
        widget->setWindowTitle(text);
}

void setTreeNodeTexts(QTreeWidgetItem *item, const LanguageManager::SectionMap &section)
{
    const QString name = item->data(0, LanguageManager::kNodeNameRole).toString();
    if (!name.isEmpty()) {
        const auto it = section.constFind(name);
        if (it != section.constEnd())
            item->setText(0, it.value());
    }
    for (int i = 0; i < item->childCount(); ++i)
        setTreeNodeTexts(item->child(i), section);
}

LanguageManager *g_testInstance = nullptr;

} // namespace

void LanguageManager::SetInstanceForTesting(LanguageManager *catalogue)
{
    g_testInstance = catalogue;
}

LanguageManager &LanguageManager::Instance()
{
    if (g_testInstance)
        return *g_testInstance;
    static LanguageManager instance = [] {
        const std::filesystem::path packaged = vexlo::platform::ResourcePath("config.ini");
        const bool besideProgram = packaged.parent_path() == vexlo::platform::ProgramDir();
        return LanguageManager(
                toQString(packaged),
                toQString(vexlo::platform::ConfigHome() / "VexloSdCardDataRecovery" / "config.ini"),
                toQString(vexlo::platform::ResourcePath("Languages")),
                besideProgram ? PackagedConfig::Editable : PackagedConfig::ReadOnly);
    }();
    return instance;
}

LanguageManager::LanguageManager(const QString &packagedConfig, const QString &userConfig,
                                 const QString &languagesFolder, PackagedConfig packaged)
    : m_packagedConfig(packagedConfig)
    , m_userConfig(userConfig)
    , m_languagesFolder(languagesFolder)
    , m_packaged(packaged)
{
    loadConfig();
    const IniFile config = IniFile::read(activeConfigPath());
    if (const IniFile::Section *list = config.section(QStringLiteral("Languages"))) {
        for (const IniFile::Entry &entry : list->entries) {
            // The reader already split at the first "="; a line without one
            // names the language by its file name.
            m_languages.append(
                    {entry.first.left(kLanguageLineChars), entry.second.left(kLanguageLineChars)});
        }
    }
    loadLanguageFile();
}

QString LanguageManager::activeConfigPath() const
{
    return QFileInfo::exists(m_userConfig) ? m_userConfig : m_packagedConfig;
}

void LanguageManager::loadConfig()
{
    const IniFile config = IniFile::read(activeConfigPath());
    m_currentLanguage = config.value(QStringLiteral("DefaultLanguage"), QStringLiteral("Default"),
                                     QStringLiteral("English"))
                                .left(kLanguageNameChars);
}

void LanguageManager::loadLanguageFile()
{
    m_sections.clear();
    const IniFile file = IniFile::read(
            QDir(m_languagesFolder).filePath(m_currentLanguage + QStringLiteral(".ini")));
    for (const IniFile::Section &section : file.sections()) {
        SectionMap &map = m_sections[section.name.left(kSectionNameChars)];
        for (const IniFile::Entry &entry : section.entries) {
            const QString key = entry.first.left(kLineChars);
            if (!map.contains(key))
                map.insert(key, entry.second.left(kLineChars - key.size() - 1));
        }
    }
}

QString LanguageManager::writableConfigPath() const
{
    if (QFileInfo::exists(m_userConfig) || m_packaged == PackagedConfig::ReadOnly)
        return m_userConfig;
    const QFileInfo packaged(m_packagedConfig);
    const bool writable = packaged.exists() ? packaged.isWritable()
                                            : QFileInfo(packaged.absolutePath()).isWritable();
    return writable ? m_packagedConfig : m_userConfig;
}

void LanguageManager::SetLanguage(const QString &fileName)
{
    SetSetting(QStringLiteral("DefaultLanguage"), QStringLiteral("Default"), fileName);
    loadConfig();
    loadLanguageFile();
}

QString LanguageManager::Setting(const QString &section, const QString &key,
                                 const QString &fallback) const
{
    return IniFile::read(activeConfigPath()).value(section, key, fallback);
}

void LanguageManager::SetSetting(const QString &section, const QString &key, const QString &value)
{
    const QString target = writableConfigPath();
    // A first write to the user's copy starts from the packaged file, so the
    // list of languages stays.
    IniFile config = IniFile::read(activeConfigPath());
    config.setValue(section, key, value);
    if (target == m_userConfig)
        QDir().mkpath(QFileInfo(m_userConfig).absolutePath());
    config.write(target);
}

LanguageManager::SectionMap &LanguageManager::Section(const QString &name)
{
    return m_sections[name];
}

QString LanguageManager::Text(const QString &section, const QString &key)
{
    SectionMap &map = m_sections[section];
    auto it = map.find(key);
    if (it == map.end())
        it = map.insert(key, QString());
    return it.value();
}

void LanguageManager::ApplySection(QObject *window, const QString &sectionName)
{
    if (!window)
        return;
    const SectionMap &section = Section(sectionName);
    for (auto it = section.constBegin(); it != section.constEnd(); ++it) {
        QObject *control = window->objectName() == it.key()
                ? window
                : window->findChild<QObject *>(it.key());
        if (!control)
            continue;
        setObjectText(control, it.value());
        if (auto *widget = qobject_cast<QWidget *>(control); widget && widget->parentWidget())
            widget->parentWidget()->updateGeometry();
    }
    const QList<QTreeWidget *> trees = window->findChildren<QTreeWidget *>();
    for (QTreeWidget *tree : trees) {
        for (int i = 0; i < tree->topLevelItemCount(); ++i)
            setTreeNodeTexts(tree->topLevelItem(i), section);
    }
}
