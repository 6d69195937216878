#pragma once

#include <QList>
#include <QString>

class GraflinkVariable;

/// Fields of the CG server that more than one variable sends to: every pass then sends both
/// values and the field on air flickers between them.
class DuplicateBindings {
  public:
    /// Empty when every bound field has one variable; otherwise one sentence for the user naming
    /// the rows (from 1) and the fields.
    static QString warning(const QList<GraflinkVariable*>& variables);
};
