#pragma once

#include "app/DocumentCGLink.h"
#include "app/RefreshSchedule.h"
#include "cglink/CGServerHTTPController.h"
#include "feed/FeedAuthentication.h"
#include "platform/Document.h"
#include "platform/Json.h"
#include "platform/MonotonicClock.h"

#include <QDateTime>
#include <QPointer>
#include <QStringList>
#include <map>
#include <memory>
#include <optional>
#include <set>

class CGProject;
class DocumentRefreshPipeline;
struct RefreshJob;
struct VariableBinding;
class FeedFreshness;
class GraflinkVariable;
class GraflinkVariableList;
class NVSAppleScriptActionsController;
class NVSLogController;
class VariableEvaluator;
class FeedResponse;
namespace platform {
class DispatchTimer;
class FeedCredentials;
class JsonFeed;
class SecretStore;
class UserDefaults;
class XmlDocument;
namespace http {
class Client;
class Task;
} // namespace http
} // namespace platform

/// The services a Graflink document uses; what is left empty is the process's shared one.
struct GraflinkDocumentEnvironment {
    platform::UserDefaults* defaults = nullptr;
    NVSLogController* logger = nullptr;
    std::shared_ptr<platform::http::Client> http;
    /// The application's actions controller; none when no actions folder is configured.
    NVSAppleScriptActionsController* actions = nullptr;
    /// How CG clients are made (time-outs, reconnection delay, log); tests shorten the delays.
    CGServerHTTPControllerOptions cgClientOptions;
    /// Time-outs of refresh fetches (seconds); tests shorten them.
    double refreshRequestTimeout = 10.0;
    double refreshResourceTimeout = 20.0;
    /// Where feed secrets are looked up; empty: the process's shared store.
    std::shared_ptr<platform::SecretStore> secrets;
};

/// A feed-to-graphics link: where the feed comes from, the variables bound to CG project items,
/// refresh and publishing settings, an optional filter, and the CG server to reach. Lives on the
/// main thread and works without windows (the command line opens documents headless).
class GraflinkDocument : public platform::Document {
    Q_OBJECT
    Q_PROPERTY(bool autoRefresh READ autoRefresh WRITE setAutoRefresh NOTIFY autoRefreshChanged)
    Q_PROPERTY(bool publishToCG READ publishToCG WRITE setPublishToCG NOTIFY publishToCGChanged)
    Q_PROPERTY(double refreshFrequency READ refreshFrequency WRITE setRefreshFrequency NOTIFY
                   refreshFrequencyChanged)
    Q_PROPERTY(QString CGServerIPAddress READ CGServerIPAddress WRITE setCGServerIPAddress NOTIFY
                   CGServerIPAddressChanged)
    Q_PROPERTY(QString CGServerPassword READ CGServerPassword WRITE setCGServerPassword NOTIFY
                   CGServerPasswordChanged)
    Q_PROPERTY(quint64 CGServerPortNumber READ CGServerPortNumber WRITE setCGServerPortNumber NOTIFY
                   CGServerPortNumberChanged)
    Q_PROPERTY(qint32 CGServerType READ CGServerType WRITE setCGServerType NOTIFY CGServerTypeChanged)
    Q_PROPERTY(
        bool isConnectedToCG READ isConnectedToCG WRITE setIsConnectedToCG NOTIFY isConnectedToCGChanged)
    Q_PROPERTY(QString connectionStatusImage READ connectionStatusImage NOTIFY connectionStatusImageChanged)
    Q_PROPERTY(QStringList inventoriedElements READ inventoriedElements NOTIFY inventoriedElementsChanged)
  public:
    using Environment = GraflinkDocumentEnvironment;

    static inline const QString DocumentTypeName = QStringLiteral("Graflink Document");
    static inline const QString FileExtension = QStringLiteral("graflink");
    static inline const QString DefaultSourceURLString =
        QStringLiteral("https://w1.weather.gov/xml/current_obs/KLAS.xml");
    static constexpr double DefaultRefreshFrequency = 60.0;
    /// A period below this (or not a number) is raised to it, so a timer can never spin.
    static constexpr double MinimumRefreshFrequency = 1.0;

