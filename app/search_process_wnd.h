// The search progress window: asks each scanned source's engine for the
// records of the chosen file types and appends them to the owner's vector,
// and, when the owner asks for them, each record's folder path (the engine's
// GetFullPath; empty when it has none) at the same position of a second
// vector. The paths are read here, in the worker, because the views show
// them for every row and a store may have to be read for each.
//
// It closes with 1 and sends searchFinished() when the loop ends (also after
// a cancel), and closes with 1 at once, without searchFinished(), when the
// list is empty or holds a source that was never scanned.
#pragma once

#include <string>
#include <vector>

#include "engine/found_file_record.h"
#include "progress_wnd.h"
#include "source_entry.h"

namespace Ui {
class SearchProcessWnd;
}

class CSearchProcessWnd : public CProgressWnd
{
    Q_OBJECT

public:
    CSearchProcessWnd(QWidget *owner, std::vector<SourceEntry *> sources, std::string typeFilter,
                      std::vector<vexlo::FoundFileRecord> *results,
                      std::vector<std::string> *folderPaths = nullptr);
    ~CSearchProcessWnd() override;

signals:
    void searchFinished();

protected:
    void onClick(const QString &name) override;

private:
    static int32_t searchCallback(void *user, int32_t percent, int32_t reserved);
    void work() override;

    Ui::SearchProcessWnd *m_ui;
    std::vector<SourceEntry *> m_sources;
    std::string m_typeFilter;
    std::vector<vexlo::FoundFileRecord> *m_results;
    std::vector<std::string> *m_folderPaths;
};
