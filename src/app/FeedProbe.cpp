#include "app/FeedProbe.h"

#include "app/FeedFetcher.h"
#include "app/FeedInventory.h"
#include "app/FeedResponse.h"
#include "app/GraflinkDocument.h"
#include "app/GraflinkVariable.h"
#include "app/VariableEvaluator.h"
#include "feed/FeedSizeLimit.h"
#include "platform/HttpTask.h"
#include "platform/Json.h"
#include "platform/JsonKeyPath.h"
#include "platform/JsonPathQuery.h"
#include "platform/MainQueue.h"
#include "platform/UserDefaults.h"
#include "platform/XPathEvaluator.h"
#include "platform/XmlDocument.h"

#include <QPointer>
#include <nlohmann/json.hpp>

FeedProbe::FeedProbe(GraflinkDocument& document, std::shared_ptr<platform::http::Client> http,
                     QObject* parent)
    : QObject(parent), m_document(document), m_http(std::move(http)),
      m_evaluator(std::make_unique<VariableEvaluator>()) {}

FeedProbe::~FeedProbe() {
    if (m_task)
        m_task->cancel();
}

bool FeedProbe::hasFeed() const {
    return m_feed && m_feed->hasFeed();
}

void FeedProbe::fetch() {
    if (m_task)
        m_task->cancel();
    const quint64 sequence = ++m_sequence;
    QPointer<FeedProbe> self(this);
    const FeedFetcher::Limits limits{
        FeedFetcher::InventoryTimeouts,
        platform::FeedSizeLimit::bytes(platform::UserDefaults::standardUserDefaults())};
    m_task = FeedFetcher::start(*m_http, m_document.sourceURLString().value_or(QString()), limits,
                                m_document.feedCredentials(),
                                [self, sequence](std::shared_ptr<FeedResponse> response) {
                                    platform::MainQueue::dispatchAsync([self, sequence, response] {
                                        if (self && sequence == self->m_sequence)
                                            self->take(response);
                                    });
                                });
}

void FeedProbe::take(std::shared_ptr<FeedResponse> response) {
    m_task.reset();
    if (!response || !response->hasFeed()) {
        Q_EMIT fetched(response && !response->failureReason.isEmpty() ? response->failureReason
                                                                      : tr("The feed could not be read."));
        return;
    }
    m_feed = std::move(response);
    Q_EMIT fetched(QString());
}

QStringList FeedProbe::attributePaths() const {
    return m_feed && m_feed->xml ? FeedInventory::attributesOfXml(*m_feed->xml) : QStringList();
}

FeedProbeResult FeedProbe::evaluate(const QString& path, int valueType, const QString& format) const {
    FeedProbeResult result;
    if (!hasFeed())
        return result;
    if (path.trimmed().isEmpty()) {
        result.outcome = FeedProbeResult::Outcome::NoMatch;
        return result;
    }
    GraflinkVariable scratch;
    scratch.setXPath(path);
    scratch.setValueType(valueType);
    scratch.setFormat(format.isEmpty() ? std::nullopt : std::optional<QString>(format));
    scratch.setCurrentStringValue(std::nullopt);
    if (m_feed->xml) {
        platform::XPathEvaluator xpath(*m_feed->xml);
        xpath.useDocumentNamespaces();
        const std::optional<std::vector<xmlNodePtr>> nodes = xpath.nodes(path);
        if (!nodes) {
            result.outcome = FeedProbeResult::Outcome::Invalid;
            result.error = tr("Invalid XPath: %1").arg(path);
            return result;
        }
        result.matchCount = int(nodes->size());
        m_evaluator->evaluate({&scratch}, *m_feed->xml);
    } else {
        const std::shared_ptr<const platform::JsonValue> root = m_feed->jsonValue();
        if (platform::JsonPathQuery::isQuery(path)) {
            platform::JsonPathError error;
            const platform::JsonPathQuery* query = m_evaluator->jsonPath(path, &error);
            if (!query) {
                result.outcome = FeedProbeResult::Outcome::Invalid;
                result.error = tr("Invalid JSONPath: %1").arg(error.toString());
                return result;
            }
            result.matchCount = root ? int(query->select(*root).size()) : 0;
        } else {
            result.matchCount = root && platform::JsonKeyPath::valueAt(*root, path) ? 1 : 0;
        }
        if (root)
            m_evaluator->evaluate({&scratch}, *root);
    }
    if (result.matchCount == 0 || !scratch.currentStringValue()) {
        result.outcome = FeedProbeResult::Outcome::NoMatch;
        return result;
    }
    const platform::JsonValue& value = *scratch.currentStringValue();
    result.value = value.is_string() ? QString::fromStdString(value.get<std::string>())
                                     : QString::fromUtf8(platform::toJsonBytes(value));
    result.outcome = FeedProbeResult::Outcome::Value;
    return result;
}
