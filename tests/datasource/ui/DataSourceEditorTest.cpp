#include "DataSourceTestSupport.h"
#include "datasource/NVSCGDataSource.h"
#include "datasource/NVSCGDataSourceConstants.h"
#include "datasource/ui/ColumnFormatPopover.h"
#include "datasource/ui/DataSourceContentTreeModel.h"
#include "datasource/ui/DataSourceFilterProxyModel.h"
#include "datasource/ui/DataSourceTableModel.h"
#include "datasource/ui/NVSCGDataSourceSettingsWindowController.h"
#include "datasource/ui/NVSCGDataSourceTokenField.h"
#include "datasource/ui/NVSCGDataSourceWindowController.h"
#include "datasource/ui/NVSTableHeaderFieldEditor.h"
#include "datasource/ui/NVSTableViewWithEditableHeaders.h"
#include "datasource/ui/TableFindBar.h"
#include "platform/DispatchTimer.h"
#include "testkit/WidgetChecks.h"

#include <QAbstractItemModelTester>
#include <QApplication>
#include <QClipboard>
#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>
#include <QUndoStack>
#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

using namespace datasource_test;

namespace {

const QString Rows = u"/feed/race[*]"_s;
const QString NamePath = u"/feed/race[*]/Name"_s;
const QString StatePath = u"/feed/race[*]/State"_s;

QStringList titles(const QAbstractItemModel& model) {
    QStringList result;
    for (int c = DataSourceTableModel::FirstDataColumn; c < model.columnCount(); ++c)
        result << model.headerData(c, Qt::Horizontal).toString();
    return result;
}

class DataSourceEditor : public ::testing::Test {
  protected:
    void SetUp() override {
        dataSource.setXPath(Rows);
        dataSource.addColumnWithTitle(u"Name"_s, NamePath);
        dataSource.addColumnWithTitle(u"State"_s, StatePath);
        load(electionFeed(30));
    }
    void TearDown() override { dataSource.close(); }

    void load(const QByteArray& feed) {
        const QString path = dir.filePath(u"feed.xml"_s);
        ASSERT_TRUE(testing_support::writeFile(path, feed));
        dataSource.setDataSourceURL(QUrl::fromLocalFile(path));
        dataSource.refreshContent();
        ASSERT_TRUE(waitForRefresh(dataSource));
    }

    std::unique_ptr<NVSCGDataSourceWindowController> openWindow() {
        auto window = std::make_unique<NVSCGDataSourceWindowController>(dataSource);
        window->resize(900, 500);
        window->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(window.get()));
        return window;
    }
    /// Opens the header's menu on `section` of the scrolling table.
    static bool openHeaderMenu(NVSCGDataSourceWindowController& window, int section) {
        const int x = window.scrollingTableView()->horizontalHeader()->sectionViewportPosition(section);
        return window.menuForHeaderPosition(QPoint(x + 4, 4));
    }

    QTemporaryDir dir;
    NVSCGDataSource dataSource;
};

TEST_F(DataSourceEditor, TableColumnsFollowTheDocumentKeepingTheOnesThatStay) {
    DataSourceTableModel model(dataSource);
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Fatal);
    dataSource.addColumnWithTitle(u"Third"_s, u"/feed/race[*]/candidate[1]/Last"_s);
    const std::vector<NVSCGDataSourceColumnPtr> abc = dataSource.columns();
    QSignalSpy removed(&model, &QAbstractItemModel::columnsRemoved);
    QSignalSpy inserted(&model, &QAbstractItemModel::columnsInserted);
    auto d = std::make_shared<NVSCGDataSourceColumn>(u"Fourth"_s, u"/feed/race[*]/candidate[2]/Last"_s);
    dataSource.setColumns({abc[0], abc[2], d}); // A, B, C → A, C, D

    EXPECT_EQ(titles(model), QStringList({u"Name"_s, u"Third"_s, u"Fourth"_s}));
    ASSERT_EQ(removed.count(), 1);
    EXPECT_EQ(removed[0][1].toInt(), 1 + DataSourceTableModel::FirstDataColumn);
    ASSERT_EQ(inserted.count(), 1);
    EXPECT_EQ(inserted[0][1].toInt(), 2 + DataSourceTableModel::FirstDataColumn);
    dataSource.reorderColumn(2, 0);
    EXPECT_EQ(titles(model), QStringList({u"Fourth"_s, u"Name"_s, u"Third"_s}));
    EXPECT_EQ(model.data(model.index(0, DataSourceTableModel::FirstDataColumn + 1)).toString(), u"Race 1"_s);
}

