#include "export/NVSDataSourceExport.h"

#include "datasource/NVSCGDataSource.h"
#include "export/ElectionRace.h"
#include "export/PlaylistExportSettings.h"
#include "export/PlaylistExportSummary.h"
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

xmlNodePtr addText(xmlNodePtr parent, const char* name, const QString& text) {
    return platform::XmlDocument::addElement(parent, name, content(text));
}

xmlNodePtr addText(xmlNodePtr parent, const char* name, const QByteArray& content) {
    return platform::XmlDocument::addElement(parent, name, content);
}

void setAttribute(xmlNodePtr element, const char* name, const QString& value) {
    platform::XmlDocument::setAttribute(element, name, content(value));
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
    // Each item is printed as soon as it is made and freed: the whole playlist is never held in
    // memory, nor its text (tens of megabytes for an election night).
    platform::AtomicFileWriter file;
    if (!file.open(URL.toLocalFile(), error))
        return false;
    const std::unique_ptr<platform::XmlDocument> shell = playlistShell();
    platform::XmlPrettyStreamWriter writer(*shell, file);
    const ItemTexts texts(columns, settings);
    int rowNumber = 0;
    for (const NVSCGDataSourceNodePtr& row : rows)
        writer.writeChild(playlistItem(shell->rootElement(), *row, texts, settings, summary, ++rowNumber));
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
    return playlistItem(parent, node, ItemTexts(columns, settings), settings, summary, rowNumber);
}

xmlNodePtr NVSDataSourceExport::playlistItem(xmlNodePtr parent, const NVSCGDataSourceNode& node,
                                             const ItemTexts& texts, const PlaylistExportSettings& settings,
                                             PlaylistExportSummary* summary, int rowNumber) {
    const ElectionRace race = ElectionRace::fromSourceNode(node);
    if (summary)
        summary->add(race, rowNumber);
    const std::size_t N = race.candidateCount();

    xmlNodePtr item = platform::XmlDocument::addElement(parent, "playlistItem");
    addText(item, "uniqueID", race.raceNumber);
    xmlNodePtr media = addText(item, "mediaFilePath", texts.stillImagePath);
    platform::XmlDocument::setAttribute(media, "xml:space", texts.preserve);
    addText(item, "displayName", race.displayName);
    addText(item, "isOffline", texts.falseText);
    addText(item, "isStillImage", texts.trueText);
    if (N >= 1) {
        xmlNodePtr actions = platform::XmlDocument::addElement(item, "actions");
        actionElementWithAppleScriptName(actions, settings.raceStartActionName, 0.0, race.actionParameters(),
                                         true);
    }
    const QByteArray duration = content(platform::StringFormat::format(
        QStringLiteral("%0.3f"), race.durationInSeconds(settings.candidateDisplayDuration)));
    addText(item, "durationInSeconds", duration);
    addText(item, "fileDurationInSeconds", duration);

    xmlNodePtr projects = platform::XmlDocument::addElement(item, "itemCGProjects");
    std::size_t k = 0;
    for (const QByteArray& projectName : texts.projectNames) {
        ++k;
        xmlNodePtr project = platform::XmlDocument::addElement(projects, "itemCGProject");
        addText(project, "projectName", projectName);
        addText(project, "shouldRun", k == N ? texts.trueText : texts.falseText);
        if (k == N)
            addItemValues(project, node, texts);
    }
    return item;
}

void NVSDataSourceExport::addItemValues(xmlNodePtr project, const NVSCGDataSourceNode& node,
                                        const ItemTexts& texts) {
    xmlNodePtr values = platform::XmlDocument::addElement(project, "itemValues");
    for (const ItemTexts::Column& column : texts.columns) {
        xmlNodePtr value = platform::XmlDocument::addElement(values, "itemValue");
        addText(value, "itemName", column.title);
        if (!column.hasText && !column.winner)
            continue;
        const QString cell = node.stringValueForColum(*column.column);
        if (column.hasText)
            addText(value, "itemStringValue", cell);
        if (column.winner)
            addText(value, "itemHiddenValue",
                    cell.toLower() == QLatin1String("w") ? texts.falseText : texts.trueText);
    }
}

xmlNodePtr NVSDataSourceExport::actionElementWithAppleScriptName(xmlNodePtr parent, const QString& name,
                                                                 double position, const QString& parameters,
                                                                 bool fromStart) {
    xmlNodePtr action = platform::XmlDocument::addElement(parent, "action");
    setAttribute(action, "name", name);
    setAttribute(action, "time", platform::StringFormat::format(QStringLiteral("%.6f"), position));
    setAttribute(action, "positionType", fromStart ? QStringLiteral("fromStart") : QStringLiteral("fromEnd"));
    setAttribute(action, "parameter", parameters);
    setAttribute(action, "xml:space", QStringLiteral("preserve"));
    return action;
}
