#include "grid_flow_layout.h"

#include <QWidget>

CGridFlowLayout::CGridFlowLayout(QWidget *parent, int horizontalSpacing, int verticalSpacing)
    : QLayout(parent)
    , m_horizontalSpacing(horizontalSpacing)
    , m_verticalSpacing(verticalSpacing)
{
}

CGridFlowLayout::~CGridFlowLayout()
{
    while (QLayoutItem *item = takeAt(0))
        delete item;
}

void CGridFlowLayout::addItem(QLayoutItem *item)
{
    m_items.append(item);
    invalidate();
}

QLayoutItem *CGridFlowLayout::takeAt(int index)
{
    if (index < 0 || index >= m_items.size())
        return nullptr;
    invalidate();
    return m_items.takeAt(index);
}

QList<QLayoutItem *> CGridFlowLayout::visibleItems() const
{
    QList<QLayoutItem *> visible;
    for (QLayoutItem *item : m_items) {
        if (!item->isEmpty())
            visible.append(item);
    }
    return visible;
}

QSize CGridFlowLayout::cellSize() const
{
    QSize cell(0, 0);
    for (QLayoutItem *item : visibleItems())
        cell = cell.expandedTo(item->sizeHint());
    return cell;
}

int CGridFlowLayout::columnsFor(int width) const
{
    const int cell = cellSize().width();
    const QMargins margins = contentsMargins();
    const int room = width - margins.left() - margins.right();
    if (cell <= 0)
        return 1;
    return qMax(1, (room + m_horizontalSpacing) / (cell + m_horizontalSpacing));
}

int CGridFlowLayout::arrange(const QRect &rect, bool apply) const
{
    const QList<QLayoutItem *> items = visibleItems();
    const QMargins margins = contentsMargins();
    const QRect area = rect.marginsRemoved(margins);
    const QSize cell = cellSize();
    const int columns = columnsFor(rect.width());
    // Spare width goes to the columns, so they line up with the edge.
    const int width = columns > 1 ? (area.width() - (columns - 1) * m_horizontalSpacing) / columns
                                  : qMax(cell.width(), area.width());
    const int rows = (int(items.size()) + columns - 1) / columns;
    if (apply) {
        for (int i = 0; i < items.size(); ++i) {
            const int row = i / columns;
            const int column = i % columns;
            items[i]->setGeometry(QRect(area.left() + column * (width + m_horizontalSpacing),
                                        area.top() + row * (cell.height() + m_verticalSpacing),
                                        width, cell.height()));
        }
    }
    const int body = rows > 0 ? rows * cell.height() + (rows - 1) * m_verticalSpacing : 0;
    return margins.top() + body + margins.bottom();
}

int CGridFlowLayout::heightForWidth(int width) const
{
    return arrange(QRect(0, 0, width, 0), false);
}

void CGridFlowLayout::setGeometry(const QRect &rect)
{
    QLayout::setGeometry(rect);
    arrange(rect, true);
}

QSize CGridFlowLayout::minimumSize() const
{
    const QMargins margins = contentsMargins();
    const int width = cellSize().width() + margins.left() + margins.right();
    return {width, heightForWidth(width)};
}

QSize CGridFlowLayout::sizeHint() const
{
    // Four columns where there is room, as a table of types reads best.
    constexpr int kPreferredColumns = 4;
    const QMargins margins = contentsMargins();
    const int width = kPreferredColumns * cellSize().width()
            + (kPreferredColumns - 1) * m_horizontalSpacing + margins.left() + margins.right();
    return {width, heightForWidth(width)};
}
