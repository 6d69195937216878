#pragma once

#include <QObject>
#include <QString>
#include <memory>

class FeedResponse;
class GraflinkDocument;
class VariableEvaluator;
namespace platform::http {
class Client;
class Task;
} // namespace platform::http

/// What one path finds in the fetched feed, evaluated as a refresh would evaluate a variable.
struct FeedProbeResult {
    enum class Outcome { NoFeed, Invalid, NoMatch, Value };
    Outcome outcome = Outcome::NoFeed;
    /// The variable's value (formatted as its type asks).
    QString value;
    /// How many nodes an XPath or a JSONPath query selects (1 for a JSON key path that leads
    /// somewhere).
    int matchCount = 0;
    /// Why the path is not valid (for a JSONPath query, with the character where it goes wrong).
    QString error;
};

/// The path workbench's view of a document's feed: fetches it (off the main thread), keeps the
/// parsed feed, and evaluates any path against it with the code of a refresh, so what it shows
/// is what a variable with that path would get. Main thread.
class FeedProbe : public QObject {
    Q_OBJECT
  public:
    FeedProbe(GraflinkDocument& document, std::shared_ptr<platform::http::Client> http,
              QObject* parent = nullptr);
    ~FeedProbe() override;

    /// Fetches the document's feed again; `fetched` tells how it went.
    void fetch();
    bool hasFeed() const;
    /// The attributes of the fetched XML feed's elements ("path/@name"); none for JSON.
    QStringList attributePaths() const;
    /// `valueType` and `format` as a variable's (a number is formatted with the pattern).
    FeedProbeResult evaluate(const QString& path, int valueType = 0, const QString& format = QString()) const;

  Q_SIGNALS:
    /// The fetch ended: `reason` is empty on success.
    void fetched(const QString& reason);

  private:
    void take(std::shared_ptr<FeedResponse> response);

    GraflinkDocument& m_document;
    std::shared_ptr<platform::http::Client> m_http;
    std::shared_ptr<FeedResponse> m_feed;
    std::shared_ptr<platform::http::Task> m_task;
    std::unique_ptr<VariableEvaluator> m_evaluator;
    quint64 m_sequence = 0;
};
