// The page selector: which pages its buttons show, where the arrows lead,
// and what a click reports.
#include <QButtonGroup>
#include <QLabel>
#include <QLayout>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

#include "pagination_ui.h"

namespace {

// The texts of the shown page buttons and gaps, left to right.
QString Shown(const CPaginationUI &pages)
{
    QStringList texts;
    QLayout *layout = pages.layout();
    for (int i = 0; i < layout->count(); ++i) {
        QWidget *child = layout->itemAt(i)->widget();
        if (child == nullptr || child == pages.prevButton() || child == pages.nextButton()
            || !child->isVisibleTo(&pages))
            continue;
        if (auto *button = qobject_cast<QPushButton *>(child))
            texts << button->text();
        else if (auto *label = qobject_cast<QLabel *>(child))
            texts << label->text();
    }
    return texts.join(QLatin1Char(' '));
}

QStringList Checked(const CPaginationUI &pages)
{
    QStringList texts;
    for (QPushButton *option : pages.pageButtons())
        if (option->isChecked())
            texts << option->text();
    return texts;
}

QPushButton *ShownOption(const CPaginationUI &pages, int page)
{
    for (QPushButton *option : pages.pageButtons())
        if (option->isVisibleTo(&pages) && option->text() == QString::number(page))
            return option;
    return nullptr;
}

void Show(CPaginationUI &pages, int count, int current)
{
    pages.SetPageCount(count);
    pages.SetCurrentPage(current);
    QVERIFY(pages.Refresh());
}

} // namespace

class PaginationTest : public QObject
{
    Q_OBJECT

private slots:
    void buildsItsChildrenInOrder()
    {
        CPaginationUI pages;
        QLayout *layout = pages.layout();
        QCOMPARE(layout->count(), 17);
        QVERIFY(layout->itemAt(0)->spacerItem() != nullptr);
        QCOMPARE(layout->itemAt(1)->widget(), pages.prevButton());
        QCOMPARE(layout->itemAt(4)->widget(), pages.firstEllipsis());
        QCOMPARE(layout->itemAt(12)->widget(), pages.secondEllipsis());
        QCOMPARE(layout->itemAt(15)->widget(), pages.nextButton());
        QVERIFY(layout->itemAt(16)->spacerItem() != nullptr);
        QCOMPARE(pages.pageButtons().size(), std::size_t{11});
        for (QPushButton *option : pages.pageButtons()) {
            QVERIFY(option->isCheckable());
            QCOMPARE(option->group()->objectName(), QStringLiteral("PAGINATION"));
            QCOMPARE(option->group(), pages.pageButtons().front()->group());
            QVERIFY(option->group()->exclusive());
            QCOMPARE(option->minimumWidth(), 32);
            QCOMPARE(option->maximumWidth(), 32);
        }
        QCOMPARE(pages.prevButton()->text(), QStringLiteral("Prev"));
        QCOMPARE(pages.nextButton()->maximumWidth(), 30);
        QCOMPARE(pages.firstEllipsis()->maximumWidth(), 16);
        QVERIFY(!pages.firstEllipsis()->isVisibleTo(&pages));
        QCOMPARE(pages.currentPage(), 0);
        QCOMPARE(pages.pageCount(), 0);
    }

    void refreshLaysOutPages_data()
    {
        QTest::addColumn<int>("count");
        QTest::addColumn<int>("current");
        QTest::addColumn<QString>("shown");
        QTest::addColumn<bool>("prev");
        QTest::addColumn<bool>("next");
        QTest::newRow("one page") << 1 << 1 << "1" << false << false;
        QTest::newRow("five pages, no gaps") << 5 << 1 << "1 2 3 4 5" << false << true;
        QTest::newRow("eleven pages still fit")
                << 11 << 11 << "1 2 3 4 5 6 7 8 9 10 11" << true << false;
        QTest::newRow("twelve pages, first")
                << 12 << 1 << "1 2 3 4 5 6 7 8 9 ... 11 12" << false << true;
        QTest::newRow("twelve pages, seventh is near the end")
                << 12 << 7 << "1 2 ... 4 5 6 7 8 9 10 11 12" << true << true;
        QTest::newRow("twelve pages, last")
                << 12 << 12 << "1 2 ... 4 5 6 7 8 9 10 11 12" << true << false;
        QTest::newRow("30 pages, near the start")
                << 30 << 3 << "1 2 3 4 5 6 7 8 9 ... 29 30" << true << true;
        QTest::newRow("30 pages, last page of the start")
                << 30 << 6 << "1 2 3 4 5 6 7 8 9 ... 29 30" << true << true;
        QTest::newRow("30 pages, first of the middle")
                << 30 << 7 << "1 2 ... 4 5 6 7 8 9 10 ... 29 30" << true << true;
        QTest::newRow("30 pages, page 12")
                << 30 << 12 << "1 2 ... 9 10 11 12 13 14 15 ... 29 30" << true << true;
        QTest::newRow("30 pages, last of the middle")
                << 30 << 24 << "1 2 ... 21 22 23 24 25 26 27 ... 29 30" << true << true;
        QTest::newRow("30 pages, near the end")
                << 30 << 28 << "1 2 ... 22 23 24 25 26 27 28 29 30" << true << true;
        QTest::newRow("30 pages, last")
                << 30 << 30 << "1 2 ... 22 23 24 25 26 27 28 29 30" << true << false;
        QTest::newRow("no page chosen yet")
                << 30 << 0 << "1 2 3 4 5 6 7 8 9 ... 29 30" << false << true;
    }

