#include "app/GraflinkDocument.h"

#include "app/DocumentCGLink.h"
#include "app/DocumentRefreshPipeline.h"
#include "app/FeedFreshness.h"
#include "app/GraflinkDocumentFeedAuth.h"
#include "app/GraflinkDocumentFileFormat.h"
#include "app/GraflinkVariable.h"
#include "app/GraflinkVariableList.h"
#include "app/NVSAppleScriptActionsController.h"
#include "app/RefreshSchedule.h"
#include "app/VariableEvaluator.h"
#include "appbase/NVSLogController.h"
#include "feed/FeedCredentials.h"
#include "platform/DispatchTimer.h"
#include "platform/HttpClient.h"
#include "platform/SecretStore.h"
#include "platform/SharedHttpClient.h"
#include "platform/StringFormat.h"
#include "platform/UserDefaults.h"
#include "platform/ValueReadings.h"

#include <QDir>
#include <QFileInfo>
#include <cmath>
#include <nlohmann/json.hpp>

using platform::ValueReadings;

namespace {

GraflinkDocument::Environment completed(GraflinkDocument::Environment environment) {
    if (!environment.defaults)
        environment.defaults = &platform::UserDefaults::standardUserDefaults();
    if (!environment.logger)
        environment.logger = &NVSLogController::sharedLogController();
    if (!environment.http)
        environment.http = platform::http::sharedClient();
    return environment;
}

} // namespace

void GraflinkDocument::registerDefaults(platform::UserDefaults& defaults) {
    defaults.registerDefaults({
        {CGServerTypeKey, 1},
        {CGServerPortNumberKey, 2001},
        {CGServerIPAddressKey, QStringLiteral("127.0.0.1")},
        {CGServerPasswordKey, QString()},
    });
}

GraflinkDocument::GraflinkDocument(Environment environment, QObject* parent)
    : platform::Document(parent), m_environment(completed(std::move(environment))),
      m_variables(std::make_unique<GraflinkVariableList>()),
      m_evaluator(std::make_unique<VariableEvaluator>()),
      m_pipeline(std::make_shared<DocumentRefreshPipeline>(m_environment.http, *m_environment.logger)),
      m_freshness(std::make_unique<FeedFreshness>()), m_cg(new DocumentCGLink(this)),
      m_schedule(std::make_unique<RefreshSchedule>()) {
    connect(m_cg, &DocumentCGLink::projectsChanged, this, &GraflinkDocument::CGProjectsChanged);
    connect(m_cg, &DocumentCGLink::connectedChanged, this,
            [this](bool connected) { setIsConnectedToCG(connected); });
    // Shown: the operator hears of it at once (a desktop notification), once per turn.
    connect(m_freshness.get(), &FeedFreshness::staleChanged, this, [this](bool stale, qint64 seconds) {
        m_environment.logger->logMessage(FeedFreshness::announcement(stale, seconds, displayName()), 0, true);
    });
    // Server settings are read once, when the document is made.
    platform::UserDefaults& defaults = *m_environment.defaults;
    m_CGServerIPAddress = defaults.stringForKey(CGServerIPAddressKey).value_or(QString());
    m_CGServerPassword = defaults.stringForKey(CGServerPasswordKey).value_or(QString());
    m_CGServerPortNumber = static_cast<quint64>(defaults.integerForKey(CGServerPortNumberKey));
    m_CGServerType = static_cast<qint32>(defaults.integerForKey(CGServerTypeKey));
}

GraflinkDocument::~GraflinkDocument() {
    m_cg->release();
    // Fetches still running complete into nothing: their results find no document.
    m_schedule.reset();
}

// MARK: - CG server

void GraflinkDocument::applyCGServerSettings() {
    CGServerHTTPControllerOptions options = m_environment.cgClientOptions;
    if (!options.logger)
        options.logger = m_environment.logger;
    // Without a client nothing is connected: a status left at "connected" would mislead.
    m_cg->connectTo(m_CGServerIPAddress, m_CGServerPortNumber, m_CGServerType, m_CGServerPassword, options);
}