TEST_F(DataSourceEditor, ARefreshAnnouncesOnlyTheChangedRowsThatWereShown) {
    DataSourceTableModel model(dataSource);
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Fatal);
    QItemSelectionModel selection(&model);
    selection.select(model.index(6, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
    for (int row = 0; row < 10; ++row) // the rows on screen
        model.data(model.index(row, DataSourceTableModel::FirstDataColumn));
    const std::uint64_t computed = model.computedCellCount();
    model.data(model.index(3, DataSourceTableModel::FirstDataColumn + 1)); // a repaint computes nothing
    EXPECT_EQ(model.computedCellCount(), computed);

    QByteArray feed = electionFeed(30);
    for (const char* name : {"Race 2<", "Race 5<", "Race 25<"})
        feed.replace(name, QByteArray(name).replace("Race", "Changed"));
    QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
    QSignalSpy reset(&model, &QAbstractItemModel::modelReset);
    load(feed);

    std::vector<int> rows;
    for (const QList<QVariant>& signal : changed)
        for (int r = signal[0].toModelIndex().row(); r <= signal[1].toModelIndex().row(); ++r)
            rows.push_back(r);
    EXPECT_EQ(rows, (std::vector<int>{1, 4})); // row 24 was never shown: it is computed when it is
    EXPECT_EQ(reset.count(), 0);
    EXPECT_EQ(model.data(model.index(24, DataSourceTableModel::FirstDataColumn)).toString(), u"Changed 25"_s);
    EXPECT_TRUE(selection.isRowSelected(6));

    load(electionFeed(12)); // fewer rows: the rest go, the first ones stay
    EXPECT_EQ(model.rowCount(), 12);
    EXPECT_EQ(reset.count(), 0);
}

TEST_F(DataSourceEditor, TheFilterMatchesRawValuesCaseSensitively) {
    DataSourceTableModel model(dataSource);
    DataSourceFilterProxyModel filter(model);
    dataSource.columnAtIndex(0)->setFormat(u"formatted"_s); // raw values are compared
    const struct {
        const char* text;
        int rows;
    } cases[] = {{"", 30}, {"Race 1", 11}, {"race 1", 0}, {"S30", 1}, {"formatted", 0}};
    for (const auto& c : cases) {
        filter.setFilterString(QString::fromUtf8(c.text));
        EXPECT_EQ(filter.rowCount(), c.rows) << c.text;
    }
    filter.setFilterString(u"Race 3"_s);
    QByteArray feed = electionFeed(30);
    load(feed.replace("Race 3<", "Other<")); // a refresh applies the filter again
    EXPECT_EQ(filter.rowCount(), 1);         // Race 30
}

// The example's logos sit beside it: found wherever the program was started from.
TEST_F(DataSourceEditor, AnImageCellsRelativePathIsTakenFromTheDataSourcesFolder) {
    QImage logo(8, 8, QImage::Format_RGB32);
    logo.fill(Qt::red);
    ASSERT_TRUE(logo.save(dir.filePath(u"logo.png"_s)));
    ASSERT_TRUE(dataSource.saveToPath(dir.filePath(u"results.cgds"_s), NVSCGDataSourceDocumentType));
    ASSERT_NE(QDir::currentPath(), dir.path());
    const NVSCGDataSourceColumnPtr column = dataSource.columnAtIndex(0);
    column->setType(NVSCGDataSourceColumn::Image);
    column->setFormat(u"logo.png"_s);
    DataSourceTableModel model(dataSource);
    const QModelIndex cell = model.index(0, DataSourceTableModel::FirstDataColumn);
    EXPECT_TRUE(testing_support::waitUntil(
        [&] { return !model.data(cell, Qt::DecorationRole).value<QPixmap>().isNull(); }));
    EXPECT_EQ(model.data(cell).toString(), QString()) << "a picture, not its path";
}

TEST_F(DataSourceEditor, TheFindBarMovesThroughTheMatchesInAnyCaseAndKeepsTheRows) {
    auto window = openWindow();
    TableFindBar* find = window->findBar();
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    QTest::keyClick(window.get(), Qt::Key_F, Qt::ControlModifier);
    EXPECT_EQ(QApplication::focusWidget(), find->field());
    // Tab in visual order: the toolbar, then the find bar.
    window->findChild<QPushButton*>(u"filterButton"_s)->setFocus();
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), find->field());
    find->field()->setFocus();
    QTest::keyClicks(find->field(), u"race 2"_s); // Race 2, Race 20 … Race 29
    ASSERT_TRUE(testing_support::waitUntil([&] { return !find->countText().isEmpty(); }))
        << "once typing pauses";
    EXPECT_EQ(find->countText(), u"1 of 11"_s);
    NVSTableViewWithEditableHeaders* table = window->scrollingTableView();
    EXPECT_EQ(table->currentIndex().row(), 1);
    QTest::keyClick(find->field(), Qt::Key_Return);
    EXPECT_EQ(find->countText(), u"2 of 11"_s);
    EXPECT_EQ(table->currentIndex().row(), 19);
    find->findPrevious();
    find->findPrevious(); // round to the last
    EXPECT_EQ(find->countText(), u"11 of 11"_s);
    EXPECT_EQ(table->model()->rowCount(), 30);
}

