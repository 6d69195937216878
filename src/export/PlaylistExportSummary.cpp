#include "export/PlaylistExportSummary.h"

#include "export/ElectionRace.h"

#include <QStringList>

namespace {
// Rows named in the warning; the rest are counted.
constexpr int RowsNamed = 5;
} // namespace

void PlaylistExportSummary::add(const ElectionRace& race, int rowNumber) {
    ++m_items;
    const bool noID = race.raceNumber.trimmed().isEmpty();
    const bool noName = race.displayName.trimmed().isEmpty();
    m_withoutID += noID;
    m_withoutName += noName;
    if (noID || noName)
        m_rows.append(rowNumber);
}

QString PlaylistExportSummary::warning() const {
    if (m_rows.isEmpty())
        return {};
    QStringList missing;
    if (m_withoutID > 0)
        missing.append(QStringLiteral("%1 no ID (the row's RaceNumber element)").arg(m_withoutID));
    if (m_withoutName > 0)
        missing.append(QStringLiteral("%1 no name (its Name1 element)").arg(m_withoutName));
    QStringList rows;
    for (int i = 0; i < m_rows.size() && i < RowsNamed; ++i)
        rows.append(QString::number(m_rows[i]));
    QString where = QStringLiteral("row %1").arg(rows.join(QStringLiteral(", ")));
    if (m_rows.size() > 1)
        where.insert(3, QLatin1Char('s'));
    if (m_rows.size() > RowsNamed)
        where += QStringLiteral(" and %1 more").arg(m_rows.size() - RowsNamed);
    return QStringLiteral("Of %1 playlist items, %2: %3. The playout product shows such items blank.")
        .arg(m_items)
        .arg(missing.join(QStringLiteral(" and ")), where);
}