void GraflinkDocument::CGProjectsChanged() {
    Q_EMIT availableCGProjectsAboutToChange();
    {
        std::lock_guard lock(m_variables->lock());
        // Setting the same name again refreshes each variable's list of fields.
        for (GraflinkVariable* variable : m_variables->variables())
            variable->setCGProjectName(variable->CGProjectName());
    }
    Q_EMIT availableCGProjectsChanged();
}

void GraflinkDocument::clearCG() {
    if (!m_cg->client())
        return;
    std::lock_guard lock(m_variables->lock());
    // Clearing always sends every field, whatever the server accepted before.
    m_cg->publishAll(DocumentCGLink::blankPassOf(m_variables->variables()));
}

void GraflinkDocument::clearCGAndGoOffAir() {
    setPublishToCG(false);
    clearCG();
}

// MARK: - Properties

void GraflinkDocument::setAutoRefresh(bool autoRefresh) {
    if (!assign(m_autoRefresh, autoRefresh, &GraflinkDocument::autoRefreshChanged))
        return;
    if (autoRefresh)
        startRefreshTimer();
    else
        stopRefreshTimer();
}

void GraflinkDocument::setPublishToCG(bool publishToCG) {
    // Switching publishing on sends the current values without waiting for the timer.
    if (assign(m_publishToCG, publishToCG, &GraflinkDocument::publishToCGChanged) && publishToCG)
        refresh();
}

void GraflinkDocument::setSourceURLString(const std::optional<QString>& address) {
    const bool changed = m_sourceURLString != address;
    m_sourceURLString = address;
    if (changed) {
        // What the old address still sends belongs to another feed.
        m_schedule->abandonRefreshes();
        Q_EMIT sourceURLStringChanged();
    }
    refresh();
}

void GraflinkDocument::setJavascriptFilterPath(const std::optional<QString>& path) {
    assign(m_javascriptFilterPath, path, &GraflinkDocument::javascriptFilterPathChanged);
}

std::shared_ptr<platform::SecretStore> GraflinkDocument::secretStore() const {
    return m_environment.secrets ? m_environment.secrets : platform::SecretStore::shared();
}

void GraflinkDocument::setFeedAuthentication(const platform::FeedAuthentication& settings) {
    const platform::FeedAuthentication normalized = settings.replacing(m_feedAuthentication);
    if (normalized == m_feedAuthentication)
        return;
    m_feedAuthentication = normalized;
    m_feedCredentials.reset();
    if (normalized.isEnabled()) {
        NVSLogController* logger = m_environment.logger;
        m_feedCredentials = std::make_shared<platform::FeedCredentials>(
            normalized, m_environment.secrets,
            [logger](const QString& line) { logger->logMessage(line, 1, false); });
    }
    Q_EMIT feedAuthenticationChanged();
}

void GraflinkDocument::setRefreshFrequency(double seconds) {
    if (m_refreshFrequency == seconds || (std::isnan(m_refreshFrequency) && std::isnan(seconds)))
        return;
    m_refreshFrequency = seconds;
    Q_EMIT refreshFrequencyChanged();
    if (m_autoRefresh) {
        stopRefreshTimer();
        startRefreshTimer();
    }
}

void GraflinkDocument::setCGServerIPAddress(const QString& address) {
    assign(m_CGServerIPAddress, address, &GraflinkDocument::CGServerIPAddressChanged);
}

void GraflinkDocument::setCGServerPassword(const QString& password) {
    assign(m_CGServerPassword, password, &GraflinkDocument::CGServerPasswordChanged);
}

void GraflinkDocument::setCGServerPortNumber(quint64 port) {
    assign(m_CGServerPortNumber, port, &GraflinkDocument::CGServerPortNumberChanged);
}

