// The program's main window: four pages (mode, source, file types, results)
// under a caption bar with the assist menu.
//
// This first version carries the pages, the language handling (the "MainWnd"
// texts, the language menu and the switch), the mode buttons with their
// descriptions, and the file-type page built from the catalogue with the
// category check boxes tied to the selection that a deep search uses.
#pragma once

#include <QList>
#include <QWidget>

#include "catalogue/extension_selection.h"

class QCheckBox;
class QMenu;

namespace Ui {
class FileRecoveryWnd;
}

class CMainWnd : public QWidget
{
    Q_OBJECT

public:
    static constexpr int kModePage = 0;
    static constexpr int kSourcePage = 1;
    static constexpr int kFileTypePage = 2;
    static constexpr int kResultPage = 3;

    explicit CMainWnd(QWidget *parent = nullptr);
    ~CMainWnd() override;

    const vexlo::catalogue::ExtensionSelection &extensionSelection() const { return m_selection; }

public slots:
    // Re-reads the catalogue after a change of language and rewrites the texts.
    void applyLanguage();
    void showPage(int page);

signals:
    void languageChanged();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void buildFileTypePage();
    void buildAssistMenu();
    void fillLanguageMenu();
    void tieCategoryCheckBoxes();
    void rewritePageTexts();
    QString message(const char *key) const;

    Ui::FileRecoveryWnd *m_ui;
    QMenu *m_assistMenu = nullptr;
    QMenu *m_languageMenu = nullptr;
    vexlo::catalogue::ExtensionSelection m_selection;
    QList<QCheckBox *> m_categoryChecks; // in box order
    bool m_imageMode = false;
};
