#include "thumbnail_view.h"

#include <QApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QScrollBar>
#include <QStyledItemDelegate>

#include "file_list_model.h"
#include "thumbnail_loader.h"
#include "thumbnail_model.h"

namespace {

// Room around a thumbnail for its name.
constexpr int kCellWidth = CThumbnailLoader::kSide + 24;
constexpr int kCellHeight = CThumbnailLoader::kSide + 34;
constexpr int kCellInset = 4;
constexpr int kCheckInset = 6; // the check box's distance from the picture's corner
// Scrolling asks once it pauses this long, not for every pixel moved.
constexpr int kRequestDelayMs = 30;

// A cell: the picture, its name under it, and its check box in the
// picture's corner, where a photo viewer puts it.
class ThumbnailDelegate : public QStyledItemDelegate
{
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    static QRect pictureRect(const QRect &cell)
    {
        const QRect inner = cell.adjusted(kCellInset, kCellInset, -kCellInset, -kCellInset);
        return {inner.left() + (inner.width() - CThumbnailLoader::kSide) / 2, inner.top(),
                CThumbnailLoader::kSide, CThumbnailLoader::kSide};
    }

    static QRect checkRect(const QStyleOptionViewItem &option, const QWidget *widget)
    {
        const QStyle *style = widget != nullptr ? widget->style() : QApplication::style();
        const int side = style->pixelMetric(QStyle::PM_IndicatorWidth, &option, widget);
        const QRect picture = pictureRect(option.rect);
        return {picture.left() + kCheckInset, picture.top() + kCheckInset, side, side};
    }

    void paint(QPainter *painter, const QStyleOptionViewItem &option,
               const QModelIndex &index) const override
    {
        painter->save();
        painter->setRenderHint(QPainter::Antialiasing);
        const QRect cell = option.rect.adjusted(kCellInset / 2, kCellInset / 2, -kCellInset / 2,
                                                -kCellInset / 2);
        const QColor highlight = option.palette.color(QPalette::Highlight);
        if (option.state & QStyle::State_Selected) {
            QColor fill = highlight;
            fill.setAlpha(45);
            painter->setPen(QPen(highlight, 2));
            painter->setBrush(fill);
            painter->drawRoundedRect(QRectF(cell).adjusted(1, 1, -1, -1), 6, 6);
        } else if (option.state & QStyle::State_MouseOver) {
            painter->setPen(Qt::NoPen);
            painter->setBrush(QColor(0, 0, 0, 14));
            painter->drawRoundedRect(cell, 6, 6);
        }
        const QRect picture = pictureRect(option.rect);
        index.data(Qt::DecorationRole).value<QIcon>().paint(painter, picture, Qt::AlignCenter);

        const QRect nameRect(cell.left() + kCellInset, picture.bottom() + 4,
                             cell.width() - 2 * kCellInset, option.fontMetrics.height());
        painter->setPen(option.palette.color(QPalette::Text));
        painter->drawText(nameRect, Qt::AlignHCenter | Qt::AlignTop,
                          option.fontMetrics.elidedText(index.data().toString(), Qt::ElideMiddle,
                                                        nameRect.width()));

        // A white ground keeps the box readable on any picture.
        const QRect check = checkRect(option, option.widget);
        painter->setPen(Qt::NoPen);
        painter->setBrush(QColor(255, 255, 255, 220));
        painter->drawRoundedRect(QRectF(check).adjusted(-3, -3, 3, 3), 4, 4);
        QStyleOptionButton box;
        box.rect = check;
        box.state = QStyle::State_Enabled
                | (index.data(Qt::CheckStateRole).value<Qt::CheckState>() == Qt::Checked
                           ? QStyle::State_On
                           : QStyle::State_Off);
        const QStyle *style
                = option.widget != nullptr ? option.widget->style() : QApplication::style();
        style->drawPrimitive(QStyle::PE_IndicatorCheckBox, &box, painter, option.widget);
        painter->restore();
    }

    QSize sizeHint(const QStyleOptionViewItem &, const QModelIndex &) const override
    {
        return {kCellWidth, kCellHeight};
    }