TEST_F(DataSourceEditor, EveryColumnEditIsOneUndoableStep) {
    auto window = openWindow();
    QUndoStack& undo = *window->undoStack();
    const auto state = [&] {
        QStringList s;
        for (const NVSCGDataSourceColumnPtr& column : dataSource.columns())
            s << column->uniqueID() + QLatin1Char(':') + column->title() + QLatin1Char(':') +
                     QString::number(column->type()) + QLatin1Char(':') + column->format();
        return s;
    };
    const auto onFirstColumn = [&](const std::function<void()>& action) {
        return [&, action] {
            ASSERT_TRUE(openHeaderMenu(*window, DataSourceTableModel::FirstDataColumn));
            action();
        };
    };
    const std::vector<std::function<void()>> edits = {
        onFirstColumn([&] { window->columnContextualMenuTypeMenuItemAction(NVSCGDataSourceColumn::Color); }),
        onFirstColumn([&] { window->columnContextualMenuDeleteMenuItemAction(); }),
        onFirstColumn([&] { window->columnContextualMenuDuplicateMenuItemAction(); }),
        onFirstColumn([&] { window->columnContextualMenuAddCustomColumnMenuItemAction(); }),
        [&] {
            window->tableModel()->setHeaderData(DataSourceTableModel::FirstDataColumn, Qt::Horizontal,
                                                u"Renamed"_s);
        },
        [&] { window->scrollingTableView()->horizontalHeader()->moveSection(2, 3); },
    };
    for (std::size_t i = 0; i < edits.size(); ++i) {
        const QStringList before = state();
        const int steps = undo.count();
        edits[i]();
        window->columnEditionPopover()->hide();
        const QStringList after = state();
        ASSERT_NE(after, before) << i;
        ASSERT_EQ(undo.count(), steps + 1) << i;
        undo.undo();
        EXPECT_EQ(state(), before) << i;
        undo.redo();
        EXPECT_EQ(state(), after) << i;
    }
    EXPECT_TRUE(dataSource.isDocumentEdited());
}

