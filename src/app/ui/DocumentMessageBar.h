#pragma once

#include <QObject>
#include <QString>

class QLabel;
class QWidget;

/// The document window's message bar, one message at a time. A passing message (a refresh that
/// failed, a file that would not read again) goes with the next good refresh or Dismiss. A lasting
/// problem (a filter that cannot run, two variables on one field) is said once per change: it stays
/// through good refreshes, goes when it ends, and is not said again after Dismiss until it changes.
class DocumentMessageBar : public QObject {
    Q_OBJECT
  public:
    enum class Problem { Filter, Bindings };

    DocumentMessageBar(QWidget& bar, QLabel& label, QObject* parent = nullptr);

    void show(const QString& text);
    /// The lasting problem of that kind is now `text` (empty: it ended).
    void setProblem(Problem kind, const QString& text);
    /// A refresh delivered: a passing message goes.
    void refreshSucceeded();

  private:
    bool showsProblem() const;

    QWidget& m_bar;
    QLabel& m_label;
    QString m_problems[2];
};
