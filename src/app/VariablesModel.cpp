#include "app/VariablesModel.h"

#include "app/GraflinkDocument.h"
#include "app/GraflinkVariable.h"
#include "app/GraflinkVariableList.h"
#include "app/VariableEditCommands.h"
#include "cglink/CGProject.h"
#include "cglink/CGProjectItem.h"
#include "platform/Json.h"

#include <QUndoStack>
#include <algorithm>
#include <nlohmann/json.hpp>

using VariableEditCommands::Property;

namespace {

Property propertyOf(int column) {
    switch (column) {
    case VariablesModel::PathColumn:
        return Property::XPath;
    case VariablesModel::TypeColumn:
        return Property::ValueType;
    case VariablesModel::FormatColumn:
        return Property::Format;
    case VariablesModel::ProjectColumn:
        return Property::CGProjectName;
    case VariablesModel::FieldColumn:
        return Property::CGProjectItemName;
    case VariablesModel::IfMissingColumn:
        return Property::FallbackMode;
    case VariablesModel::FallbackTextColumn:
        return Property::FallbackText;
    default:
        return Property::AppleScriptActionName;
    }
}

QString text(const std::optional<QString>& value) {
    return value.value_or(QString());
}

} // namespace

VariablesModel::VariablesModel(GraflinkDocument& document, QUndoStack* undoStack, QObject* parent)
    : QAbstractTableModel(parent), m_document(document), m_undoStack(undoStack) {
    GraflinkVariableList& list = document.variables();
    connect(&list, &GraflinkVariableList::inserted, this, [this](qsizetype index) {
        GraflinkVariable* variable = m_document.variables().variables().value(index);
        if (!variable)
            return;
        const int row = int(std::min<qsizetype>(index, qsizetype(m_rows.size())));
        beginInsertRows({}, row, row);
        m_rows.insert(m_rows.begin() + row, variable);
        endInsertRows();
        track(variable);
    });
    connect(&list, &GraflinkVariableList::removed, this, [this](qsizetype index) {
        if (index < 0 || index >= qsizetype(m_rows.size()))
            return;
        beginRemoveRows({}, int(index), int(index));
        m_rows.erase(m_rows.begin() + index);
        endRemoveRows();
    });
    connect(&list, &GraflinkVariableList::reset, this, &VariablesModel::reload);
    // The field and action choices depend on the server's projects and the actions folder.
    connect(&document, &GraflinkDocument::availableCGProjectsChanged, this, [this] {
        if (!m_rows.empty())
            Q_EMIT dataChanged(index(0, ProjectColumn), index(int(m_rows.size()) - 1, FieldColumn),
                               {ChoicesRole});
    });
    reload();
}

VariablesModel::~VariablesModel() = default;

void VariablesModel::reload() {
    beginResetModel();
    const QList<GraflinkVariable*> variables = m_document.variables().variables();
    m_rows.assign(variables.begin(), variables.end());
    endResetModel();
    for (GraflinkVariable* variable : m_rows)
        track(variable);
}

void VariablesModel::track(GraflinkVariable* variable) {
    // Once per variable object (a variable put back by undo is a new one); connections end with it.
    const auto on = [this, variable](auto signal, int column, int lastColumn = -1) {
        connect(variable, signal, this, [this, variable, column, lastColumn] {
            cellsChanged(variable, column, lastColumn < 0 ? column : lastColumn);
        });
    };
    on(&GraflinkVariable::XPathChanged, PathColumn);
    // A new value is a new age too: the two cells side by side in one announcement.
    on(&GraflinkVariable::currentStringValueChanged, ValueColumn, AgeColumn);
    on(&GraflinkVariable::valueTypeChanged, TypeColumn);
    on(&GraflinkVariable::requiresFormatChanged, FormatColumn);
    on(&GraflinkVariable::formatChanged, FormatColumn);
    on(&GraflinkVariable::CGProjectNameChanged, ProjectColumn);
    on(&GraflinkVariable::CGProjectItemNameChanged, FieldColumn);
    on(&GraflinkVariable::projectItemsChanged, FieldColumn);
    on(&GraflinkVariable::appleScriptActionNameChanged, ActionColumn);
    on(&GraflinkVariable::fallbackChanged, IfMissingColumn, FallbackTextColumn);
}