    bool editorEvent(QEvent *event, QAbstractItemModel *model, const QStyleOptionViewItem &option,
                     const QModelIndex &index) override
    {
        if (event->type() == QEvent::KeyPress) {
            const int key = static_cast<QKeyEvent *>(event)->key();
            return (key == Qt::Key_Space || key == Qt::Key_Select) && toggle(model, index);
        }
        if (event->type() != QEvent::MouseButtonPress && event->type() != QEvent::MouseButtonRelease
            && event->type() != QEvent::MouseButtonDblClick)
            return false;
        const auto *mouse = static_cast<QMouseEvent *>(event);
        const QRect box = checkRect(option, option.widget).adjusted(-3, -3, 3, 3);
        if (mouse->button() != Qt::LeftButton || !box.contains(mouse->position().toPoint()))
            return false;
        // The press is taken too, so that checking a picture does not also
        // select it and open its preview.
        return event->type() != QEvent::MouseButtonRelease || toggle(model, index);
    }

private:
    static bool toggle(QAbstractItemModel *model, const QModelIndex &index)
    {
        const bool checked = index.data(Qt::CheckStateRole).value<Qt::CheckState>() == Qt::Checked;
        return model->setData(index, checked ? Qt::Unchecked : Qt::Checked, Qt::CheckStateRole);
    }
};

} // namespace

CThumbnailView::CThumbnailView(QWidget *parent)
    : QListView(parent)
{
    setViewMode(QListView::IconMode);
    setMovement(QListView::Static);
    setResizeMode(QListView::Adjust);
    setUniformItemSizes(true);
    setWrapping(true);
    setWordWrap(false);
    setTextElideMode(Qt::ElideMiddle);
    setIconSize(QSize(CThumbnailLoader::kSide, CThumbnailLoader::kSide));
    setGridSize(QSize(kCellWidth, kCellHeight));
    setSpacing(0);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    setMouseTracking(true);
    setItemDelegate(new ThumbnailDelegate(this));
    verticalScrollBar()->setSingleStep(kCellHeight / 4);

    m_request.setSingleShot(true);
    m_request.setInterval(kRequestDelayMs);
    connect(&m_request, &QTimer::timeout, this, &CThumbnailView::requestInSight);
    connect(verticalScrollBar(), &QScrollBar::valueChanged, this, &CThumbnailView::scheduleRequest);
}

void CThumbnailView::setThumbnailModel(CThumbnailModel *model)
{
    m_thumbnails = model;
    setModel(model);
    setModelColumn(CFileListModel::kNameColumn);
    connect(model, &QAbstractItemModel::modelReset, this, &CThumbnailView::scheduleRequest);
    connect(model, &QAbstractItemModel::layoutChanged, this, &CThumbnailView::scheduleRequest);
}

void CThumbnailView::resizeEvent(QResizeEvent *event)
{
    // The columns share the width, so the grid reaches both edges.
    const int columns = qMax(1, viewport()->width() / kCellWidth);
    setGridSize(QSize(qMax(kCellWidth, viewport()->width() / columns), kCellHeight));
    QListView::resizeEvent(event);
    scheduleRequest();
}

void CThumbnailView::showEvent(QShowEvent *event)
{
    QListView::showEvent(event);
    scheduleRequest();
}

void CThumbnailView::hideEvent(QHideEvent *event)
{
    QListView::hideEvent(event);
    // Out of sight, nothing is worth reading.
    m_request.stop();
    if (m_thumbnails != nullptr)
        m_thumbnails->requestRows(0, -1);
}

void CThumbnailView::scheduleRequest()
{
    if (isVisible())
        m_request.start();
}

std::pair<int, int> CThumbnailView::rowsInSight() const
{
    if (model() == nullptr || model()->rowCount() == 0)
        return {-1, -1};
    const QRect area = viewport()->rect();
    int first = -1;
    // The first cell whose bottom is in sight: the top row may be cut.
    for (int y = 1; y < area.height() && first < 0; y += kCellHeight / 4) {
        for (int x = 1; x < area.width() && first < 0; x += kCellWidth / 2) {
            const QModelIndex index = indexAt(QPoint(x, y));
            if (index.isValid())
                first = index.row();
        }
    }
    if (first < 0)
        return {-1, -1};
    int last = first;
    const int rows = model()->rowCount();
    while (last + 1 < rows
           && visualRect(model()->index(last + 1, modelColumn())).top() < area.bottom())
        ++last;
    return {first, last};
}

void CThumbnailView::requestInSight()
{
    if (m_thumbnails == nullptr || !isVisible())
        return;
    const auto [first, last] = rowsInSight();
    if (first < 0)
        return;
    const int inSight = last - first + 1;
    m_thumbnails->requestRows(first, last + kScreensAhead * inSight);
}