    // File keys
    static inline const QString AutoRefreshKey = QStringLiteral("autoRefresh");
    static inline const QString PublishToCGKey = QStringLiteral("publishToCG");
    static inline const QString RefreshFrequencyKey = QStringLiteral("refreshFrequency");
    static inline const QString SourceURLStringKey = QStringLiteral("sourceURLString");
    static inline const QString JavascriptFilterPathKey = QStringLiteral("javascriptFilterPath");
    static inline const QString VariablesKey = QStringLiteral("variables");
    static inline const QString CGServerIPAddressKey = QStringLiteral("CGServerIPAddress");
    static inline const QString CGServerPortNumberKey = QStringLiteral("CGServerPortNumber");
    static inline const QString CGServerPasswordKey = QStringLiteral("CGServerPassword");
    static inline const QString CGServerTypeKey = QStringLiteral("CGServerType");
    static inline const QString StaleAfterSecondsKey = QStringLiteral("staleAfterSeconds");
    static inline const QString ChangeOnlyPublishingKey = QStringLiteral("changeOnlyPublishing");
    static inline const QString FullPublishSecondsKey = QStringLiteral("fullPublishSeconds");
    static constexpr double DefaultFullPublishSeconds = 60.0;

    explicit GraflinkDocument(Environment environment = Environment(), QObject* parent = nullptr);
    ~GraflinkDocument() override;

    /// Registers the server settings a new document starts with ("CGServerType" 1,
    /// "CGServerPortNumber" 2001, "CGServerIPAddress" "127.0.0.1", "CGServerPassword" "").
    static void registerDefaults(platform::UserDefaults& defaults);

    bool autosavesInPlace() const override { return true; }
    /// The HTTP client the document fetches its feed with.
    std::shared_ptr<platform::http::Client> httpClient() const { return m_environment.http; }
    /// Stops the refresh timer (closing the window, or quitting).
    void close() override { stopRefreshTimer(); }

    // Properties
    const QStringList& inventoriedElements() const { return m_inventoriedElements; }
    GraflinkVariableList& variables() const { return *m_variables; }
    bool autoRefresh() const { return m_autoRefresh; }
    void setAutoRefresh(bool autoRefresh);
    bool publishToCG() const { return m_publishToCG; }
    void setPublishToCG(bool publishToCG);
    const std::optional<QString>& sourceURLString() const { return m_sourceURLString; }
    /// Every assignment starts a refresh, even of the same address.
    void setSourceURLString(const std::optional<QString>& address);
    const std::optional<QString>& javascriptFilterPath() const { return m_javascriptFilterPath; }
    void setJavascriptFilterPath(const std::optional<QString>& path);
    /// How feed requests authenticate (the secret is in the keychain, see docs/feeds.md). Stored
    /// normalized: an enabled scheme gets its keychain account here.
    const platform::FeedAuthentication& feedAuthentication() const { return m_feedAuthentication; }
    /// Where the feed's secret is kept: the document's own store, or the process's.
    std::shared_ptr<platform::SecretStore> secretStore() const;
    void setFeedAuthentication(const platform::FeedAuthentication& settings);
    /// What this document's feed fetches authenticate with; null while authentication is off.
    std::shared_ptr<platform::FeedCredentials> feedCredentials() const { return m_feedCredentials; }
    double refreshFrequency() const { return m_refreshFrequency; }
    void setRefreshFrequency(double seconds);
    QString CGServerIPAddress() const { return m_CGServerIPAddress; }
    void setCGServerIPAddress(const QString& address);
    QString CGServerPassword() const { return m_CGServerPassword; }
    void setCGServerPassword(const QString& password);
    quint64 CGServerPortNumber() const { return m_CGServerPortNumber; }
    void setCGServerPortNumber(quint64 port);
    qint32 CGServerType() const { return m_CGServerType; }
    void setCGServerType(qint32 type);
    /// No successful refresh for this long raises one alarm (a shown level-0 log line) and the
    /// next success one "recovered" line; 0: off.
    double staleAfterSeconds() const;
    void setStaleAfterSeconds(double seconds);
    /// When and whether the feed last refreshed successfully, and whether that is too long ago.
    const FeedFreshness& freshness() const { return *m_freshness; }
    /// Send a field only when its value differs from the one the server last accepted, with a
    /// full pass every `fullPublishSeconds` and after the server's change socket reconnects.
    bool changeOnlyPublishing() const { return m_changeOnlyPublishing; }
    void setChangeOnlyPublishing(bool changeOnly);
    double fullPublishSeconds() const { return m_fullPublishSeconds; }
    void setFullPublishSeconds(double seconds);
    bool isConnectedToCG() const { return m_isConnectedToCG; }
    void setIsConnectedToCG(bool connected);
    /// "NSStatusAvailable" while connected, else "NSStatusNone".
    QString connectionStatusImage() const;