void VariablesModel::cellsChanged(const GraflinkVariable* variable, int firstColumn, int lastColumn) {
    const auto found = std::find(m_rows.begin(), m_rows.end(), variable);
    if (found == m_rows.end())
        return;
    const int row = int(found - m_rows.begin());
    Q_EMIT dataChanged(index(row, firstColumn), index(row, lastColumn));
}

int VariablesModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(m_rows.size());
}

int VariablesModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : ColumnCount;
}

GraflinkVariable* VariablesModel::variableAt(int row) const {
    return row >= 0 && row < int(m_rows.size()) ? m_rows[std::size_t(row)] : nullptr;
}

QString VariablesModel::typeName(int valueType) {
    switch (valueType) {
    case GraflinkVariable::Number:
        return tr("Number");
    case GraflinkVariable::HTML:
        return tr("HTML");
    default:
        return tr("Text");
    }
}

QString VariablesModel::valueText(const GraflinkVariable& variable) {
    return platform::valueText(variable.currentStringValue());
}

QString VariablesModel::fallbackName(int mode) {
    switch (mode) {
    case GraflinkVariable::SendEmpty:
        return tr("Send empty");
    case GraflinkVariable::SendFallbackText:
        return tr("Send text");
    default:
        return tr("Keep on air");
    }
}

void VariablesModel::refreshAges() {
    if (!m_rows.empty())
        Q_EMIT dataChanged(index(0, AgeColumn), index(int(m_rows.size()) - 1, AgeColumn), {Qt::DisplayRole});
}

QVariant VariablesModel::data(const QModelIndex& index, int role) const {
    const GraflinkVariable* variable = variableAt(index.row());
    if (!variable || index.column() >= ColumnCount)
        return {};
    if (role == ChoicesRole) {
        switch (index.column()) {
        case TypeColumn:
            return QStringList{typeName(0), typeName(GraflinkVariable::Number),
                               typeName(GraflinkVariable::HTML)};
        case ProjectColumn: {
            QStringList names;
            for (const auto& project : m_document.availableCGProjects())
                if (project->name())
                    names.append(*project->name());
            return names;
        }
        case FieldColumn: {
            QStringList names;
            for (const auto& item : variable->projectItems())
                if (item->name())
                    names.append(*item->name());
            return names;
        }
        case ActionColumn:
            return m_document.availableAppleScriptActions();
        case IfMissingColumn:
            return QStringList{fallbackName(GraflinkVariable::KeepOnAir),
                               fallbackName(GraflinkVariable::SendEmpty),
                               fallbackName(GraflinkVariable::SendFallbackText)};
        default:
            return QStringList();
        }
    }
    if (role == Qt::ToolTipRole && index.column() == FieldColumn && variable->CGProjectItemName() &&
        !variable->projectItems().isEmpty()) {
        const bool onServer =
            std::any_of(variable->projectItems().begin(), variable->projectItems().end(),
                        [&](const auto& item) { return item->name() == variable->CGProjectItemName(); });
        return onServer ? QVariant() : tr("Not on the server");
    }
    if (role != Qt::DisplayRole && role != Qt::EditRole && role != Qt::AccessibleTextRole)
        return {};
    switch (index.column()) {
    case PathColumn:
        return text(variable->XPath());
    case ValueColumn:
        return valueText(*variable);
    case TypeColumn:
        return role == Qt::EditRole ? QVariant(variable->valueType())
                                    : QVariant(typeName(variable->valueType()));
    case FormatColumn:
        // A text variable keeps its pattern unused: show nothing rather than a greyed-out pattern.
        // Screen readers hear what the screen shows.
        return role != Qt::EditRole && !variable->requiresFormat() ? QString() : text(variable->format());
    case ProjectColumn:
        return text(variable->CGProjectName());
    case FieldColumn:
        return text(variable->CGProjectItemName());
    case ActionColumn:
        return text(variable->appleScriptActionName());
    case AgeColumn: {
        // Whole seconds since the value last changed, as the status line writes them.
        const std::optional<qint64> age = variable->valueAgeSeconds();
        if (!age)
            return QString();
        return *age < 60     ? tr("%1 s").arg(*age)
               : *age < 3600 ? tr("%1 min").arg(*age / 60)
                             : tr("%1 h").arg(*age / 3600);
    }
    case IfMissingColumn:
        return role == Qt::EditRole ? QVariant(variable->fallbackMode())
                                    : QVariant(fallbackName(variable->fallbackMode()));
    case FallbackTextColumn:
        return role == Qt::DisplayRole && variable->fallbackMode() != GraflinkVariable::SendFallbackText
                   ? QString()
                   : variable->fallbackText();
    }
    return {};
}

