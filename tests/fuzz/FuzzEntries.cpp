#include "FuzzEntries.h"

#include "app/FeedFetcher.h"
#include "app/FeedInventory.h"
#include "app/GraflinkDocument.h"
#include "appbase/NVSLogController.h"
#include "appbase/NVSLogControllerDelegate.h"
#include "feed/CsvFeed.h"
#include "feed/NVSCSVUtilities.h"
#include "platform/Json.h"
#include "platform/JsonFeed.h"
#include "platform/JsonKeyPath.h"
#include "platform/JsonPathQuery.h"
#include "platform/PropertyList.h"
#include "platform/StreamedKeyPaths.h"
#include "platform/UserDefaults.h"
#include "platform/ValueReadings.h"
#include "platform/XPathEvaluator.h"
#include "platform/XmlDocument.h"

#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>
#include <nlohmann/json.hpp>

using namespace Qt::StringLiterals;

namespace {

void checkCsvRows(const QString& text) {
    const QList<NVSCSVUtilities::Row> rows = NVSCSVUtilities::CSVRowsWithString(text);
    qsizetype characters = 0;
    for (const NVSCSVUtilities::Row& row : rows) {
        check(!row.isEmpty(), "a CSV row is never empty");
        for (const QString& field : row)
            characters += field.size();
    }
    // Every character of a field comes from the text; quotes and separators are consumed.
    check(characters <= text.size(), "CSV fields hold no more characters than the text");
    check(!text.isEmpty() || rows.isEmpty(), "an empty text gives no rows");
}

// Feeds have a few dozen paths; a cap keeps one input from taking seconds.
constexpr qsizetype MaximumPathsChecked = 64;

/// A document's services kept away from the user's files, with a log that writes nothing.
struct DocumentFuzzEnvironment {
    DocumentFuzzEnvironment()
        : defaults(folder.filePath(u"Graflink.conf"_s)),
          logger(NVSLogController::Configuration{&defaults, u"GraflinkFuzz"_s, nullptr, {}}),
          documentPath(folder.filePath(u"input.graflink"_s)),
          writtenPath(folder.filePath(u"written.graflink"_s)) {
        defaults.registerDefaults(
            {{NVSLogController::TechnicalLogLevelKey, -1},
             {NVSLogController::TechnicalLogFolderPathKey, folder.filePath(u"logs"_s)}});
        GraflinkDocument::registerDefaults(defaults);
        // With a delegate the logger sends its lines to the (silenced) file, not to stderr.
        logger.setLogDelegate(&silentDelegate);
    }

    GraflinkDocument::Environment documentEnvironment() {
        GraflinkDocument::Environment environment;
        environment.defaults = &defaults;
        environment.logger = &logger;
        return environment;
    }

    QTemporaryDir folder;
    NVSLogControllerDelegate silentDelegate;
    platform::UserDefaults defaults;
    NVSLogController logger;
    QString documentPath;
    QString writtenPath;
};

bool writeFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size();
}

/// Reading such a document would start a refresh of a reachable address: a fuzzer must not
/// touch the network.
bool wouldFetchOverTheNetwork(const QVariantMap& dictionary) {
    const QVariant address = dictionary.value(GraflinkDocument::SourceURLStringKey);
    const bool setsAddress = address.typeId() == QMetaType::QString;
    const bool publishes =
        dictionary.contains(GraflinkDocument::PublishToCGKey) &&
        platform::ValueReadings::boolReading(dictionary.value(GraflinkDocument::PublishToCGKey));
    if (!setsAddress && !publishes)
        return false;
    return FeedFetcher::isUsableAddress(setsAddress ? address.toString()
                                                    : GraflinkDocument::DefaultSourceURLString);
}

} // namespace

void FuzzEntries::csv(const QByteArray& bytes) {
    checkCsvRows(QString::fromUtf8(bytes));
    checkCsvRows(QString::fromUtf16(reinterpret_cast<const char16_t*>(bytes.constData()), bytes.size() / 2));
    // The same bytes as a feed: a tree, or a refusal with a reason; never a crash.
    for (const char16_t separator : {u',', u'\t'}) {
        platform::Error error;
        const std::unique_ptr<platform::XmlDocument> tree = CsvFeed::toXml(bytes, separator, &error);
        check(tree || !error.localizedDescription().isEmpty(), "a CSV feed refused says why");
    }
}