    /// The document as its file stores it (the top-level dictionary of the property list).
    QVariantMap fileDictionary() const;

    // Variables
    QList<QVariantMap> variablesAsDictionaries() const;
    void loadVariablesFromDictionaries(const QList<QVariantMap>& dictionaries);
    /// The CG client's project of that name; none without a client.
    std::shared_ptr<CGProject> projectWithName(const QString& name) const {
        return m_cg->projectWithName(name);
    }

    // CG server
    /// Replaces the CG client with one made from the server settings; removes it when the
    /// address is empty. Returns at once: the client lists the server's projects on its worker.
    void applyCGServerSettings();
    /// The client's projects; empty without a client (see hasCGClient()).
    CGProjectList availableCGProjects() const { return m_cg->projects(); }
    bool hasCGClient() const { return m_cg->client() != nullptr; }
    CGServerHTTPController* CGClient() const { return m_cg->client(); }
    /// Blanks every bound field on the server (the empty string, HTML off); runs no actions. The
    /// client sends it on its worker (see CGServerHTTPController::publish).
    void clearCG();
    /// What an operator's Clear does (the window's button, the rack's control page): off air
    /// first, since the next refresh would otherwise put every value back a moment later, then
    /// clearCG().
    void clearCGAndGoOffAir();

    // Feed
    /// Fetches the feed and evaluates every variable against it, at once: an explicit refresh
    /// (Update, publishing switched on, a new address) does not wait for one under way. The feed
    /// is parsed, evaluated and filtered off the main thread; the values are applied here.
    void refresh();
    /// The refresh timer's tick: refreshes unless a refresh is under way, in which case one
    /// refresh is marked due and starts as soon as the running ones have ended.
    void timedRefresh();
    /// Fetches the feed and rebuilds `inventoriedElements`.
    void getPaths();
    void processXMLDocument(const platform::XmlDocument& document);
    void processJSONObject(const platform::JsonValue& value);
    /// As processJSONObject, reading each variable's value straight from the parsed feed.
    void processJSONFeed(const platform::JsonFeed& feed);
    void inventoryXMLDocument(const platform::XmlDocument& document);
    void inventoryJSONObject(const platform::JsonValue& value);

    // Filter and actions
    /// Runs the filter script over every variable (nothing without a filter file), on the
    /// document's filter thread, waiting for it.
    void processVariablesThroughJavascript();
    /// The filter's file: a relative "javascriptFilterPath" is taken from the document's folder
    /// (from the working directory only while the document has no file). Empty without a filter.
    QString resolvedJavascriptFilterPath() const;
    /// Script engines the filter has made, and script reads (tests).
    int filterEnginesMade() const;
    int filterScriptReads() const;
    /// The names of the actions the variables may run; empty without an actions controller.
    QStringList availableAppleScriptActions() const;
    /// Starts the named action with the parameters; an unknown name or no controller does nothing.
    void executeAppleScriptWithName(const QString& name, const QStringList& parameters);

    // Refresh timer
    void startRefreshTimer();
    void stopRefreshTimer();
    bool isRefreshTimerRunning() const { return m_schedule->isTimerRunning(); }

    /// Feeds fetched and processed since the document was made (tests and the command line wait
    /// on it).
    quint64 processedRefreshCount() const { return m_processedRefreshCount; }
    /// Whether a refresh is still fetching, evaluating or filtering.
    bool isRefreshing() const { return m_schedule->isRefreshing(); }
    /// Whether a timer tick found a refresh under way and one more waits for it to end.
    bool isRefreshDue() const { return m_schedule->isDue(); }
    /// Whether the newest refresh that ended delivered a feed; empty before any ended.
    std::optional<bool> lastRefreshDelivered() const { return m_schedule->lastRefreshDelivered(); }
    /// Why the newest refresh that failed delivered nothing (no address, secrets, just the reason).
    const QString& lastRefreshError() const { return m_lastRefreshError; }
    /// Why the last refresh went out unfiltered although the document names a filter (its file is
    /// missing or unreadable), for the user; empty otherwise.
    const QString& filterProblem() const { return m_filterProblem; }
    /// Text updates the CG server accepted, and those that failed or were refused, over every
    /// client this document has had.
    quint64 updatesSent() const { return m_cg->updatesSent(); }
    quint64 updateErrors() const { return m_cg->updateErrors(); }

