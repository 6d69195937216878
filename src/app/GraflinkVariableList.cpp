#include "app/GraflinkVariableList.h"

#include "app/GraflinkVariable.h"

GraflinkVariableList::GraflinkVariableList(QObject* parent) : QObject(parent) {}

GraflinkVariableList::~GraflinkVariableList() = default;

QList<GraflinkVariable*> GraflinkVariableList::variables() const {
    std::lock_guard lock(m_mutex);
    QList<GraflinkVariable*> list;
    list.reserve(static_cast<qsizetype>(m_variables.size()));
    for (const auto& variable : m_variables)
        list.append(variable.get());
    return list;
}

qsizetype GraflinkVariableList::count() const {
    std::lock_guard lock(m_mutex);
    return static_cast<qsizetype>(m_variables.size());
}

void GraflinkVariableList::append(std::unique_ptr<GraflinkVariable> variable) {
    insert(count(), std::move(variable));
}

void GraflinkVariableList::insert(qsizetype index, std::unique_ptr<GraflinkVariable> variable) {
    {
        std::lock_guard lock(m_mutex);
        index = std::clamp<qsizetype>(index, 0, static_cast<qsizetype>(m_variables.size()));
        m_variables.insert(m_variables.begin() + index, std::move(variable));
    }
    Q_EMIT inserted(index);
}

void GraflinkVariableList::removeAt(qsizetype index) {
    std::unique_ptr<GraflinkVariable> removedVariable;
    {
        std::lock_guard lock(m_mutex);
        if (index < 0 || index >= static_cast<qsizetype>(m_variables.size()))
            return;
        removedVariable = std::move(m_variables[static_cast<size_t>(index)]);
        m_variables.erase(m_variables.begin() + index);
    }
    Q_EMIT removed(index);
}

void GraflinkVariableList::replaceAll(std::vector<std::unique_ptr<GraflinkVariable>> variables) {
    std::vector<std::unique_ptr<GraflinkVariable>> old;
    {
        std::lock_guard lock(m_mutex);
        old.swap(m_variables);
        m_variables = std::move(variables);
    }
    Q_EMIT reset();
}
