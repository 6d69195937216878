#pragma once

#include <QObject>

class QWidget;

/// Gives the clear (×) button inside line edits a name that screen readers say and outside test
/// tools find: "Clear" plus the field's own name. Qt leaves the button unnamed.
class LineEditClearButtons : public QObject {
    Q_OBJECT
  public:
    /// Names the buttons of the line edits under `root` (and of `root` itself) now.
    static void name(QWidget* root);
    /// Names every line edit's button as its window is shown, for the whole application.
    static void installApplicationWide();

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    using QObject::QObject;
};