  Q_SIGNALS:
    void autoRefreshChanged();
    void publishToCGChanged();
    void sourceURLStringChanged();
    void javascriptFilterPathChanged();
    void feedAuthenticationChanged();
    void refreshFrequencyChanged();
    void CGServerIPAddressChanged();
    void CGServerPasswordChanged();
    void CGServerPortNumberChanged();
    void CGServerTypeChanged();
    void isConnectedToCGChanged();
    void staleAfterSecondsChanged();
    void changeOnlyPublishingChanged();
    void fullPublishSecondsChanged();
    void connectionStatusImageChanged();
    void availableCGProjectsAboutToChange();
    void availableCGProjectsChanged();
    void inventoriedElementsAboutToChange();
    void inventoriedElementsChanged();
    /// A refresh fetch started.
    void refreshStarted();
    /// A refresh fetch ended: `processed` tells whether a feed was evaluated.
    void refreshFinished(bool processed);
    /// An inventory fetch ended.
    void pathsFinished(bool inventoried);

  protected:
    bool readFromFile(const QString& path, const QString& typeName, platform::Error* error) override;
    std::optional<QByteArray> dataOfType(const QString& typeName, platform::Error* error) override;
    /// The CG server password is kept in the file: a new file holding one is rw-------.
    bool holdsSecrets() const override { return !m_CGServerPassword.isEmpty(); }
    void secretsWrittenToWorldReadableFile(const QString& path) override;

    /// The publishing and action pass, in list order, under the variables lock.
    void publishAndRunActions();
    /// A refresh delivered no feed: the variables that send a fallback then lose their value
    /// and their fields get the fallback.
    void publishFallbacksAfterFailure();

  private:
    void startRefresh();
    void refreshEnded(quint64 sequence, const std::shared_ptr<RefreshJob>& job, const QString& failure);
    void applyRefresh(quint64 sequence, const std::vector<VariableBinding>& bindings);
    void finishRefresh(quint64 sequence, bool processed);
    void inventoryEnded(quint64 sequence, const std::optional<QStringList>& elements);
    /// Whether a result of fetch `sequence` is taken by `take` (a refresh's or an inventory's);
    /// an older one than one already taken is logged and dropped.
    bool isNewest(quint64 sequence, bool (RefreshSchedule::*take)(quint64, quint64*));
    void log(qint64 level, const QString& text) const;
    /// Sets `member` to `value` and announces it with `changed`; false when it was so already.
    template <typename T, typename U>
    bool assign(T& member, const U& value, void (GraflinkDocument::*changed)()) {
        if (member == value)
            return false;
        member = value;
        Q_EMIT(this->*changed)();
        return true;
    }
    void CGProjectsChanged();

    Environment m_environment;
    std::unique_ptr<GraflinkVariableList> m_variables;
    std::unique_ptr<VariableEvaluator> m_evaluator;
    std::shared_ptr<DocumentRefreshPipeline> m_pipeline;
    /// The variables each refresh under way copied, by sequence (compared, never dereferenced,
    /// before the values are applied).
    std::map<quint64, QList<GraflinkVariable*>> m_refreshVariables;

    QStringList m_inventoriedElements;
    bool m_autoRefresh = false;
    bool m_publishToCG = false;
    std::optional<QString> m_sourceURLString = DefaultSourceURLString;
    std::optional<QString> m_javascriptFilterPath;
    platform::FeedAuthentication m_feedAuthentication;
    std::shared_ptr<platform::FeedCredentials> m_feedCredentials;
    double m_refreshFrequency = DefaultRefreshFrequency;
    QString m_CGServerIPAddress;
    QString m_CGServerPassword;
    quint64 m_CGServerPortNumber = 0;
    qint32 m_CGServerType = 0;
    bool m_isConnectedToCG = false;
    std::unique_ptr<FeedFreshness> m_freshness;
    DocumentCGLink* m_cg; // a child: it goes with the document
    std::unique_ptr<RefreshSchedule> m_schedule;
    bool m_changeOnlyPublishing = false;
    double m_fullPublishSeconds = DefaultFullPublishSeconds;
    QVariantMap m_otherKeys; // keys of a newer version, kept as they were read
    QString m_readFolder;    // the folder of the file last read (its path is set after reading)

    quint64 m_processedRefreshCount = 0;
    bool m_reading = false;
    bool m_refreshRequestedWhileReading = false;
    QString m_lastRefreshError;
    QString m_filterProblem;
};