void FuzzEntries::jsonKeyPath(const QByteArray& bytes) {
    const qsizetype separator = bytes.indexOf('\0');
    const QByteArray text = separator < 0 ? bytes : bytes.left(separator);
    const std::optional<platform::JsonValue> value = platform::parseJson(text);
    QStringList paths;
    if (separator >= 0)
        paths = QString::fromUtf8(bytes.sliced(separator + 1)).split(QLatin1Char('\n'));
    if (value)
        paths += FeedInventory::ofJson(*value).mid(0, MaximumPathsChecked);
    paths.removeIf(
        [](const QString& path) { return path.isEmpty() || platform::JsonPathQuery::isQuery(path); });
    // A refresh's streamed pass answers only texts the full parse reads, each path as the tree does.
    const std::shared_ptr<const platform::StreamedKeyPaths> streamed =
        platform::StreamedKeyPaths::make(paths);
    const std::optional<platform::StreamedKeyPaths::Values> values =
        streamed ? streamed->values(text) : std::nullopt;
    check(!values || value, "the streamed pass answers only a text that parses");
    if (!value)
        return;
    for (qsizetype i = 0; i < paths.size(); ++i) {
        const platform::JsonValue* found = platform::JsonKeyPath::valueAt(*value, paths[i]);
        if (found)
            (void)platform::toJsonBytes(*found);
        if (values) {
            const std::optional<platform::JsonValue>& answer = (*values)[std::size_t(i)];
            check(answer ? found && answer->dump() == found->dump() : !found,
                  "the streamed pass gives a path the value the tree gives it");
        }
    }
}

void FuzzEntries::jsonPath(const QByteArray& bytes) {
    // A query, then (after a NUL) the document it runs on.
    const qsizetype separator = bytes.indexOf('\0');
    const QString text = QString::fromUtf8(separator < 0 ? bytes : bytes.left(separator));
    platform::JsonPathError error;
    const std::optional<platform::JsonPathQuery> query = platform::JsonPathQuery::parse(text, &error);
    if (!query) {
        check(!error.message.isEmpty(), "a refused query says why");
        check(error.offset <= std::size_t(text.size()), "a refused query's position lies within it");
        return;
    }
    if (separator < 0)
        return;
    const QByteArray json = bytes.sliced(separator + 1);
    if (const std::optional<platform::JsonValue> value = platform::parseJson(json))
        check(query->select(*value, 8).size() <= 8, "a selection keeps to its limit");
    if (const std::unique_ptr<platform::JsonFeed> feed = platform::JsonFeed::parse(json))
        check(feed->select(*query, 8).size() <= 8, "a selection on the compact parse keeps to its limit");
}

void FuzzEntries::xmlInventory(const QByteArray& bytes) {
    const std::unique_ptr<platform::XmlDocument> document = platform::XmlDocument::parse(bytes);
    if (!document)
        return;
    const QStringList paths = FeedInventory::ofXml(*document);
    platform::XPathEvaluator evaluator(*document);
    for (const QString& path : paths.mid(0, MaximumPathsChecked)) {
        const xmlNodePtr indexed = evaluator.firstNode(path);
        const std::optional<std::vector<xmlNodePtr>> selected = evaluator.nodes(path);
        const xmlNodePtr evaluated = selected && !selected->empty() ? selected->front() : nullptr;
        check(indexed == evaluated, "the child index and XPath select the same first node");
    }
}

void FuzzEntries::documentFile(const QByteArray& bytes) {
    static DocumentFuzzEnvironment* environment = new DocumentFuzzEnvironment;
    const std::optional<QVariant> plist = platform::PropertyList::read(bytes);
    if (!plist || plist->typeId() != QMetaType::QVariantMap || wouldFetchOverTheNetwork(plist->toMap()))
        return;
    if (!writeFile(environment->documentPath, bytes))
        return;
    {
        GraflinkDocument document(environment->documentEnvironment());
        check(document.readFromPath(environment->documentPath, GraflinkDocument::DocumentTypeName),
              "a dictionary property list reads as a document");
        platform::Error error;
        if (!wouldFetchOverTheNetwork(document.fileDictionary()) &&
            document.saveToPath(environment->writtenPath, GraflinkDocument::DocumentTypeName, &error)) {
            GraflinkDocument reread(environment->documentEnvironment());
            check(reread.readFromPath(environment->writtenPath, GraflinkDocument::DocumentTypeName),
                  "what the document writes, it reads");
            check(reread.variablesAsDictionaries().size() == document.variablesAsDictionaries().size(),
                  "the variables survive writing and reading");
        }
    }
    // Refreshes of unusable addresses end at once and post their result to the main thread.
    QCoreApplication::processEvents();
}
