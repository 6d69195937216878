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
            {{{QStringLiteral("XPath"), QStringLiteral("a/b")}, {QStringLiteral("valueType"), 0}},
             {{QStringLiteral("XPath"), QStringLiteral("a/c")}, {QStringLiteral("valueType"), 2}}});
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
    struct Case {
        int column;
        QVariant value;
        QString shown;
    };
    for (const Case& c :
         {Case{VariablesModel::PathColumn, QStringLiteral("x/y"), QStringLiteral("x/y")},
          Case{VariablesModel::TypeColumn, QStringLiteral("Number"), QStringLiteral("Number")},
          Case{VariablesModel::FormatColumn, QStringLiteral("#.0"), QStringLiteral("#.0")},
          Case{VariablesModel::ProjectColumn, QStringLiteral("Scores"), QStringLiteral("Scores")},
          Case{VariablesModel::FieldColumn, QStringLiteral("Home"), QStringLiteral("Home")},
          Case{VariablesModel::ActionColumn, QStringLiteral("Flash"), QStringLiteral("Flash")},
          Case{VariablesModel::IfMissingColumn, QStringLiteral("Send text"), QStringLiteral("Send text")},
          Case{VariablesModel::FallbackTextColumn, QStringLiteral("Soon"), QStringLiteral("Soon")}}) {
        const QVariant before = cell(0, c.column);
        const int steps = undo.count();
        ASSERT_TRUE(model->setData(model->index(0, c.column), c.value)) << c.column;
        EXPECT_EQ(cell(0, c.column).toString(), c.shown);
        EXPECT_EQ(undo.count(), steps + 1);
        undo.undo();
        EXPECT_EQ(cell(0, c.column), before) << c.column;
        undo.redo();
        EXPECT_EQ(cell(0, c.column).toString(), c.shown);
    }
    // Text over a stored 1 keeps the 1 (both mean text), so saving changes nothing.
    document->variables().variables().at(1)->setValueType(GraflinkVariable::PlainTextAlternative);
    const int steps = undo.count();
    model->setData(model->index(1, VariablesModel::TypeColumn), QStringLiteral("Text"));
    EXPECT_EQ(document->variables().variables().at(1)->valueType(), 1);
    EXPECT_EQ(undo.count(), steps);
}

TEST_F(VariablesTable, FormatIsEditableForNumbersOnlyAndValueNever) {
    EXPECT_FALSE(model->flags(model->index(0, VariablesModel::FormatColumn)) & Qt::ItemIsEnabled);
    EXPECT_TRUE(model->flags(model->index(1, VariablesModel::FormatColumn)) & Qt::ItemIsEditable);
    EXPECT_FALSE(model->flags(model->index(1, VariablesModel::ValueColumn)) & Qt::ItemIsEditable);
    EXPECT_FALSE(model->setData(model->index(0, VariablesModel::FormatColumn), QStringLiteral("#")));
}

TEST_F(VariablesTable, ANewValueRepaintsOnlyItsCell) {
    QSignalSpy changed(model.get(), &QAbstractItemModel::dataChanged);
    document->variables().variables().at(1)->setCurrentStringValue(platform::JsonValue(std::string("72")));
    ASSERT_EQ(changed.size(), 1);
    EXPECT_EQ(changed.first().at(0).toModelIndex(), model->index(1, VariablesModel::ValueColumn));
    EXPECT_EQ(changed.first().at(1).toModelIndex(), model->index(1, VariablesModel::AgeColumn));
    EXPECT_EQ(cell(1, VariablesModel::ValueColumn).toString(), QStringLiteral("72"));
    EXPECT_EQ(cell(1, VariablesModel::AgeColumn).toString(), QStringLiteral("0 s"));
}

TEST_F(VariablesTable, InsertAndDeleteComeBackWithEveryProperty) {
    model->setData(model->index(1, VariablesModel::FormatColumn), QStringLiteral("0.0"));
    undo.push(new VariableEditCommands::RemoveVariable(*document, 1));
    undo.push(new VariableEditCommands::InsertVariable(*document, 0,
                                                       {{QStringLiteral("XPath"), QStringLiteral("new")}}));
    ASSERT_EQ(model->rowCount(), 2);
    EXPECT_EQ(cell(0, VariablesModel::PathColumn).toString(), QStringLiteral("new"));
    undo.undo();
    undo.undo();
    ASSERT_EQ(model->rowCount(), 2);
    EXPECT_EQ(cell(1, VariablesModel::PathColumn).toString(), QStringLiteral("a/c"));
    EXPECT_EQ(cell(1, VariablesModel::FormatColumn).toString(), QStringLiteral("0.0"));
    EXPECT_EQ(document->variables().variables().at(1)->document(), document.get());
    // A whole new list (a reverted file) resets the table.
    document->loadVariablesFromDictionaries({{{QStringLiteral("XPath"), QStringLiteral("only")}}});
    EXPECT_EQ(model->rowCount(), 1);
}

} // namespace
