#pragma once

#include <QList>
#include <QString>

struct ElectionRace;

/// What one playlist export wrote: the number of items, and the rows whose item lacks a field the
/// playout product needs to tell items apart (an ID from "RaceNumber", a name from "Name1"). Such a
/// playlist still loads, but its items are blank in the playout product's list.
class PlaylistExportSummary {
  public:
    /// Counts the item made of `race`, the row `rowNumber` (from 1).
    void add(const ElectionRace& race, int rowNumber);

    int items() const { return m_items; }
    /// Empty when every item has an ID and a name; otherwise one sentence that says how many lack
    /// which and the first rows that do.
    QString warning() const;

  private:
    int m_items = 0;
    int m_withoutID = 0;
    int m_withoutName = 0;
    QList<int> m_rows;
};