    void refreshLaysOutPages()
    {
        QFETCH(int, count);
        QFETCH(int, current);
        QFETCH(QString, shown);
        QFETCH(bool, prev);
        QFETCH(bool, next);
        CPaginationUI pages;
        // Start from another layout, so that leftovers would show.
        Show(pages, 40, 20);
        Show(pages, count, current);
        QCOMPARE(Shown(pages), shown);
        QCOMPARE(pages.prevButton()->isEnabled(), prev);
        QCOMPARE(pages.nextButton()->isEnabled(), next);
        QCOMPARE(Checked(pages),
                 current == 0 ? QStringList() : QStringList{QString::number(current)});
        for (QPushButton *option : pages.pageButtons())
            if (option->isVisibleTo(&pages))
                QCOMPARE(option->property("tag").toInt(), option->text().toInt());
    }

    void currentBeyondCountChangesNothing()
    {
        CPaginationUI pages;
        Show(pages, 30, 12);
        pages.SetPageCount(3);
        QVERIFY(!pages.Refresh());
        QCOMPARE(Shown(pages), QStringLiteral("1 2 ... 9 10 11 12 13 14 15 ... 29 30"));
        QVERIFY(pages.nextButton()->isEnabled());
    }

    void clicksMoveAndReport_data()
    {
        QTest::addColumn<int>("count");
        QTest::addColumn<int>("current");
        QTest::addColumn<QString>("click"); // "prev", "next" or a page number
        QTest::addColumn<int>("landed");
        QTest::addColumn<QString>("shown");
        QTest::newRow("next") << 30 << 6 << "next" << 7 << "1 2 ... 4 5 6 7 8 9 10 ... 29 30";
        QTest::newRow("prev") << 30 << 7 << "prev" << 6 << "1 2 3 4 5 6 7 8 9 ... 29 30";
        QTest::newRow("last page button")
                << 30 << 1 << "30" << 30 << "1 2 ... 22 23 24 25 26 27 28 29 30";
        QTest::newRow("middle page button")
                << 30 << 12 << "15" << 15 << "1 2 ... 12 13 14 15 16 17 18 ... 29 30";
        QTest::newRow("few pages") << 4 << 2 << "next" << 3 << "1 2 3 4";
    }

    void clicksMoveAndReport()
    {
        QFETCH(int, count);
        QFETCH(int, current);
        QFETCH(QString, click);
        QFETCH(int, landed);
        QFETCH(QString, shown);
        CPaginationUI pages;
        Show(pages, count, current);
        QSignalSpy reported(&pages, &CPaginationUI::updatePage);
        // The owner reads the page while it handles the report.
        int pageSeen = -1;
        connect(&pages, &CPaginationUI::updatePage, this, [&] { pageSeen = pages.currentPage(); });
        QPushButton *target = click == "prev" ? pages.prevButton()
                : click == "next"             ? pages.nextButton()
                                              : ShownOption(pages, click.toInt());
        QVERIFY(target != nullptr);
        target->click();
        QCOMPARE(reported.count(), 1);
        QCOMPARE(pageSeen, landed);
        QCOMPARE(pages.currentPage(), landed);
        QCOMPARE(Shown(pages), shown);
        QCOMPARE(Checked(pages), QStringList{QString::number(landed)});
    }
};

QTEST_MAIN(PaginationTest)
#include "pagination_test.moc"
