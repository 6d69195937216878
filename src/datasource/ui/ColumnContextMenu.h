#pragma once

#include <QMenu>
#include <functional>

class NVSCGDataSourceColumn;
class QActionGroup;

/// The column menu of the editor's header (and of Data Source ▸ Column): Rename, the column type,
/// Duplicate, Delete, Add Custom Column and Edit Column Format. Its commands act on the column the
/// editor set last; without one only Add Custom Column applies.
class ColumnContextMenu : public QMenu {
    Q_OBJECT
  public:
    struct Commands {
        std::function<void()> rename;
        std::function<void(uint type)> setType;
        std::function<void()> duplicate;
        std::function<void()> remove;
        std::function<void()> addCustom;
        std::function<void()> editFormat;
    };

    ColumnContextMenu(Commands commands, QWidget* parent);

    /// Ticks the type of `column` and enables what applies to it (none: no column there).
    void setColumn(const NVSCGDataSourceColumn* column);
    QMenu* typeMenu() const { return m_typeMenu; }

  private:
    QMenu* m_typeMenu;
    QActionGroup* m_typeActions;
    QAction* m_addCustom;
};
