#include "export/NVSDataSourceExport.h"

#include "datasource/NVSCGDataSource.h"
#include "export/ElectionRace.h"
#include "export/PlaylistExportSettings.h"
#include "export/PlaylistExportSummary.h"
#include "export/PlaylistItemNodes.h"
#include "export/PlaylistItemText.h"
#include "export/XmlCharacterFilter.h"
#include "platform/AtomicFileWriter.h"
#include "platform/RedactedText.h"
#include "platform/StringFormat.h"
#include "platform/UserDefaults.h"
#include "platform/XmlDocument.h"
#include "platform/XmlPrettyStreamWriter.h"

#include <QStringList>
#include <mutex>

namespace {

const QString True = QStringLiteral("true");
const QString False = QStringLiteral("false");

// The one road by which feed and settings text reaches the document, so no value can carry a
// character that XML 1.0 cannot hold.
QByteArray content(const QString& text) {
    return platform::XmlDocument::content(XmlCharacterFilter::cleaned(text));
}

const xmlChar* xmlText(const QByteArray& utf8) {
    return reinterpret_cast<const xmlChar*>(utf8.constData());
}

} // namespace

/// What every item of one export shares, made ready for the document once instead of for each
/// item: the settings' texts and each column's title, kind and role.
struct NVSDataSourceExport::ItemTexts {
    struct Column {
        const NVSCGDataSourceColumn* column;
        QByteArray title;
        bool hasText; // a text or image column: its cell is written
        bool winner;  // its cell says whether the candidate is hidden
    };

    ItemTexts(const std::vector<NVSCGDataSourceColumnPtr>& sourceColumns,
              const PlaylistExportSettings& settings)
        : trueText(content(True)), falseText(content(False)), preserve(content(QStringLiteral("preserve"))),
          stillImagePath(content(settings.stillImagePath)) {
        for (const QString& name : settings.CGProjectsNames)
            projectNames.push_back(content(name));
        for (const NVSCGDataSourceColumnPtr& column : sourceColumns) {
            const uint type = column->type();
            columns.push_back({column.get(), content(column->title()),
                               type == NVSCGDataSourceColumn::Text || type == NVSCGDataSourceColumn::Image,
                               column->identifier().contains(QLatin1String("/Winner"))});
        }
    }

    QByteArray trueText;
    QByteArray falseText;
    QByteArray preserve;
    QByteArray stillImagePath;
    std::vector<QByteArray> projectNames;
    std::vector<Column> columns;
};

QVariantMap NVSDataSourceExport::registeredDefaults() {
    return {
        {StillImagePathKey, QString()},
        {CGProjectsNamesKey,
         QStringList{QStringLiteral("Race_1_candidate"), QStringLiteral("Race_2_candidates"),
                     QStringLiteral("Race_3_candidates"), QStringLiteral("Race_4_candidates"),
                     QStringLiteral("Race_5_candidates"), QStringLiteral("Race_6_candidates")}},
        {RaceStartActionNameKey, QStringLiteral("03_Race_Start")},
        {CandidateDisplayDurationKey, 7.0},
        {LeftCandidateActionNameKey, QStringLiteral("01_CandidateLeft_Start")},
        {RightCandidateActionNameKey, QStringLiteral("02_CandidateRight_Start")},
        {RaceStopActionNameKey, QStringLiteral("03_Race_Stop")},
    };
}

void NVSDataSourceExport::registerDefaults(platform::UserDefaults& defaults) {
    defaults.registerDefaults(registeredDefaults());
}

void NVSDataSourceExport::initialize() {
    static std::once_flag once;
    std::call_once(once, [] { registerDefaults(platform::UserDefaults::standardUserDefaults()); });
}

bool NVSDataSourceExport::exportDataSource(const NVSCGDataSource& dataSource, const QUrl& URL,
                                           platform::Error* error) {
    initialize();
    return exportDataSource(dataSource, URL, platform::UserDefaults::standardUserDefaults(), error);
}

bool NVSDataSourceExport::exportDataSource(const NVSCGDataSource& dataSource, const QUrl& URL,
                                           const platform::UserDefaults& defaults, platform::Error* error,
                                           PlaylistExportSummary* summary) {
    if (!URL.isLocalFile()) {
        platform::setError(error,
                           platform::Error::make(platform::Error::FileDomain, 0,
                                                 QStringLiteral("A playlist can only be written to a local "
                                                                "file, not to “%1”.")
                                                     .arg(platform::RedactedText::fromUrl(URL))));
        return false;
    }
    // The snapshot: a refresh that swaps the rows meanwhile cannot mix two feeds in one file.
    const std::vector<NVSCGDataSourceNodePtr> rows = dataSource.contentNodes();
    const std::vector<NVSCGDataSourceColumnPtr> columns = dataSource.columns();
    const PlaylistExportSettings settings = PlaylistExportSettings::fromUserDefaults(defaults);
    // Each item is written as text as soon as it is made: the whole playlist is never held in
    // memory, nor its text (tens of megabytes for an election night).
    platform::AtomicFileWriter file;
    if (!file.open(URL.toLocalFile(), error))
        return false;
    const std::unique_ptr<platform::XmlDocument> shell = playlistShell();
    platform::XmlPrettyStreamWriter writer(*shell, file);
    const ItemTexts texts(columns, settings);
    std::string item;
    int rowNumber = 0;
    for (const NVSCGDataSourceNodePtr& row : rows) {
        item.clear();
        PlaylistItemText sink(item);
        writeItem(sink, *row, texts, settings, summary, ++rowNumber);
        writer.writeText(item.data(), qsizetype(item.size()));
    }
    writer.finish();
    return file.commit(error);
}

