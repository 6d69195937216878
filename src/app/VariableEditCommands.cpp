#include "app/VariableEditCommands.h"

#include "app/GraflinkDocument.h"
#include "app/GraflinkVariable.h"
#include "app/GraflinkVariableList.h"

#include <QCoreApplication>

namespace VariableEditCommands {

namespace {

GraflinkVariable* variableAt(const GraflinkDocument& document, int row) {
    const QList<GraflinkVariable*> variables = document.variables().variables();
    return row >= 0 && row < variables.size() ? variables.at(row) : nullptr;
}

QVariant fromOptional(const std::optional<QString>& text) {
    return text.value_or(QString());
}

std::optional<QString> toOptional(const QVariant& value) {
    const QString text = value.toString();
    return text.isEmpty() ? std::nullopt : std::optional<QString>(text);
}

QString commandText(Property property) {
    switch (property) {
    case Property::XPath:
        return QCoreApplication::translate("VariableEditCommands", "Change Path");
    case Property::ValueType:
        return QCoreApplication::translate("VariableEditCommands", "Change Type");
    case Property::Format:
        return QCoreApplication::translate("VariableEditCommands", "Change Format");
    case Property::CGProjectName:
        return QCoreApplication::translate("VariableEditCommands", "Change Project");
    case Property::CGProjectItemName:
        return QCoreApplication::translate("VariableEditCommands", "Change Field");
    case Property::AppleScriptActionName:
        return QCoreApplication::translate("VariableEditCommands", "Change Action");
    case Property::FallbackMode:
        return QCoreApplication::translate("VariableEditCommands", "Change If Missing");
    case Property::FallbackText:
        return QCoreApplication::translate("VariableEditCommands", "Change Fallback Text");
    }
    return {};
}

void insertVariable(GraflinkDocument& document, int row, const QVariantMap& dictionary) {
    auto variable = std::make_unique<GraflinkVariable>(dictionary);
    variable->setDocument(&document);
    document.variables().insert(row, std::move(variable));
}

} // namespace

QVariant read(const GraflinkDocument& document, int row, Property property) {
    const GraflinkVariable* variable = variableAt(document, row);
    if (!variable)
        return {};
    switch (property) {
    case Property::XPath:
        return fromOptional(variable->XPath());
    case Property::ValueType:
        return variable->valueType();
    case Property::Format:
        return fromOptional(variable->format());
    case Property::CGProjectName:
        return fromOptional(variable->CGProjectName());
    case Property::CGProjectItemName:
        return fromOptional(variable->CGProjectItemName());
    case Property::AppleScriptActionName:
        return fromOptional(variable->appleScriptActionName());
    case Property::FallbackMode:
        return variable->fallbackMode();
    case Property::FallbackText:
        return variable->fallbackText();
    }
    return {};
}

SetProperty::SetProperty(GraflinkDocument& document, int row, Property property, QVariant value)
    : QUndoCommand(commandText(property)), m_document(document), m_row(row), m_property(property),
      m_old(read(document, row, property)), m_new(std::move(value)) {}

void SetProperty::redo() {
    apply(m_new);
}

void SetProperty::undo() {
    apply(m_old);
}

bool SetProperty::mergeWith(const QUndoCommand* other) {
    const auto* next = static_cast<const SetProperty*>(other);
    if (&next->m_document != &m_document || next->m_row != m_row || next->m_property != m_property ||
        m_property == Property::ValueType || m_property == Property::CGProjectName ||
        m_property == Property::CGProjectItemName || m_property == Property::AppleScriptActionName ||
        m_property == Property::FallbackMode)
        return false;
    m_new = next->m_new;
    return true;
}

void SetProperty::apply(const QVariant& value) {
    GraflinkVariable* variable = variableAt(m_document, m_row);
    if (!variable)
        return;
    switch (m_property) {
    case Property::XPath: {
        std::optional<QString> path = toOptional(value);
        variable->validateXPath(path);
        variable->setXPath(path);
        break;
    }
    case Property::ValueType:
        variable->setValueType(value.toInt());
        break;
    case Property::Format:
        variable->setFormat(toOptional(value));
        break;
    case Property::CGProjectName:
        variable->setCGProjectName(toOptional(value));
        break;
    case Property::CGProjectItemName:
        variable->setCGProjectItemName(toOptional(value));
        break;
    case Property::AppleScriptActionName:
        variable->setAppleScriptActionName(toOptional(value));
        break;
    case Property::FallbackMode:
        variable->setFallbackMode(value.toInt());
        break;
    case Property::FallbackText:
        variable->setFallbackText(value.toString());
        break;
    }
}

InsertVariable::InsertVariable(GraflinkDocument& document, int row, QVariantMap dictionary)
    : QUndoCommand(QCoreApplication::translate("VariableEditCommands", "New Variable")), m_document(document),
      m_row(row), m_dictionary(std::move(dictionary)) {}

void InsertVariable::redo() {
    insertVariable(m_document, m_row, m_dictionary);
}

void InsertVariable::undo() {
    m_document.variables().removeAt(m_row);
}

RemoveVariable::RemoveVariable(GraflinkDocument& document, int row)
    : QUndoCommand(QCoreApplication::translate("VariableEditCommands", "Delete Variable")),
      m_document(document), m_row(row) {
    if (const GraflinkVariable* variable = variableAt(document, row))
        m_dictionary = variable->dictionaryRepresentation();
}

void RemoveVariable::redo() {
    m_document.variables().removeAt(m_row);
}

void RemoveVariable::undo() {
    insertVariable(m_document, m_row, m_dictionary);
}

} // namespace VariableEditCommands
