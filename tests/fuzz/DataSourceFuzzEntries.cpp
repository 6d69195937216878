#include "FuzzEntries.h"
#include "datasource/NVSCGDataSource.h"
#include "datasource/NVSCGDataSourceColumn.h"
#include "datasource/NVSCGDataSourceNode.h"
#include "datasource/NVSCGDataSourceTokenizer.h"
#include "platform/Json.h"
#include "platform/MainQueue.h"
#include "platform/XPathEvaluator.h"
#include "platform/XmlDocument.h"

#include <QCoreApplication>
#include <cmath>
#include <nlohmann/json.hpp>

using namespace Qt::StringLiterals;

namespace {

// A feed has a few dozen columns and the cells of a few screens are looked at; caps keep one
// input from taking seconds.
constexpr std::size_t MaximumColumns = 16;
constexpr std::size_t MaximumRowsComputed = 64;

/// Runs what the data source posted to the main queue (the hand-over of trees and rows).
void drainMainQueue() {
    bool drained = false;
    platform::MainQueue::dispatchAsync([&drained] { drained = true; });
    while (!drained)
        QCoreApplication::processEvents();
}

bool sameSettings(const NVSCGDataSource& a, const NVSCGDataSource& b) {
    const auto columnsA = a.columns(), columnsB = b.columns();
    if (columnsA.size() != columnsB.size())
        return false;
    for (std::size_t i = 0; i < columnsA.size(); ++i) {
        const NVSCGDataSourceColumn &x = *columnsA[i], &y = *columnsB[i];
        if (x.title() != y.title() || x.identifier() != y.identifier() || x.uniqueID() != y.uniqueID() ||
            x.format() != y.format() || x.type() != y.type())
            return false;
    }
    // The frequency is written with six decimals.
    return a.dataSourceURL() == b.dataSourceURL() && a.XPath() == b.XPath() &&
           a.exportPath() == b.exportPath() && a.autoUpdate() == b.autoUpdate() &&
           std::abs(a.autoUpdateFrequency() - b.autoUpdateFrequency()) < 1e-6;
}

bool apply(NVSCGDataSource& dataSource, const QByteArray& bytes) {
    const std::unique_ptr<platform::XmlDocument> document = platform::XmlDocument::parse(bytes);
    if (!document || !document->rootElement())
        return false;
    const bool applied = dataSource.updateWithXMLElement(document->rootElement());
    // A file may switch the refresh timer on; no refresh may start here.
    dataSource.setAutoUpdate(false);
    return applied;
}

/// Every element's path as the tree computes it must be libxml2's own.
void checkPaths(const NVSCGDataSourceNode& node) {
    if (xmlNodePtr element = node.xmlElement())
        check(node.XPath() == platform::XPathEvaluator::locationPath(element), "element paths are libxml2's");
    for (const NVSCGDataSourceNodePtr& child : node.children())
        checkPaths(*child);
}

std::vector<NVSCGDataSourceColumnPtr> columnsFromSettings(const QStringList& lines) {
    std::vector<NVSCGDataSourceColumnPtr> columns;
    for (const QString& line : lines) {
        if (columns.size() == MaximumColumns)
            break;
        auto column = std::make_shared<NVSCGDataSourceColumn>(u"t%1"_s.arg(columns.size()), QString());
        column->setUniqueID(u"c%1"_s.arg(columns.size()));
        if (line.startsWith(QLatin1Char('=')))
            column->setFormat(line.mid(1));
        else
            column->setIdentifier(line);
        columns.push_back(std::move(column));
    }
    return columns;
}

/// The columns an editor makes from the first row: the wildcard paths below it, then a format
/// column over the first two and one that names itself.
std::vector<NVSCGDataSourceColumnPtr> columnsFromFirstRow(NVSCGDataSource& dataSource) {
    const NVSCGDataSourceNodePtr row = dataSource.contentNodeAtIndex(0);
    QStringList lines;
    if (row) {
        row->forEachDescendant([&](const NVSCGDataSourceNode& node) {
            const QString path = const_cast<NVSCGDataSourceNode&>(node).wildcardXPathFromDataSourceXPath();
            if (lines.size() < qsizetype(MaximumColumns) - 2 && !lines.contains(path))
                lines.append(path);
        });
    }
    lines.append(u"="_s + NVSCGDataSourceTokenizer::tokenCode(u"c0"_s) + u" / "_s +
                 NVSCGDataSourceTokenizer::tokenCode(u"c1"_s));
    lines.append(u"=<#c%1!>!"_s.arg(lines.size()));
    return columnsFromSettings(lines);
}

} // namespace

void DataSourceFuzzEntries::dataSourceFile(const QByteArray& bytes) {
    NVSCGDataSource first;
    if (!apply(first, bytes))
        return;
    const std::optional<QByteArray> written = first.dataOfType(NVSCGDataSourceDocumentType, nullptr);
    check(written.has_value(), "a data source writes its file");
    NVSCGDataSource second;
    check(apply(second, *written), "what a data source writes, it reads");
    check(sameSettings(first, second), "settings and columns survive writing and reading");
}

void DataSourceFuzzEntries::dataSourceFeed(const QByteArray& bytes) {
    const qsizetype separator = bytes.indexOf('\0');
    const QByteArray feed = separator < 0 ? bytes : bytes.left(separator);
    QStringList settings;
    if (separator >= 0)
        settings = QString::fromUtf8(bytes.sliced(separator + 1)).split(QLatin1Char('\n'));

    NVSCGDataSource dataSource;
    const bool isXML = feed.trimmed().startsWith('<');
    if (isXML) {
        std::shared_ptr<platform::XmlDocument> document = platform::XmlDocument::parse(feed);
        if (!document)
            return;
        dataSource.processXMLDocument(std::move(document));
        drainMainQueue();
        const std::vector<NVSCGDataSourceNodePtr> roots = dataSource.fileContentNodes();
        for (const NVSCGDataSourceNodePtr& root : roots)
            checkPaths(*root);
        // XPaths() lists the repeated elements' wildcard forms first.
        const QStringList paths = dataSource.XPaths();
        dataSource.setXPath(!settings.isEmpty() ? settings.first() : paths.value(0));
    } else {
        const std::optional<platform::JsonValue> value = platform::parseJson(feed);
        if (!value)
            return;
        if (!settings.isEmpty())
            dataSource.setXPath(settings.first());
        dataSource.processJSONObject(*value);
        drainMainQueue();
    }

    dataSource.setColumns(settings.size() > 1 ? columnsFromSettings(settings.mid(1))
                                              : columnsFromFirstRow(dataSource));
    dataSource.setActiveRows({0, 2});
    const std::vector<NVSCGDataSourceNodePtr> rows = dataSource.contentNodes();
    const std::vector<NVSCGDataSourceColumnPtr> columns = dataSource.columns();
    for (std::size_t i = 0; i < rows.size() && i < MaximumRowsComputed; ++i) {
        check(rows[i]->rowIndex() == i, "a row's index is its place in the list");
        for (const NVSCGDataSourceColumnPtr& column : columns) {
            (void)rows[i]->stringValueForColum(*column);
            (void)rows[i]->stringValueForColum(*column, true);
        }
    }
    // Removing a column updates the selection of every node of the feed.
    if (!columns.empty())
        dataSource.removeColumnsAtIndexes({0});
    (void)dataSource.XPaths();
    dataSource.close();
}
