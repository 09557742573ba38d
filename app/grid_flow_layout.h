// A layout that places its items in as many equal columns as the width
// allows, row by row, and grows downwards instead of sideways.
//
// Every column is as wide as the widest item's size hint, so that no item's
// text is ever cut; when the width cannot hold two columns, one column is
// used. The layout answers heightForWidth(), so a scroll area around it
// scrolls vertically only. Items keep the order they were added in (left to
// right, then the next row), which reads like a table.
#pragma once

#include <QLayout>
#include <QList>

class CGridFlowLayout : public QLayout
{
public:
    explicit CGridFlowLayout(QWidget *parent = nullptr, int horizontalSpacing = 12,
                             int verticalSpacing = 2);
    ~CGridFlowLayout() override;

    // The number of columns the layout uses at `width`.
    int columnsFor(int width) const;

    void addItem(QLayoutItem *item) override;
    int count() const override { return int(m_items.size()); }
    QLayoutItem *itemAt(int index) const override { return m_items.value(index); }
    QLayoutItem *takeAt(int index) override;
    Qt::Orientations expandingDirections() const override { return {}; }
    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int width) const override;
    QSize minimumSize() const override;
    QSize sizeHint() const override;
    void setGeometry(const QRect &rect) override;

private:
    // The widest and the highest size hint of the visible items.
    QSize cellSize() const;
    QList<QLayoutItem *> visibleItems() const;
    int arrange(const QRect &rect, bool apply) const;

    QList<QLayoutItem *> m_items;
    int m_horizontalSpacing;
    int m_verticalSpacing;
};