void GraflinkDocument::setCGServerType(qint32 type) {
    assign(m_CGServerType, type, &GraflinkDocument::CGServerTypeChanged);
}

double GraflinkDocument::staleAfterSeconds() const {
    return m_freshness->staleAfterSeconds();
}

void GraflinkDocument::setStaleAfterSeconds(double seconds) {
    const double before = m_freshness->staleAfterSeconds();
    m_freshness->setStaleAfterSeconds(seconds);
    if (m_freshness->staleAfterSeconds() != before)
        Q_EMIT staleAfterSecondsChanged();
}

void GraflinkDocument::setChangeOnlyPublishing(bool changeOnly) {
    if (assign(m_changeOnlyPublishing, changeOnly, &GraflinkDocument::changeOnlyPublishingChanged))
        m_cg->restartFullPasses();
}

void GraflinkDocument::setFullPublishSeconds(double seconds) {
    // Not a number, zero or negative: the default period.
    if (!std::isfinite(seconds) || seconds <= 0)
        seconds = DefaultFullPublishSeconds;
    assign(m_fullPublishSeconds, seconds, &GraflinkDocument::fullPublishSecondsChanged);
}

void GraflinkDocument::setIsConnectedToCG(bool connected) {
    if (assign(m_isConnectedToCG, connected, &GraflinkDocument::isConnectedToCGChanged))
        Q_EMIT connectionStatusImageChanged();
}

QString GraflinkDocument::connectionStatusImage() const {
    return m_isConnectedToCG ? QStringLiteral("NSStatusAvailable") : QStringLiteral("NSStatusNone");
}

// MARK: - Variables

QList<QVariantMap> GraflinkDocument::variablesAsDictionaries() const {
    std::lock_guard lock(m_variables->lock());
    QList<QVariantMap> dictionaries;
    for (const GraflinkVariable* variable : m_variables->variables())
        dictionaries.append(variable->dictionaryRepresentation());
    return dictionaries;
}

void GraflinkDocument::loadVariablesFromDictionaries(const QList<QVariantMap>& dictionaries) {
    if (dictionaries.isEmpty())
        return;
    std::lock_guard lock(m_variables->lock());
    std::vector<std::unique_ptr<GraflinkVariable>> loaded;
    for (const QVariantMap& dictionary : dictionaries) {
        auto variable = std::make_unique<GraflinkVariable>(dictionary);
        variable->setDocument(this);
        loaded.push_back(std::move(variable));
    }
    m_variables->replaceAll(std::move(loaded));
}

// MARK: - File

bool GraflinkDocument::readFromFile(const QString& path, const QString& /*typeName*/,
                                    platform::Error* error) {
    const std::optional<QVariantMap> dictionary = GraflinkDocumentFileFormat::read(path, error);
    if (!dictionary)
        return false;
    m_readFolder = QFileInfo(path).absolutePath();
    m_reading = true;
    m_refreshRequestedWhileReading = false;
    m_otherKeys = GraflinkDocumentFileFormat::apply(*this, *dictionary);
    m_reading = false;
    if (m_refreshRequestedWhileReading)
        refresh();
    return true;
}

std::optional<QByteArray> GraflinkDocument::dataOfType(const QString& /*typeName*/, platform::Error* error) {
    return GraflinkDocumentFileFormat::write(fileDictionary(), error);
}

QVariantMap GraflinkDocument::fileDictionary() const {
    return GraflinkDocumentFileFormat::dictionary(*this, m_otherKeys);
}

void GraflinkDocument::secretsWrittenToWorldReadableFile(const QString& path) {
    log(1, QStringLiteral("%1 holds the CG server password and every account on this machine may read it; "
                          "limit it with chmod 600 (or to a group) unless that is intended.")
               .arg(path));
}

void GraflinkDocument::log(qint64 level, const QString& text) const {
    m_environment.logger->logMessage(text, level, false);
}
