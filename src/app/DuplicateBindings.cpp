#include "app/DuplicateBindings.h"

#include "app/GraflinkVariable.h"

#include <QMap>
#include <QStringList>

namespace {
// Fields named in the warning; the rest are counted.
constexpr int FieldsNamed = 2;
} // namespace

QString DuplicateBindings::warning(const QList<GraflinkVariable*>& variables) {
    // In field order, so that the text does not change while nothing else does.
    QMap<std::pair<QString, QString>, QList<int>> rowsByField;
    for (qsizetype i = 0; i < variables.size(); ++i) {
        const std::optional<QString> project = variables[i]->CGProjectName();
        const std::optional<QString> field = variables[i]->CGProjectItemName();
        if (project && field && !project->isEmpty() && !field->isEmpty())
            rowsByField[{*project, *field}].append(int(i) + 1);
    }
    QStringList shared;
    int more = 0;
    for (auto it = rowsByField.cbegin(); it != rowsByField.cend(); ++it) {
        if (it.value().size() < 2)
            continue;
        if (shared.size() == FieldsNamed) {
            ++more;
            continue;
        }
        QStringList rows;
        for (int row : it.value())
            rows.append(QString::number(row));
        const QString last = rows.takeLast();
        shared.append(QStringLiteral("rows %1 and %2 both send to %3 ▸ %4")
                          .arg(rows.join(QStringLiteral(", ")), last, it.key().first, it.key().second));
    }
    if (shared.isEmpty())
        return {};
    QString text = shared.join(QStringLiteral("; "));
    if (more > 0)
        text += QStringLiteral(" (and %1 more fields)").arg(more);
    text[0] = text[0].toUpper();
    return text + QStringLiteral(": the field on air flickers between their values. Bind each field once.");
}
