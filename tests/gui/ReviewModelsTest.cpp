// SPDX-License-Identifier: GPL-3.0-or-later
// The review screens' item models: structure (under QAbstractItemModelTester),
// selection through ModuleInfo::updateState, search, sort, shortened texts.

#include "GuiTestSupport.h"
#include "ReviewSupport.h"
#include "format/FileUrl.h"
#include "ui/CategoryDD.h"
#include "ui/CleanReport.h"
#include "ui/DetailDD.h"
#include "ui/FeatureDD.h"
#include "ui/ReviewCells.h"

#include <QAbstractItemModelTester>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QSignalSpy>
#include <QTest>
#include <QThreadPool>

#include <algorithm>
#include <atomic>

using namespace Qt::StringLiterals;
using gui_tests::record;

namespace {

const core::Category &category()
{
    return core::ModuleInfo::modules()[1].categories[0];
}

/// Names of the first level as shown, in order.
QStringList shown(const gui::DetailDD &model)
{
    QStringList names;
    for (int row = 0; row < model.rowCount(); ++row) {
        names << model.index(row, 0).data().toString();
    }
    return names;
}

/// The states of every record, files then their children: "name=state ...".
QString states()
{
    QStringList out;
    for (const auto &file : category().files) {
        out << QString::fromStdString(file->name()) + u"="_s + QString::number(file->checked);
        for (const auto &child : file->children) {
            out << QString::fromStdString(child->name()) + u"="_s + QString::number(child->checked);
        }
    }
    return out.join(u' ') + u" | "_s + QString::number(category().state);
}

/// Files named so that every key orders them differently, with ties:
/// "f<n>" or "F<n>" (natural order and case ties), sizes in four values,
/// dates in three, in a stored order that is none of them.
std::vector<core::FolderInfoPtr> mixedFiles(int count)
{
    std::vector<core::FolderInfoPtr> files;
    for (int i = 0; i < count; ++i) {
        const int n = (i * 37) % count;
        const std::string name = (i % 3 == 0 ? "F" : "f") + std::to_string(n % (count / 2 + 1));
        files.push_back(record(i, name, 100 * ((i * 7) % 4), 1'600'000'000 + (i % 3) * 1000));
    }
    return files;
}

/// Lets every worker of the sort finish and delivers what they post.
void settleSorts()
{
    QThreadPool::globalInstance()->waitForDone();
    QCoreApplication::processEvents();
    QCoreApplication::processEvents();
}

class ReviewModelsTest : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<gui_tests::Environment> m_env;

    /// files: "beta" 300 B (2020), "Alpha" 100 B (2022) with children "one", "two", "gamma" 200 B (2021).
    static void installThree(int checked = 0)
    {
        gui_tests::installFiles(
            {
                record(0, "beta", 300, 1'600'000'000, {}, checked),
                record(1,
                    "Alpha",
                    100,
                    1'650'000'000,
                    { record(0, "one", 60, 0, {}, checked), record(1, "two", 40, 0, {}, checked) },
                    checked),
                record(2, "gamma", 200, 1'610'000'000, {}, checked),
            },
            checked);
    }

    static std::unique_ptr<gui::DetailDD> detailModel()
    {
        auto model = std::make_unique<gui::DetailDD>();
        model->setSelectionTarget(1, 0);
        model->reloadData(category().files);
        return model;
    }

private Q_SLOTS:
    void init()
    {
        m_env = std::make_unique<gui_tests::Environment>();
        installThree();
    }
    void cleanup() { m_env.reset(); }

    void featureRowsAreShownButNeverSelected()
    {
        gui::FeatureDD model(
            { { "feature_cache", "Clears caches" }, { "feature_logs", "Removes logs" } }, u"featureCell"_s);
        QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
        QCOMPARE(model.rowCount(), 2);
        QCOMPARE(model.index(1, 0).data().toString(), u"Removes logs"_s);
        QCOMPARE(model.index(0, 0).data(gui::FeatureDD::ImageNameRole).toString(), u"feature_cache"_s);
        QVERIFY(!model.flags(model.index(0, 0)).testFlag(Qt::ItemIsSelectable));
        model.setFeatures({ { "x", "Only one" } });
        QCOMPARE(model.rowCount(), 1);
    }

    void detailModelHasTwoLevels()
    {
        qputenv("TZ", "UTC");
        tzset();
        auto model = detailModel();
        QAbstractItemModelTester tester(model.get(), QAbstractItemModelTester::FailureReportingMode::QtTest);
        QCOMPARE(model->rowCount(), 3);
        const QModelIndex alpha = model->index(1, 0);
        QVERIFY(model->hasChildren(alpha));
        QVERIFY(!model->hasChildren(model->index(0, 0)));
        QCOMPARE(model->rowCount(alpha), 2);
        const QModelIndex two = model->index(1, 0, alpha);
        QCOMPARE(two.data().toString(), u"two"_s);
        QCOMPARE(two.parent(), alpha);
        QVERIFY(!model->hasChildren(two));
        QCOMPARE(model->index(0, gui::DetailDD::SizeColumn).data().toString(), u"300 bytes"_s);
        QCOMPARE(model->index(0, gui::DetailDD::DateColumn).data().toString(), u"2020-09-13 12:26"_s);
        QCOMPARE(
            model->index(0, gui::DetailDD::NameColumn).data(gui::DetailDD::PathRole).toString(), u"/nowhere/beta"_s);
        // The tester also watches the resets of a search and a sort.
        model->searchFiles(u"a"_s);
        model->sortDetailData(u"descending"_s, u"size"_s);
        model->searchFiles(QString());
    }

    void categoryModelFollowsTheCatalogue()
    {
        gui::CategoryDD model(1, nullptr);
        QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
        model.reloadData(1);
        QCOMPARE(model.rowCount(), 1);
        QCOMPARE(model.index(0, 0).data().toString(), u"Things"_s);
        QCOMPARE(model.index(0, 0).data(gui::CategoryDD::SizeTextRole).toString(), u"600 bytes"_s);
        core::ModuleInfo::modules()[1].categories[0].size = 4000;
        QCOMPARE(model.index(0, 0).data(gui::CategoryDD::SizeTextRole).toString(), u"600 bytes"_s);
        model.refreshRow(0);
        QCOMPARE(model.index(0, 0).data(gui::CategoryDD::SizeTextRole).toString(), u"4.0 kB"_s);
        model.reloadData(2); // a module without categories
        QCOMPARE(model.rowCount(), 0);
    }

    void aMixedCategoryBoxTurnsEverythingOn()
    {
        installThree();
        core::ModuleInfo::updateState(1, 1, 0, 1, 0); // "one" on: Alpha and the category mixed
        QCOMPARE(category().state, -1);
        gui::CategoryDD model(1, nullptr);
        model.reloadData(1);
        QSignalSpy checked(&model, &gui::CategoryDD::categoryChecked);
        const QModelIndex row = model.index(0, 0);
        QCOMPARE(row.data(Qt::CheckStateRole).value<Qt::CheckState>(), Qt::PartiallyChecked);
        QKeyEvent space(QEvent::KeyPress, Qt::Key_Space, Qt::NoModifier);
        QVERIFY(gui::toggleCheckOnEvent(&space, &model, row, QRect()));
        QCOMPARE(states(), u"beta=1 Alpha=1 one=1 two=1 gamma=1 | 1"_s);
        QCOMPARE(row.data(Qt::CheckStateRole).value<Qt::CheckState>(), Qt::Checked);
        QCOMPARE(checked.count(), 1);
        QVERIFY(gui::toggleCheckOnEvent(&space, &model, row, QRect()));
        QCOMPARE(states(), u"beta=0 Alpha=0 one=0 two=0 gamma=0 | 0"_s);
        // Whoever sets a box to mixed gets it on: mixed is the result of a selection, never a choice.
        QVERIFY(model.setData(row, Qt::PartiallyChecked, Qt::CheckStateRole));
        QCOMPARE(states(), u"beta=1 Alpha=1 one=1 two=1 gamma=1 | 1"_s);
    }

    void uncheckingOneChildMakesFileAndCategoryMixed()
    {
        installThree(1);
        auto model = detailModel();
        QSignalSpy changed(model.get(), &QAbstractItemModel::dataChanged);
        QSignalSpy checked(model.get(), &gui::DetailDD::recordChecked);
        const QModelIndex alpha = model->index(1, 0);
        const QModelIndex two = model->index(1, 0, alpha);
        QVERIFY(model->setData(two, Qt::Unchecked, Qt::CheckStateRole));
        QCOMPARE(states(), u"beta=1 Alpha=-1 one=1 two=0 gamma=1 | -1"_s);
        QCOMPARE(alpha.data(Qt::CheckStateRole).value<Qt::CheckState>(), Qt::PartiallyChecked);
        QCOMPARE(checked.count(), 1);
        // The child's row and its parent's row were announced.
        bool sawParent = false;
        for (const auto &args : changed) {
            sawParent = sawParent || args.at(0).value<QModelIndex>() == alpha;
        }
        QVERIFY(sawParent);

        // Clicking the mixed file turns it and all its children on again.
        QKeyEvent space(QEvent::KeyPress, Qt::Key_Space, Qt::NoModifier);
        QVERIFY(gui::toggleCheckOnEvent(&space, model.get(), alpha, QRect()));
        QCOMPARE(states(), u"beta=1 Alpha=1 one=1 two=1 gamma=1 | 1"_s);
    }

    void selectionFollowsTheRecordNotTheRow()
    {
        auto model = detailModel();
        model->sortDetailData(u"ascending"_s, u"size"_s); // Alpha, gamma, beta
        QCOMPARE(shown(*model), (QStringList{ u"Alpha"_s, u"gamma"_s, u"beta"_s }));
        QVERIFY(model->setData(model->index(2, 0), Qt::Checked, Qt::CheckStateRole));
        QCOMPARE(states(), u"beta=1 Alpha=0 one=0 two=0 gamma=0 | -1"_s);
        model->searchFiles(u"GAM"_s);
        QVERIFY(model->setData(model->index(0, 0), Qt::Checked, Qt::CheckStateRole));
        QCOMPARE(states(), u"beta=1 Alpha=0 one=0 two=0 gamma=1 | -1"_s);
    }

    void aRecordNoLongerInTheCatalogueIsLeftAlone()
    {
        auto model = detailModel();
        const core::FolderInfoPtr old = category().files[0];
        installThree(); // a newer scan replaced the records
        QVERIFY(!model->setData(model->index(0, 0), Qt::Checked, Qt::CheckStateRole));
        QCOMPARE(old->checked, 0);
        QCOMPARE(states(), u"beta=0 Alpha=0 one=0 two=0 gamma=0 | 0"_s);
    }

    void boxesAreLockedWhileNotCheckable()
    {
        auto model = detailModel();
        model->setCheckable(false);
        QVERIFY(!model->flags(model->index(0, 0)).testFlag(Qt::ItemIsUserCheckable));
        QVERIFY(!model->setData(model->index(0, 0), Qt::Checked, Qt::CheckStateRole));
        QKeyEvent space(QEvent::KeyPress, Qt::Key_Space, Qt::NoModifier);
        QVERIFY(!gui::toggleCheckOnEvent(&space, model.get(), model->index(0, 0), QRect()));
        gui::CategoryDD categories(1, nullptr);
        categories.reloadData(1);
        categories.setCheckable(false);
        QVERIFY(!categories.setData(categories.index(0, 0), Qt::Checked, Qt::CheckStateRole));
        QCOMPARE(states(), u"beta=0 Alpha=0 one=0 two=0 gamma=0 | 0"_s);
    }

    void searchIgnoresCaseAndOnlyFiltersFiles()
    {
        gui_tests::installFiles({
            record(0, "Report-2023.pdf", 1),
            record(1, "photos", 1, 0, { record(0, "report.txt", 1) }),
            record(3, "draft REPORT", 1),
            record(4, "\xc3\x84RGER.txt", 1),
            record(5,
                "Stra\xc3\x9f"
                "e",
                1),
            record(6,
                "bad\xff"
                "Name",
                1),
        });
        auto model = detailModel();
        model->searchFiles(u"REPORT"_s);
        QCOMPARE(shown(*model), (QStringList{ u"Report-2023.pdf"_s, u"draft REPORT"_s }));
        model->searchFiles(u"PHOTOS"_s);
        QCOMPARE(model->rowCount(model->index(0, 0)), 1); // children are never filtered
        // Names beyond ASCII fold the same way; one that is not UTF-8 is searched as it is shown.
        model->searchFiles(u"\u00e4rger.TXT"_s);
        QCOMPARE(shown(*model), (QStringList{ u"\u00c4RGER.txt"_s }));
        model->searchFiles(u"STRA\u00dfE"_s);
        QCOMPARE(model->rowCount(), 1);
        model->searchFiles(u"\ufffdname"_s);
        QCOMPARE(model->rowCount(), 1);
        model->searchFiles(u"nothing like it"_s);
        QCOMPARE(model->rowCount(), 0);
        QCOMPARE(model->keywords(), u"nothing like it"_s);
    }

    void clearingTheSearchRestoresStoredOrder()
    {
        auto model = detailModel();
        model->sortDetailData(u"descending"_s, u"name"_s);
        QCOMPARE(shown(*model), (QStringList{ u"gamma"_s, u"beta"_s, u"Alpha"_s }));
        model->searchFiles(u"a"_s);
        QCOMPARE(shown(*model), (QStringList{ u"beta"_s, u"Alpha"_s, u"gamma"_s }));
        model->searchFiles(QString());
        QCOMPARE(shown(*model), (QStringList{ u"beta"_s, u"Alpha"_s, u"gamma"_s }));
        // A reload keeps the search text and goes back to stored order too.
        model->searchFiles(u"A"_s);
        model->sortDetailData(u"descending"_s, u"name"_s);
        model->reloadData(category().files);
        QCOMPARE(model->keywords(), u"A"_s);
        QCOMPARE(shown(*model), (QStringList{ u"beta"_s, u"Alpha"_s, u"gamma"_s }));
    }

    void sortKeysAndDirections_data()
    {
        QTest::addColumn<QString>("direction");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QStringList>("order");
        QTest::newRow("size ascending") << u"ascending"_s << u"size"_s
                                        << QStringList{ u"Alpha"_s, u"gamma"_s, u"beta"_s };
        QTest::newRow("date ascending: oldest first")
            << u"ascending"_s << u"date"_s << QStringList{ u"beta"_s, u"gamma"_s, u"Alpha"_s };
        QTest::newRow("name ascending: capitals first")
            << u"ascending"_s << u"name"_s << QStringList{ u"Alpha"_s, u"beta"_s, u"gamma"_s };
        QTest::newRow("any other direction is descending")
            << u"Ascending"_s << u"size"_s << QStringList{ u"beta"_s, u"gamma"_s, u"Alpha"_s };
        QTest::newRow("an unknown key changes nothing")
            << u"ascending"_s << u"colour"_s << QStringList{ u"beta"_s, u"Alpha"_s, u"gamma"_s };
    }
    void sortKeysAndDirections()
    {
        QFETCH(QString, direction);
        QFETCH(QString, key);
        QFETCH(QStringList, order);
        auto model = detailModel();
        model->sortDetailData(direction, key);
        QCOMPARE(shown(*model), order);
        // Children keep their order.
        const QModelIndex alpha = model->index(static_cast<int>(order.indexOf(u"Alpha"_s)), 0);
        QCOMPARE(model->index(0, 0, alpha).data().toString(), u"one"_s);
    }

    void namesSortAsPeopleReadThem()
    {
        gui_tests::installFiles({ record(0, "file10", 1),
            record(1, "file2", 1),
            record(2, "Zoo", 1),
            record(3, "File2", 1),
            record(4, "file02b", 1),
            record(5, "apple", 1),
            record(6, "zebra", 1) });
        auto model = detailModel();
        // Case ignored, digits by value, the bytes only to break a tie ("File2" before "file2").
        model->sortDetailData(u"ascending"_s, u"name"_s);
        QCOMPARE(shown(*model),
            (QStringList{ u"apple"_s, u"File2"_s, u"file2"_s, u"file02b"_s, u"file10"_s, u"zebra"_s, u"Zoo"_s }));
        model->sortFiles(gui::DetailDD::SortKey::Name, false);
        QCOMPARE(shown(*model).first(), u"Zoo"_s);
        QCOMPARE(gui::DetailDD::naturalKey(u"a007"_s), gui::DetailDD::naturalKey(u"A7"_s));
        QVERIFY(gui::DetailDD::naturalKey(u"9"_s) < gui::DetailDD::naturalKey(u"10"_s));
        QVERIFY(gui::DetailDD::naturalKey(u"x99y"_s) < gui::DetailDD::naturalKey(u"x100"_s));
        // A search keeps what it finds sortable: the keys follow the files, not the rows.
        model->searchFiles(u"file"_s);
        model->sortFiles(gui::DetailDD::SortKey::Name, true);
        QCOMPARE(shown(*model), (QStringList{ u"File2"_s, u"file2"_s, u"file02b"_s, u"file10"_s }));
    }

    void backgroundSortShowsTheOldOrderUntilReady()
    {
        gui_tests::installFiles(mixedFiles(60));
        // The same sort made on the GUI thread is the reference.
        auto reference = detailModel();
        reference->sortFiles(gui::DetailDD::SortKey::Name, false);
        QVERIFY(!reference->isSorting());
        const QStringList expected = shown(*reference);

        auto model = detailModel();
        QAbstractItemModelTester tester(model.get(), QAbstractItemModelTester::FailureReportingMode::QtTest);
        model->setBackgroundSortFrom(0);
        QItemSelectionModel selection(model.get());
        const QString picked = model->index(5, 0).data().toString();
        selection.setCurrentIndex(model->index(5, 0), QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
        const QStringList before = shown(*model);
        QSignalSpy shownSpy(model.get(), &gui::DetailDD::sortShown);
        QSignalSpy resets(model.get(), &QAbstractItemModel::modelReset);

        model->sortFiles(gui::DetailDD::SortKey::Name, false);
        QVERIFY(model->isSorting());
        QCOMPARE(shown(*model), before);
        QVERIFY(shownSpy.wait(5000));
        QVERIFY(!model->isSorting());
        QCOMPARE(shown(*model), expected);
        // Moved in place, not reset: the selected file is still the selected one.
        QCOMPARE(resets.count(), 0);
        QCOMPARE(selection.currentIndex().data().toString(), picked);
        QCOMPARE(selection.selectedRows().size(), 1);
        QCOMPARE(selection.selectedRows().first().data().toString(), picked);

        // Made once: the other way round and through a search it is there at once.
        model->sortFiles(gui::DetailDD::SortKey::Name, true);
        QVERIFY(!model->isSorting());
        reference->sortFiles(gui::DetailDD::SortKey::Name, true);
        QCOMPARE(shown(*model), shown(*reference));
        model->searchFiles(u"f1"_s);
        reference->searchFiles(u"f1"_s);
        model->sortFiles(gui::DetailDD::SortKey::Name, false);
        reference->sortFiles(gui::DetailDD::SortKey::Name, false);
        QVERIFY(!model->isSorting());
        QCOMPARE(shown(*model), shown(*reference));
        QVERIFY(model->rowCount() > 1);
    }

    void backgroundSortKeepsExpandedRowsAndChildren()
    {
        auto model = detailModel();
        model->setBackgroundSortFrom(0);
        QPersistentModelIndex alpha = model->index(1, 0); // stored order: beta, Alpha, gamma
        QPersistentModelIndex two = model->index(1, 0, alpha);
        model->sortFiles(gui::DetailDD::SortKey::Size, false); // beta, gamma, Alpha
        QTRY_VERIFY(!model->isSorting());
        QCOMPARE(alpha.row(), 2);
        QCOMPARE(alpha.data().toString(), u"Alpha"_s);
        QCOMPARE(two.parent(), QModelIndex(alpha));
        QCOMPARE(two.data().toString(), u"two"_s);
    }

    void latestSortWinsAndStaleOrdersAreDropped()
    {
        gui_tests::installFiles(mixedFiles(80));
        auto reference = detailModel();
        auto model = detailModel();
        model->setBackgroundSortFrom(0);
        QSignalSpy shownSpy(model.get(), &gui::DetailDD::sortShown);

        // Asked for by name, then by size before the name's order is back: size is shown.
        model->sortFiles(gui::DetailDD::SortKey::Name, true);
        model->sortFiles(gui::DetailDD::SortKey::Size, false);
        settleSorts();
        QTRY_VERIFY(!model->isSorting());
        reference->sortFiles(gui::DetailDD::SortKey::Size, false);
        QCOMPARE(shown(*model), shown(*reference));
        QCOMPARE(shownSpy.count(), 1);
        // The name's order came back meanwhile and is kept for the next time.
        model->sortFiles(gui::DetailDD::SortKey::Name, true);
        QVERIFY(!model->isSorting());

        // Reloaded while an order is made: the order of the old records never shows.
        model->sortFiles(gui::DetailDD::SortKey::Date, true);
        QVERIFY(model->isSorting());
        QThreadPool::globalInstance()->waitForDone(); // its order is made and on its way
        // (As many files as before, in another order: only its reload tells the orders apart.)
        std::vector<core::FolderInfoPtr> reloaded(category().files.rbegin(), category().files.rend());
        model->reloadData(reloaded);
        QVERIFY(!model->isSorting());
        settleSorts();
        QStringList stored;
        for (const auto &file : reloaded) {
            stored << QString::fromStdString(file->name());
        }
        QCOMPARE(shown(*model), stored);
        QCOMPARE(shownSpy.count(), 1);
        // Nor is it kept: the date order asked for now is the new records'.
        model->sortFiles(gui::DetailDD::SortKey::Date, true);
        QTRY_VERIFY(!model->isSorting());
        reference->reloadData(reloaded);
        reference->sortFiles(gui::DetailDD::SortKey::Date, true);
        QCOMPARE(shown(*model), shown(*reference));

        // A search while an order is made shows its matches in stored order, and stays so.
        model->sortFiles(gui::DetailDD::SortKey::Date, false);
        model->searchFiles(u"F"_s);
        QVERIFY(!model->isSorting());
        const QStringList found = shown(*model);
        settleSorts();
        QCOMPARE(shown(*model), found);
    }

    void ordersKeepStoredOrderAmongEqualKeys()
    {
        // Sizes of files 0..5; 1, 3 and 4 tie.
        gui::DetailDD::SortInput input;
        input.key = gui::DetailDD::SortKey::Size;
        input.sizes = { 50, 10, 70, 10, 10, 5 };
        const std::atomic<bool> never(false);
        const gui::DetailDD::Order order = gui::DetailDD::makeOrder(input, never);
        using Rows = std::vector<std::uint32_t>;
        const Rows all{ 0, 1, 2, 3, 4, 5 };
        QCOMPARE(gui::DetailDD::sortedRows(order, all, 6, true), (Rows{ 5, 1, 3, 4, 0, 2 }));
        QCOMPARE(gui::DetailDD::sortedRows(order, all, 6, false), (Rows{ 2, 0, 1, 3, 4, 5 }));
        // Whatever order the rows come in (a sort before), ties go back to stored order.
        QCOMPARE(gui::DetailDD::sortedRows(order, Rows{ 4, 3, 2, 1 }, 6, false), (Rows{ 2, 1, 3, 4 }));
        QCOMPARE(gui::DetailDD::sortedRows(order, Rows{ 4, 0, 3 }, 6, true), (Rows{ 3, 4, 0 }));

        // Names: case and leading zeros tie in the key, the bytes decide; equal names keep stored order.
        gui::DetailDD::SortInput names;
        names.key = gui::DetailDD::SortKey::Name;
        for (const char *name : { "b", "a2", "A2", "a10", "b", "a02", "\xc3\xa4" }) {
            names.names += name;
            names.nameEnds.push_back(static_cast<std::uint32_t>(names.names.size()));
        }
        const gui::DetailDD::Order byName = gui::DetailDD::makeOrder(names, never);
        const Rows seven{ 0, 1, 2, 3, 4, 5, 6 };
        QCOMPARE(gui::DetailDD::sortedRows(byName, seven, 7, true), (Rows{ 2, 5, 1, 3, 0, 4, 6 }));
        QCOMPARE(gui::DetailDD::sortedRows(byName, seven, 7, false), (Rows{ 6, 0, 4, 3, 1, 5, 2 }));

        // A worker told to give up leaves no order behind.
        const std::atomic<bool> cancelled(true);
        QVERIFY(gui::DetailDD::makeOrder(names, cancelled).files.empty());
    }

    void longTextsAreCutAtSixtyUnits()
    {
        const QString sixty(60, u'n');
        QCOMPARE(gui::shortened(sixty, 60), sixty);
        QCOMPARE(gui::shortened(sixty + u"x"_s, 60), sixty + u"..."_s);
        // A cut never leaves half a surrogate pair.
        const QString emoji = QString(59, u'n') + QString::fromUtf8("\xF0\x9F\x8C\xB2") + u"tail"_s;
        QCOMPARE(gui::shortened(emoji, 60), QString(59, u'n') + u"..."_s);

        gui_tests::installFiles({ record(0, std::string(61, 'n'), 1), record(1, std::string(60, 'm'), 1) });
        auto model = detailModel();
        QCOMPARE(model->index(0, 0).data(gui::DetailDD::ShortNameRole).toString(), sixty + u"..."_s);
        QCOMPARE(model->index(0, 0).data(Qt::ToolTipRole).toString(), QString(61, u'n'));
        QCOMPARE(model->index(1, 0).data(gui::DetailDD::ShortNameRole).toString(), QString(60, u'm'));
        // "/nowhere/" + 61 characters: the path is cut the same way.
        QCOMPARE(model->index(0, 0).data(gui::DetailDD::ShortPathRole).toString(),
            QString(u"/nowhere/"_s + sixty).left(60) + u"..."_s);
    }

    void pathsAreCutOnceInTheMiddle()
    {
        // One unit a character: what is kept is plain to see.
        const auto units = [](const QString &text) {
            return static_cast<int>(text.size());
        };
        const QString path = u"/home/ann/Projects/2024/Videos/holiday.mp4"_s;
        QCOMPARE(gui::elidePath(path, 100, units), path);
        QCOMPARE(gui::elidePath(path, 30, units), u"/home/ann/\u2026/Videos/holiday.mp4"_s);
        QCOMPARE(gui::elidePath(path, 15, units), u"/h\u2026/holiday.mp4"_s);
        QCOMPARE(gui::elidePath(path, 9, units), u"\u2026/ho\u2026.mp4"_s);
        for (int width = 7; width <= path.size(); ++width) {
            const QString cut = gui::elidePath(path, width, units);
            QVERIFY2(cut.size() <= width, qPrintable(cut));
            QVERIFY2(cut.endsWith(u".mp4"_s), qPrintable(cut));
        }
        // A crash report's two files stay told apart.
        const QString dump = u"3f2b1c4d-aaaa-bbbb-cccc-1234567890ab.dmp"_s;
        const QString extra = u"3f2b1c4d-aaaa-bbbb-cccc-1234567890ab.extra"_s;
        QCOMPARE(gui::elideName(dump, 20, units), u"3f2b1c4d-aaa\u20260ab.dmp"_s);
        QVERIFY(gui::elideName(extra, 20, units).endsWith(u"ab.extra"_s));
        // Never half a surrogate pair.
        const QString tree = QString::fromUtf8("\xF0\x9F\x8C\xB2");
        const QString trees = u"/f/"_s + tree.repeated(12) + u".txt"_s;
        for (int width = 6; width < trees.size(); ++width) {
            const QString cut = gui::elidePath(trees, width, units);
            for (qsizetype i = 0; i < cut.size(); ++i) {
                QVERIFY(!cut.at(i).isHighSurrogate() || (i + 1 < cut.size() && cut.at(i + 1).isLowSurrogate()));
                QVERIFY(!cut.at(i).isLowSurrogate() || (i > 0 && cut.at(i - 1).isHighSurrogate()));
            }
        }
    }

    void rowsThatLookAlikeNameTheirApplication()
    {
        const QString home = u"/home/ann"_s;
        QCOMPARE(gui::applicationOf(u"/home/ann/.config/Code/Cache/Cache_Data"_s, home), u"Code"_s);
        QCOMPARE(
            gui::applicationOf(u"/home/ann/.cache/google-chrome/Default/Cache/data_0"_s, home), u"google-chrome"_s);
        QCOMPARE(gui::applicationOf(u"/home/ann/.var/app/org.gimp.GIMP/cache/x"_s, home), u"org.gimp.GIMP"_s);
        QCOMPARE(gui::applicationOf(u"/home/ann/.local/share/Steam/logs/a.txt"_s, home), u"Steam"_s);
        // The application's own folder says it already; elsewhere there is nothing to say.
        QCOMPARE(gui::applicationOf(u"/home/ann/.cache/thumbnails"_s, home), QString());
        QCOMPARE(gui::applicationOf(u"/home/ann/.cache/thumbnails/"_s, home), QString());
        QCOMPARE(gui::applicationOf(u"/home/ann/Videos/a.mp4"_s, home), QString());
        QCOMPARE(gui::applicationOf(u"/home/annex/.cache/x/y"_s, home), QString());
        QCOMPARE(gui::applicationOf(u"/home/ann/.cache/x/y"_s, QString()), QString());

        const std::string cache = m_env->home.path().toStdString() + "/.config/Code/Cache/Cache_Data";
        auto row = std::make_shared<core::FolderInfo>(0,
            "Cache_Data",
            core::IconRef{ core::IconRef::Kind::Folder, {} },
            10,
            core::Rgba{},
            false,
            core::Timestamp{},
            core::format::fileUrlFromPath(cache, false),
            false,
            std::vector<core::FolderInfoPtr>{},
            false,
            0);
        gui_tests::installFiles({ row, record(1, "plain", 5) });
        auto model = detailModel();
        QCOMPARE(model->index(0, 0).data(gui::DetailDD::ApplicationRole).toString(), u"Code"_s);
        QCOMPARE(model->index(0, 0).data(Qt::AccessibleDescriptionRole).toString(),
            u"not selected, Code, "_s + QString::fromStdString(cache));
        QCOMPARE(model->index(1, 0).data(gui::DetailDD::ApplicationRole).toString(), QString());
        QCOMPARE(model->index(1, 0).data(Qt::AccessibleDescriptionRole).toString(), u"not selected, /nowhere/plain"_s);
    }

    void cleanReportCountsFailures()
    {
        gui::CleanReport report;
        QAbstractItemModelTester tester(&report, QAbstractItemModelTester::FailureReportingMode::QtTest);
        QCOMPARE(report.summary(), QString());
        report.add({ u"/home/ann/a"_s, u"Permission denied"_s });
        QCOMPARE(report.summary(), u"1 item could not be deleted"_s);
        report.add({ u"/home/ann/b"_s, u"Device or resource busy"_s });
        QCOMPARE(report.summary(), u"2 items could not be deleted"_s);
        QCOMPARE(report.index(1, 0).data().toString(), u"/home/ann/b: Device or resource busy"_s);
        report.clear();
        QCOMPARE(report.rowCount(), 0);
    }
};

} // namespace

SPRUCE_GUI_TEST(ReviewModelsTest)
#include "ReviewModelsTest.moc"