TEST_F(DataSourceEditor, HeaderTitlesAreEditedInPlaceOneAtATime) {
    auto window = openWindow();
    NVSTableViewWithEditableHeaders* table = window->scrollingTableView();
    NVSTableHeaderFieldEditor* editor = table->fieldEditor();
    QHeaderView* header = table->horizontalHeader();
    const auto sectionCenter = [&](int section) {
        return QPoint(header->sectionViewportPosition(section) + header->sectionSize(section) / 2,
                      header->height() / 2);
    };
    const int name = DataSourceTableModel::FirstDataColumn, state = name + 1;

    QTest::mouseDClick(table->viewport(), Qt::LeftButton, {},
                       table->visualRect(table->model()->index(2, name)).center());
    EXPECT_FALSE(editor->isVisible()); // a row, not a header

    QTest::mouseDClick(header->viewport(), Qt::LeftButton, {}, sectionCenter(name));
    ASSERT_TRUE(editor->isVisible());
    EXPECT_EQ(editor->text(), u"Name"_s);
    EXPECT_EQ(editor->cursorPosition(), 4);
    EXPECT_FALSE(editor->hasSelectedText());
    QTest::keyClicks(editor, u" of race"_s);

    table->editHeaderOfColumnAtIndex(state); // the first edit ends with its text
    EXPECT_EQ(dataSource.columnAtIndex(0)->title(), u"Name of race"_s);
    EXPECT_EQ(editor->section(), state);
    QTest::keyClicks(editor, u"x"_s);
    QTest::keyClick(editor, Qt::Key_Escape);
    EXPECT_EQ(dataSource.columnAtIndex(1)->title(), u"State"_s);

    dataSource.columnAtIndex(1)->setTitle(u"From the model"_s);
    EXPECT_EQ(header->model()->headerData(state, Qt::Horizontal).toString(), u"From the model"_s);
}

TEST_F(DataSourceEditor, BothTablesShareOneSelectionAndScrollPosition) {
    auto window = openWindow();
    NVSTableViewWithEditableHeaders* fixed = window->fixedTableView();
    NVSTableViewWithEditableHeaders* scrolling = window->scrollingTableView();
    QTest::mouseClick(
        fixed->viewport(), Qt::LeftButton, {},
        fixed->visualRect(fixed->model()->index(3, DataSourceTableModel::RowNumberColumn)).center());
    EXPECT_TRUE(scrolling->selectionModel()->isRowSelected(3));
    QTest::mouseClick(
        scrolling->viewport(), Qt::LeftButton, {},
        scrolling->visualRect(scrolling->model()->index(1, DataSourceTableModel::FirstDataColumn)).center());
    EXPECT_TRUE(fixed->selectionModel()->isRowSelected(1));
    EXPECT_FALSE(fixed->selectionModel()->isRowSelected(3));
    EXPECT_TRUE(fixed->shouldEmphasizeRows() && scrolling->shouldEmphasizeRows());

    scrolling->verticalScrollBar()->setValue(scrolling->verticalScrollBar()->maximum());
    EXPECT_EQ(fixed->verticalScrollBar()->value(), scrolling->verticalScrollBar()->value());
    EXPECT_EQ(fixed->rowAt(fixed->viewport()->height() - 2),
              scrolling->rowAt(scrolling->viewport()->height() - 2));

    // The active-row mark
    const QModelIndex mark = fixed->model()->index(4, DataSourceTableModel::RowSelectionColumn);
    ASSERT_TRUE(fixed->model()->setData(mark, Qt::Checked, Qt::CheckStateRole));
    EXPECT_EQ(dataSource.firstActiveRow(), 4u);
}

