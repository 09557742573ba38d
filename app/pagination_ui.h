// The page selector under the file list: "Prev", up to eleven page buttons
// with two "..." gaps, "Next".
//
// Children, left to right: a stretch, "Prev", two head buttons, the first
// "...", seven middle buttons, the second "...", two tail buttons, "Next", a
// stretch. The page buttons are checkable members of one exclusive group
// named "PAGINATION"; each keeps the page it shows in its "tag" property,
// and the one showing the current page is checked.
//
// Which pages the buttons show (Refresh):
//   - up to eleven pages: one button per page, no gaps;
//   - near the start: 1-9 ... last two;
//   - in the middle: 1 2 ... current-3 .. current+3 ... last two;
//   - near the end: 1 2 ... last nine.
// A click on Prev, Next or a page button moves the current page, emits
// updatePage() and refreshes; the owner then reads currentPage(). Pages
// count from 1; 0 means no page yet.
#pragma once

#include <QWidget>

#include <vector>

class QButtonGroup;
class QLabel;
class QPushButton;

class CPaginationUI : public QWidget
{
    Q_OBJECT

public:
    static constexpr int kMaxButtons = 11;
    static constexpr int kHeadCount = 2;
    static constexpr int kTailCount = 2;
    static constexpr int kMiddleCount = 7;

    explicit CPaginationUI(QWidget *parent = nullptr);

    void SetPageCount(int count) { m_pageCount = count; }
    void SetCurrentPage(int page) { m_currentPage = page; }
    // Lays the buttons out for the current page; false (and nothing changed)
    // when the current page lies beyond the page count.
    bool Refresh();

    int pageCount() const { return m_pageCount; }
    int currentPage() const { return m_currentPage; }

    QPushButton *prevButton() const { return m_prev; }
    QPushButton *nextButton() const { return m_next; }
    // The page buttons in child order (head, middle, tail).
    const std::vector<QPushButton *> &pageButtons() const { return m_options; }
    QLabel *firstEllipsis() const { return m_firstEllipsis; }
    QLabel *secondEllipsis() const { return m_secondEllipsis; }

signals:
    void updatePage();

private:
    void showPages(std::size_t firstOption, std::size_t count, int firstPage);
    void checkCurrent();
    void moveTo(int page);

    QPushButton *m_prev;
    QPushButton *m_next;
    QLabel *m_firstEllipsis;
    QLabel *m_secondEllipsis;
    std::vector<QPushButton *> m_options;
    QButtonGroup *m_group;
    int m_pageCount = 0;
    int m_currentPage = 0;
};
