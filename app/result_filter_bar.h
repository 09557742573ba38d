// The filter bar above the results page's file list: a search box for names
// and ranges of size and modified date, read into the same RecordFilter the
// command line's options fill, so that both choose files alike.
//
// In the search box a word without wildcards is looked for anywhere in the
// name ("img" finds "Holiday IMG_0001.jpg"), since that is what people type
// into a search box; with *, ? or [ ] it is a pattern of the whole name, and
// with a "/" of the folder path and name, as on the command line. Sizes read
// "500k", "4M", "1G" (multiples of 1024), dates "2024-05-01" or
// "2024-05-01 10:30", as the list shows them; both bounds are included, and
// a date as the upper bound keeps that whole day.
//
// Typing is gathered: the filter is announced once the user pauses, so that
// a result of 100,000 files is filtered once per change, not once per key.
// A field whose text cannot be read is marked and left out of the filter
// until it is mended.
#pragma once

#include <QTimer>
#include <QWidget>

#include "engine/record_filter.h"

class QLineEdit;
class QToolButton;

class CResultFilterBar : public QWidget
{
    Q_OBJECT

public:
    struct Texts
    {
        QString name; // the placeholders of the fields
        QString minSize;
        QString maxSize;
        QString after;
        QString before;
        QString boundsHint; // the tooltips of the range fields
        QString nameHint; // and of the search box
    };
    static constexpr int kSettleMilliseconds = 250;

    explicit CResultFilterBar(QWidget *parent = nullptr);

    void setTexts(const Texts &texts);
    const vexlo::RecordFilter &filter() const { return m_filter; }
    // Empties every field; the empty filter is announced at once.
    void clear();

signals:
    void filterChanged();

private:
    void readFields();

    QLineEdit *m_name;
    QLineEdit *m_minSize;
    QLineEdit *m_maxSize;
    QLineEdit *m_after;
    QLineEdit *m_before;
    QToolButton *m_clear;
    QTimer m_settle;
    vexlo::RecordFilter m_filter;
};