TEST_F(DataSourceEditor, ClicksOnTheTableInsertColumnTokensWhileAFormatIsEdited) {
    auto window = openWindow();
    NVSTableViewWithEditableHeaders* table = window->scrollingTableView();
    ASSERT_TRUE(openHeaderMenu(*window, 3));
    window->columnContextualMenuAddCustomColumnMenuItemAction();
    ColumnFormatPopover* popover = window->columnEditionPopover();
    ASSERT_TRUE(window->isEditingColumnFormat());
    NVSCGDataSourceColumnPtr custom = popover->columnBeingEdited();
    const QString state = dataSource.columnAtIndex(1)->uniqueID();

    popover->tokenField()->insertPlainText(u"State "_s);
    const QPoint stateCell = table->visualRect(table->model()->index(0, 3)).center();
    QTest::mouseClick(table->viewport(), Qt::LeftButton, {}, stateCell);
    EXPECT_EQ(custom->format(), u"State <#"_s + state + u"!>"_s);
    EXPECT_FALSE(table->selectionModel()->hasSelection()); // the click went to the format only
    EXPECT_EQ(table->model()->data(table->model()->index(0, 4)).toString(), u"State S1"_s);
    EXPECT_TRUE(popover->frameGeometry().right() <= popover->screen()->availableGeometry().right());

    const QPoint pastTheLast(table->horizontalHeader()->length() + 20, stateCell.y());
    ASSERT_LT(pastTheLast.x(), table->viewport()->width());
    QTest::mouseClick(table->viewport(), Qt::LeftButton, {}, pastTheLast);
    EXPECT_EQ(custom->format(), u"State <#"_s + state + u"!>"_s);
    EXPECT_FALSE(table->selectionModel()->hasSelection());

    QTest::mouseClick(table->viewport(), Qt::RightButton, {}, stateCell); // the menu, not a token
    EXPECT_EQ(custom->format(), u"State <#"_s + state + u"!>"_s);

    // Copying a token and text: the token's code, then the text in quotes; pasting brings back both.
    NVSCGDataSourceTokenField* field = popover->tokenField();
    field->setFormat(u"<#"_s + state + u"!>ab"_s);
    field->selectAll();
    field->copy();
    EXPECT_EQ(QApplication::clipboard()->text(), u"<#"_s + state + u"!>'ab'"_s);
    field->moveCursor(QTextCursor::End);
    field->paste();
    EXPECT_EQ(field->format(), u"<#"_s + state + u"!>ab<#"_s + state + u"!>ab"_s);
    EXPECT_EQ(field->objectValue().size(), 4);

    for (QPushButton* button : popover->findChildren<QPushButton*>()) {
        if (button->text() == u"Done"_s)
            button->setFocus(); // Tab on to Done
    }
    QTest::mouseClick(table->viewport(), Qt::LeftButton, {}, stateCell);
    EXPECT_TRUE(table->selectionModel()->isRowSelected(0)) << "an ordinary click once the field is left";
    EXPECT_EQ(field->objectValue().size(), 4);
}

