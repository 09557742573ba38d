// The thumbnail view of the results page: a grid of pictures with their
// names and check boxes, over a CThumbnailModel.
//
// Whenever what is in sight changes (scrolling, resizing, another page or
// type), the view asks its model for the thumbnails of the rows in sight and
// of the next few screens, nearest first; it never waits for them. A
// thumbnail that arrives replaces its row's type picture.
#pragma once

#include <QListView>
#include <QTimer>

class CThumbnailModel;

class CThumbnailView : public QListView
{
    Q_OBJECT

public:
    // Screens beyond the visible one whose thumbnails are read ahead.
    static constexpr int kScreensAhead = 2;

    explicit CThumbnailView(QWidget *parent = nullptr);

    void setThumbnailModel(CThumbnailModel *model);
    // The first and last row in sight (-1 when none).
    std::pair<int, int> rowsInSight() const;

protected:
    void resizeEvent(QResizeEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;

private:
    void scheduleRequest();
    void requestInSight();

    CThumbnailModel *m_thumbnails = nullptr;
    QTimer m_request;
};
