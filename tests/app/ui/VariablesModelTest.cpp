#include "app/VariablesModel.h"

#include "app/AppTestEnvironment.h"
#include "app/GraflinkVariable.h"
#include "app/GraflinkVariableList.h"
#include "app/VariableEditCommands.h"
#include "testkit/TestHelpers.h"

#include <QAbstractItemModelTester>
#include <QSignalSpy>
#include <QUndoStack>

namespace {

class VariablesTable : public AppTestEnvironment {
  protected:
    void SetUp() override {
        AppTestEnvironment::SetUp();
        document = makeDocument();
        document->loadVariablesFromDictionaries(
            {{{u"XPath"_s, u"a/b"_s}, {u"valueType"_s, 0}}, {{u"XPath"_s, u"a/c"_s}, {u"valueType"_s, 2}}});
        model = std::make_unique<VariablesModel>(*document, &undo);
        tester = std::make_unique<QAbstractItemModelTester>(
            model.get(), QAbstractItemModelTester::FailureReportingMode::Fatal);
    }

    QVariant cell(int row, int column, int role = Qt::DisplayRole) const {
        return model->data(model->index(row, column), role);
    }

    // The document goes before the client and the logger it uses.
    void TearDown() override {
        tester.reset();
        model.reset();
        document.reset();
        AppTestEnvironment::TearDown();
    }

    std::unique_ptr<GraflinkDocument> document;
    QUndoStack undo;
    std::unique_ptr<VariablesModel> model;
    std::unique_ptr<QAbstractItemModelTester> tester;
};

TEST_F(VariablesTable, EveryEditIsOneUndoableStep) {
    const std::pair<int, QString> edits[] = {{VariablesModel::PathColumn, u"x/y"_s},
                                             {VariablesModel::TypeColumn, u"Number"_s},
                                             {VariablesModel::FormatColumn, u"#.0"_s},
                                             {VariablesModel::ProjectColumn, u"Scores"_s},
                                             {VariablesModel::FieldColumn, u"Home"_s},
                                             {VariablesModel::ActionColumn, u"Flash"_s},
                                             {VariablesModel::IfMissingColumn, u"Send text"_s},
                                             {VariablesModel::FallbackTextColumn, u"Soon"_s}};
    for (const auto& [column, value] : edits) {
        const QVariant before = cell(0, column);
        const int steps = undo.count();
        ASSERT_TRUE(model->setData(model->index(0, column), value)) << column;
        EXPECT_EQ(cell(0, column).toString(), value);
        EXPECT_EQ(undo.count(), steps + 1);
        undo.undo();
        EXPECT_EQ(cell(0, column), before) << column;
        undo.redo();
        EXPECT_EQ(cell(0, column).toString(), value);
    }
    // Text over a stored 1 keeps the 1 (both mean text), so saving changes nothing.
    document->variables().variables().at(1)->setValueType(GraflinkVariable::PlainTextAlternative);
    const int steps = undo.count();
    model->setData(model->index(1, VariablesModel::TypeColumn), u"Text"_s);
    EXPECT_EQ(document->variables().variables().at(1)->valueType(), 1);
    EXPECT_EQ(undo.count(), steps);
}

TEST_F(VariablesTable, FormatIsEditableForNumbersOnlyAndValueNever) {
    EXPECT_FALSE(model->flags(model->index(0, VariablesModel::FormatColumn)) & Qt::ItemIsEnabled);
    EXPECT_TRUE(model->flags(model->index(1, VariablesModel::FormatColumn)) & Qt::ItemIsEditable);
    EXPECT_FALSE(model->flags(model->index(1, VariablesModel::ValueColumn)) & Qt::ItemIsEditable);
    EXPECT_FALSE(model->setData(model->index(0, VariablesModel::FormatColumn), u"#"_s));
}

TEST_F(VariablesTable, ANewValueRepaintsOnlyItsCell) {
    QSignalSpy changed(model.get(), &QAbstractItemModel::dataChanged);
    document->variables().variables().at(1)->setCurrentStringValue(platform::JsonValue(std::string("72")));
    ASSERT_EQ(changed.size(), 1);
    EXPECT_EQ(changed.first().at(0).toModelIndex(), model->index(1, VariablesModel::ValueColumn));
    EXPECT_EQ(changed.first().at(1).toModelIndex(), model->index(1, VariablesModel::AgeColumn));
    EXPECT_EQ(cell(1, VariablesModel::ValueColumn).toString(), u"72"_s);
    EXPECT_EQ(cell(1, VariablesModel::AgeColumn).toString(), u"0 s"_s);
}

TEST_F(VariablesTable, InsertAndDeleteComeBackWithEveryProperty) {
    model->setData(model->index(1, VariablesModel::FormatColumn), u"0.0"_s);
    undo.push(new VariableEditCommands::RemoveVariable(*document, 1));
    undo.push(new VariableEditCommands::InsertVariable(*document, 0, {{u"XPath"_s, u"new"_s}}));
    ASSERT_EQ(model->rowCount(), 2);
    EXPECT_EQ(cell(0, VariablesModel::PathColumn).toString(), u"new"_s);
    undo.undo();
    undo.undo();
    ASSERT_EQ(model->rowCount(), 2);
    EXPECT_EQ(cell(1, VariablesModel::PathColumn).toString(), u"a/c"_s);
    EXPECT_EQ(cell(1, VariablesModel::FormatColumn).toString(), u"0.0"_s);
    EXPECT_EQ(document->variables().variables().at(1)->document(), document.get());
    // A whole new list (a reverted file) resets the table.
    document->loadVariablesFromDictionaries({{{u"XPath"_s, u"only"_s}}});
    EXPECT_EQ(model->rowCount(), 1);
}

} // namespace