TEST_F(DataSourceEditor, TheSettingsSheetChoosesRowsAndColumnsAndCancelPutsThemBack) {
    dataSource.setAutoUpdate(true);
    auto window = openWindow();
    window->showSettingsSheet();
    NVSCGDataSourceSettingsWindowController* sheet = window->settingsWindowController();
    ASSERT_TRUE(sheet->isVisible());
    EXPECT_TRUE(dataSource.autoUpdateTimer()->isSuspended()); // no refresh while the sheet is up

    // The root's submenu: title, then race[*] before race[1], race[2], …
    QMenu* root = sheet->XPathsMenu()->actions().value(1)->menu();
    ASSERT_TRUE(root);
    Q_EMIT root->aboutToShow();
    QStringList items;
    for (QAction* item : root->actions().mid(0, 4))
        items << item->text();
    EXPECT_EQ(items, QStringList({u"title"_s, u"race[*]"_s, u"race[1]"_s, u"race[2]"_s}));
    root->actions().at(3)->trigger();
    EXPECT_EQ(dataSource.XPath(), u"/feed/race[2]"_s);
    EXPECT_EQ(sheet->XPathsMenu()->actions().first()->text(), u"race[2]"_s);
    EXPECT_EQ(dataSource.countOfContentNodes(), 1u);
    root->actions().at(1)->trigger();
    EXPECT_EQ(dataSource.XPath(), Rows);

    // Ticking an element adds its column; unticking removes it.
    DataSourceContentTreeModel* content = sheet->contentModel();
    const auto tick = [&](Qt::CheckState state) { // the first race's first candidate
        const QModelIndex race = content->index(1, 0, content->index(0, 0));
        return content->setData(content->index(0, 0, content->index(2, 0, race)), state, Qt::CheckStateRole);
    };
    ASSERT_EQ(content->index(1, 0, content->index(1, 0, content->index(0, 0))).data().toString(), u"State"_s);
    const std::size_t columns = dataSource.countOfColumns();
    EXPECT_TRUE(tick(Qt::Checked));
    EXPECT_EQ(dataSource.countOfColumns(), columns + 1);
    EXPECT_TRUE(tick(Qt::Unchecked));
    EXPECT_EQ(dataSource.countOfColumns(), columns);
    tick(Qt::Checked);

    // The same URL, or text that is no URL, reads nothing.
    int refreshes = 0;
    QObject::connect(&dataSource, &NVSCGDataSource::refreshEnded, [&] { ++refreshes; });
    for (const QString& text : {dataSource.dataSourceURL().toLocalFile(), u"not a feed"_s}) {
        sheet->findChild<QLineEdit*>(u"URLTextField"_s)->setText(text);
        sheet->URLTextFieldAction();
    }
    testing_support::spinFor(std::chrono::milliseconds(100));
    EXPECT_EQ(refreshes, 0);

    dataSource.setXPath(u"/feed/race[3]"_s);
    sheet->cancelButtonAction();
    EXPECT_EQ(dataSource.XPath(), Rows);
    EXPECT_EQ(dataSource.countOfColumns(), columns);
    EXPECT_FALSE(dataSource.isDocumentEdited());
    EXPECT_TRUE(window->isVisible()); // it has a feed

    window->showSettingsSheet();
    tick(Qt::Checked);
    sheet->applyButtonAction();
    EXPECT_EQ(dataSource.countOfColumns(), columns + 1);
    EXPECT_TRUE(dataSource.isDocumentEdited());
    window->undoStack()->undo();
    EXPECT_EQ(dataSource.countOfColumns(), columns);
}

TEST_F(DataSourceEditor, EveryControlIsNamedAndEveryShortcutIsUnique) {
    auto window = openWindow();
    window->setShowFilterView(true);
    window->showSettingsSheet();
    ASSERT_TRUE(openHeaderMenu(*window, 2));
    window->columnContextualMenuEditCustomColumnMenuItemAction();
    for (const QWidget* part : std::initializer_list<const QWidget*>{
             window.get(), window->settingsWindowController(), window->columnEditionPopover()})
        EXPECT_EQ(testing_support::unnamedControls(*part), QStringList()) << part->metaObject()->className();
    EXPECT_EQ(testing_support::sharedShortcuts(*window), QStringList());
    EXPECT_EQ(testing_support::sharedMnemonics(*window), QStringList());
}

TEST_F(DataSourceEditor, CancellingTheSettingsOfANewDataSourceClosesItsWindow) {
    NVSCGDataSource fresh;
    NVSCGDataSourceWindowController window(fresh);
    QSignalSpy closed(&window, &NVSCGDataSourceWindowController::windowClosed);
    window.show();
    ASSERT_TRUE(testing_support::waitUntil([&] { return window.settingsWindowController()->isVisible(); }));
    window.settingsWindowController()
        ->findChild<QDialogButtonBox*>(u"buttonBox"_s)
        ->button(QDialogButtonBox::Cancel)
        ->click();
    ASSERT_TRUE(testing_support::waitUntil([&] { return closed.count() == 1; }));
    EXPECT_FALSE(window.isVisible());
}

} // namespace
