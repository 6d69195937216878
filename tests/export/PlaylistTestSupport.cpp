#include "PlaylistTestSupport.h"

#include "../datasource/DataSourceTestSupport.h"
#include "datasource/NVSCGDataSource.h"
#include "export/NVSDataSourceExport.h"
#include "platform/UserDefaults.h"
#include "platform/XmlDocument.h"
#include "testkit/LoopbackHttpServer.h"

#include <QUrl>

namespace playlist_test {

namespace {

xmlNodePtr addRaw(xmlNodePtr parent, const char* name, const QString& text = QString()) {
    return platform::XmlDocument::addElement(parent, name, text.toUtf8());
}

// Texts are taken as they are (control characters included: libxml2 stores what a tree builder
// gives it, so rows can carry what no parser would accept).
std::shared_ptr<platform::XmlDocument> electionDocument(const std::vector<Race>& races) {
    std::shared_ptr<platform::XmlDocument> document = platform::XmlDocument::create(u"Election"_s);
    for (const Race& race : races) {
        xmlNodePtr element = addRaw(document->rootElement(), "Race");
        addRaw(element, "RaceNumber", race.number);
        addRaw(element, "Name1", race.name1);
        addRaw(element, "PrecinctsPercentage", race.precincts);
        for (const std::optional<Candidate>& candidate : race.candidates) {
            xmlNodePtr c = addRaw(element, "Candidate");
            if (!candidate)
                continue;
            addRaw(c, "Name", candidate->name);
            addRaw(c, "FirstName", candidate->firstName);
            addRaw(c, "LastName", candidate->lastName);
            addRaw(c, "Votes", candidate->votes);
            addRaw(c, "PercentageOfVotesCast", candidate->percentage);
            addRaw(c, "Winner", candidate->winner);
        }
    }
    return document;
}

} // namespace

Race raceWithCandidates(int number, int count) {
    Race race{QString::number(number), u"Race %1"_s.arg(number), u"%1%"_s.arg(number), {}};
    for (int i = 1; i <= count; ++i) {
        const QString n = QString::number(i);
        race.candidates.push_back(
            Candidate{u"N"_s + n, u"f"_s + n, u"l"_s + n, QString::number(100 * i), n + u".5"_s, QString()});
    }
    return race;
}

QByteArray electionFeed(const std::vector<Race>& races) {
    return electionDocument(races)->toPrettyBytes();
}

ElectionFixture::ElectionFixture()
    : server(std::make_unique<testing_support::LoopbackHttpServer>()),
      defaults(std::make_unique<platform::UserDefaults>(dir.filePath(u"defaults.conf"_s))),
      dataSource(std::make_unique<NVSCGDataSource>()) {
    NVSDataSourceExport::registerDefaults(*defaults);
    dataSource->setDataSourceURL(server->url(u"/results.xml"_s));
    dataSource->setXPath(u"/Election/Race[*]"_s);
}

ElectionFixture::~ElectionFixture() {
    dataSource->close();
}

bool ElectionFixture::load(const std::vector<Race>& races) {
    server->serve("/results.xml",
                  testing_support::LoopbackHttpServer::Reply::text(electionFeed(races), "application/xml"));
    dataSource->refreshContent();
    return datasource_test::waitForRefresh(*dataSource);
}

void ElectionFixture::adopt(const std::vector<Race>& races) {
    dataSource->processXMLDocument(electionDocument(races));
    datasource_test::drainMainQueue();
    datasource_test::drainMainQueue();
}

void ElectionFixture::addColumn(const QString& title, const QString& identifier, uint type) {
    dataSource->addColumnWithTitle(title, identifier);
    dataSource->columns().back()->setType(type);
}

QString ElectionFixture::exportPlaylist(const QString& name, bool* ok) {
    const QString path = dir.filePath(name);
    platform::Error error;
    const bool success =
        NVSDataSourceExport::exportDataSource(*dataSource, QUrl::fromLocalFile(path), *defaults, &error);
    if (ok)
        *ok = success;
    return path;
}

ParsedPlaylist::ParsedPlaylist(const QString& path) : m_bytes(testing_support::readFile(path)) {
    m_document = platform::XmlDocument::parse(m_bytes, nullptr, platform::XmlDocument::BlankNodes::Remove);
}

ParsedPlaylist::~ParsedPlaylist() = default;

xmlNodePtr ParsedPlaylist::root() const {
    return m_document ? m_document->rootElement() : nullptr;
}

QStringList ParsedPlaylist::items() const {
    QStringList result;
    for (xmlNodePtr node = root() ? root()->children : nullptr; node; node = node->next) {
        if (node->type == XML_ELEMENT_NODE)
            result << outline(node);
    }
    return result;
}

QString ParsedPlaylist::outline(xmlNodePtr element) {
    const auto text = [](const xmlChar* chars) {
        return QString::fromUtf8(reinterpret_cast<const char*>(chars));
    };
    QStringList attributes, children;
    for (xmlNsPtr ns = element->nsDef; ns; ns = ns->next)
        attributes << u"xmlns:"_s + text(ns->prefix) + u'=' + text(ns->href);
    for (xmlAttrPtr attribute = element->properties; attribute; attribute = attribute->next) {
        xmlChar* value = xmlNodeGetContent(reinterpret_cast<xmlNodePtr>(attribute));
        attributes << (attribute->ns && attribute->ns->prefix ? text(attribute->ns->prefix) + u':'
                                                              : QString()) +
                          text(attribute->name) + u'=' + text(value);
        xmlFree(value);
    }
    for (xmlNodePtr node = element->children; node; node = node->next) {
        if (node->type == XML_ELEMENT_NODE)
            children << outline(node);
    }
    QString result = text(element->name);
    if (!attributes.isEmpty())
        result += u'[' + attributes.join(u", "_s) + u']';
    if (!children.isEmpty())
        return result + u'{' + children.join(u"; "_s) + u'}';
    xmlChar* content = xmlNodeGetContent(element);
    const QString value = text(content);
    xmlFree(content);
    return value.isEmpty() ? result : result + u'=' + value;
}

} // namespace playlist_test