QVariant VariablesModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return QAbstractTableModel::headerData(section, orientation, role);
    switch (section) {
    case PathColumn:
        return tr("Path");
    case ValueColumn:
        return tr("Value");
    case TypeColumn:
        return tr("Type");
    case FormatColumn:
        return tr("Format");
    case ProjectColumn:
        return tr("Project");
    case FieldColumn:
        return tr("Field");
    case ActionColumn:
        return tr("Action");
    case AgeColumn:
        return tr("Age");
    case IfMissingColumn:
        return tr("If Missing");
    case FallbackTextColumn:
        return tr("Fallback Text");
    }
    return {};
}

Qt::ItemFlags VariablesModel::flags(const QModelIndex& index) const {
    const GraflinkVariable* variable = variableAt(index.row());
    if (!variable)
        return Qt::NoItemFlags;
    Qt::ItemFlags flags = Qt::ItemIsSelectable | Qt::ItemIsEnabled;
    if (index.column() == FormatColumn && !variable->requiresFormat())
        return Qt::ItemIsSelectable;
    if (index.column() == FallbackTextColumn &&
        variable->fallbackMode() != GraflinkVariable::SendFallbackText)
        return Qt::ItemIsSelectable;
    if (index.column() != ValueColumn && index.column() != AgeColumn)
        flags |= Qt::ItemIsEditable;
    return flags;
}

bool VariablesModel::setData(const QModelIndex& index, const QVariant& value, int role) {
    if (role != Qt::EditRole || !(flags(index) & Qt::ItemIsEditable))
        return false;
    const Property property = propertyOf(index.column());
    QVariant stored = value;
    if (property == Property::ValueType) {
        bool isNumber = false;
        int type = value.toInt(&isNumber);
        if (!isNumber) {
            const QString name = value.toString();
            type = name == typeName(GraflinkVariable::Number) ? GraflinkVariable::Number
                   : name == typeName(GraflinkVariable::HTML) ? GraflinkVariable::HTML
                                                              : GraflinkVariable::PlainText;
        }
        // Text keeps a stored 1 as it is: both mean text.
        const int current = variableAt(index.row())->valueType();
        if (type == GraflinkVariable::PlainText && current == GraflinkVariable::PlainTextAlternative)
            return true;
        stored = type;
    } else if (property == Property::FallbackMode) {
        bool isNumber = false;
        int mode = value.toInt(&isNumber);
        if (!isNumber) {
            const QString name = value.toString();
            mode = name == fallbackName(GraflinkVariable::SendEmpty) ? GraflinkVariable::SendEmpty
                   : name == fallbackName(GraflinkVariable::SendFallbackText)
                       ? GraflinkVariable::SendFallbackText
                       : GraflinkVariable::KeepOnAir;
        }
        stored = mode;
    }
    if (VariableEditCommands::read(m_document, index.row(), property) == stored)
        return true;
    auto command =
        std::make_unique<VariableEditCommands::SetProperty>(m_document, index.row(), property, stored);
    if (m_undoStack)
        m_undoStack->push(command.release());
    else
        command->redo();
    return true;
}
