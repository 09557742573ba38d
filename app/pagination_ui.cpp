#include "pagination_ui.h"

#include <QButtonGroup>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>

#include <algorithm>

namespace {

constexpr int kOptionWidth = 32;
constexpr int kArrowWidth = 30;
constexpr int kEllipsisWidth = 16;
constexpr int kHalf = (CPaginationUI::kMaxButtons - 1) / 2;

const char *const kTagProperty = "tag";

// Page buttons and arrows share one look; the checked page stands out.
const char *const kButtonStyle = "QPushButton { color: #505050; background: #F3F3F3;"
                                 " border: 1px solid #DDDDDD; padding: 0px; }"
                                 "QPushButton:checked { color: #FFFFFF; background: #0089BE;"
                                 " border-color: #0089BE; }"
                                 "QPushButton:disabled { color: #B0B0B0; }";

QPushButton *NewButton(const QString &text, int width, QWidget *parent)
{
    auto *button = new QPushButton(text, parent);
    button->setFixedWidth(width);
    button->setStyleSheet(QLatin1String(kButtonStyle));
    button->setFocusPolicy(Qt::NoFocus);
    return button;
}

QLabel *NewEllipsis(const char *style, QWidget *parent)
{
    auto *label = new QLabel(QStringLiteral("..."), parent);
    label->setFixedWidth(kEllipsisWidth);
    label->setAlignment(Qt::AlignCenter);
    if (style != nullptr)
        label->setStyleSheet(QLatin1String(style));
    label->hide();
    return label;
}

} // namespace

CPaginationUI::CPaginationUI(QWidget *parent)
    : QWidget(parent)
    , m_group(new QButtonGroup(this))
{
    m_group->setObjectName(QStringLiteral("PAGINATION"));
    m_group->setExclusive(true);

    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 2, 0, 2);
    layout->setSpacing(4);
    layout->addStretch();
    m_prev = NewButton(QStringLiteral("Prev"), kArrowWidth, this);
    layout->addWidget(m_prev);

    auto addOptions = [this, layout](int count) {
        for (int i = 0; i < count; ++i) {
            QPushButton *option = NewButton(QString(), kOptionWidth, this);
            option->setCheckable(true);
            option->hide();
            m_group->addButton(option);
            layout->addWidget(option);
            m_options.push_back(option);
            connect(option, &QPushButton::clicked, this,
                    [this, option] { moveTo(option->property(kTagProperty).toInt()); });
        }
    };
    addOptions(kHeadCount);
    m_firstEllipsis = NewEllipsis("QLabel { border: 1px solid #FFFFFF; }", this);
    layout->addWidget(m_firstEllipsis);
    addOptions(kMiddleCount);
    m_secondEllipsis = NewEllipsis(nullptr, this);
    layout->addWidget(m_secondEllipsis);
    addOptions(kTailCount);

    m_next = NewButton(QStringLiteral("Next"), kArrowWidth, this);
    layout->addWidget(m_next);
    layout->addStretch();

    connect(m_prev, &QPushButton::clicked, this,
            [this] { moveTo(m_currentPage > 1 ? m_currentPage - 1 : m_currentPage); });
    connect(m_next, &QPushButton::clicked, this,
            [this] { moveTo(m_currentPage < m_pageCount ? m_currentPage + 1 : m_currentPage); });
}

bool CPaginationUI::Refresh()
{
    if (m_pageCount < m_currentPage)
        return false;
    // Before the first page is chosen there is nowhere to step back to.
    m_prev->setEnabled(m_currentPage > 1);
    m_next->setEnabled(m_currentPage < m_pageCount);

    const std::size_t options = m_options.size();
    if (m_pageCount <= kMaxButtons) {
        for (QPushButton *option : m_options)
            option->hide();
        showPages(0, static_cast<std::size_t>(std::max(m_pageCount, 0)), 1);
        m_firstEllipsis->hide();
        m_secondEllipsis->hide();
    } else if (m_currentPage <= kHalf + 1) {
        showPages(0, kHeadCount + kMiddleCount, 1);
        showPages(options - kTailCount, kTailCount, m_pageCount - 1);
        m_firstEllipsis->hide();
        m_secondEllipsis->show();
    } else if (m_currentPage < m_pageCount - kHalf) {
        showPages(0, kHeadCount, 1);
        showPages(kHeadCount, kMiddleCount, m_currentPage - kMiddleCount / 2);
        showPages(options - kTailCount, kTailCount, m_pageCount - 1);
        m_firstEllipsis->show();
        m_secondEllipsis->show();
    } else {
        showPages(0, kHeadCount, 1);
        showPages(kHeadCount, kMiddleCount + kTailCount,
                  m_pageCount - (kMiddleCount + kTailCount) + 1);
        m_firstEllipsis->show();
        m_secondEllipsis->hide();
    }
    checkCurrent();
    return true;
}

void CPaginationUI::showPages(std::size_t firstOption, std::size_t count, int firstPage)
{
    for (std::size_t i = 0; i < count; ++i) {
        QPushButton *option = m_options[firstOption + i];
        const int page = firstPage + static_cast<int>(i);
        option->setText(QString::number(page));
        option->setProperty(kTagProperty, page);
        option->show();
    }
}

void CPaginationUI::checkCurrent()
{
    // An exclusive group keeps one button checked; with no current page
    // (or one not shown) none may be.
    m_group->setExclusive(false);
    for (QPushButton *option : m_options)
        option->setChecked(option->isVisibleTo(this)
                           && option->property(kTagProperty).toInt() == m_currentPage);
    m_group->setExclusive(true);
}

void CPaginationUI::moveTo(int page)
{
    m_currentPage = page;
    emit updatePage();
    Refresh();
}