std::unique_ptr<platform::XmlDocument> NVSDataSourceExport::playlistShell() {
    std::unique_ptr<platform::XmlDocument> document =
        platform::XmlDocument::create(QStringLiteral("playlistDocument"));
    xmlNodePtr root = document->rootElement();
    // A real namespace declaration, so the attribute is "xsi:noNamespaceSchemaLocation" to any reader.
    xmlNsPtr xsi =
        xmlNewNs(root, xmlText(SchemaInstanceNamespace.toUtf8()), xmlText(QByteArrayLiteral("xsi")));
    xmlNewNsProp(root, xsi, xmlText(QByteArrayLiteral("noNamespaceSchemaLocation")),
                 xmlText(SchemaLocation.toUtf8()));
    return document;
}

xmlNodePtr NVSDataSourceExport::playlistItemXMLElementFromSourceNode(
    xmlNodePtr parent, const NVSCGDataSourceNode& node, const std::vector<NVSCGDataSourceColumnPtr>& columns,
    const PlaylistExportSettings& settings, PlaylistExportSummary* summary, int rowNumber) {
    PlaylistItemNodes sink(parent);
    writeItem(sink, node, ItemTexts(columns, settings), settings, summary, rowNumber);
    return sink.first();
}

void NVSDataSourceExport::writeItem(PlaylistItemSink& sink, const NVSCGDataSourceNode& node,
                                    const ItemTexts& texts, const PlaylistExportSettings& settings,
                                    PlaylistExportSummary* summary, int rowNumber) {
    const ElectionRace race = ElectionRace::fromSourceNode(node);
    if (summary)
        summary->add(race, rowNumber);
    const std::size_t N = race.candidateCount();

    sink.open("playlistItem");
    sink.leaf("uniqueID", content(race.raceNumber));
    sink.leaf("mediaFilePath", texts.stillImagePath, {{"xml:space", texts.preserve}});
    sink.leaf("displayName", content(race.displayName));
    sink.leaf("isOffline", texts.falseText);
    sink.leaf("isStillImage", texts.trueText);
    if (N >= 1) {
        sink.open("actions");
        writeAction(sink, settings.raceStartActionName, 0.0, race.actionParameters(), true);
        sink.close();
    }
    const QByteArray duration = content(platform::StringFormat::format(
        QStringLiteral("%0.3f"), race.durationInSeconds(settings.candidateDisplayDuration)));
    sink.leaf("durationInSeconds", duration);
    sink.leaf("fileDurationInSeconds", duration);

    sink.open("itemCGProjects");
    std::size_t k = 0;
    for (const QByteArray& projectName : texts.projectNames) {
        ++k;
        sink.open("itemCGProject");
        sink.leaf("projectName", projectName);
        sink.leaf("shouldRun", k == N ? texts.trueText : texts.falseText);
        if (k == N)
            writeItemValues(sink, node, texts);
        sink.close();
    }
    sink.close();
    sink.close();
}

void NVSDataSourceExport::writeItemValues(PlaylistItemSink& sink, const NVSCGDataSourceNode& node,
                                          const ItemTexts& texts) {
    sink.open("itemValues");
    for (const ItemTexts::Column& column : texts.columns) {
        sink.open("itemValue");
        sink.leaf("itemName", column.title);
        if (column.hasText || column.winner) {
            const QString cell = node.stringValueForColum(*column.column);
            if (column.hasText)
                sink.leaf("itemStringValue", content(cell));
            if (column.winner)
                sink.leaf("itemHiddenValue",
                          cell.toLower() == QLatin1String("w") ? texts.falseText : texts.trueText);
        }
        sink.close();
    }
    sink.close();
}

xmlNodePtr NVSDataSourceExport::actionElementWithAppleScriptName(xmlNodePtr parent, const QString& name,
                                                                 double position, const QString& parameters,
                                                                 bool fromStart) {
    PlaylistItemNodes sink(parent);
    writeAction(sink, name, position, parameters, fromStart);
    return sink.first();
}

void NVSDataSourceExport::writeAction(PlaylistItemSink& sink, const QString& name, double position,
                                      const QString& parameters, bool fromStart) {
    sink.leaf("action", QByteArray(),
              {{"name", content(name)},
               {"time", content(platform::StringFormat::format(QStringLiteral("%.6f"), position))},
               {"positionType", content(fromStart ? QStringLiteral("fromStart") : QStringLiteral("fromEnd"))},
               {"parameter", content(parameters)},
               {"xml:space", content(QStringLiteral("preserve"))}});
}
