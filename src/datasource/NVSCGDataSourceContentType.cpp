#include "datasource/NVSCGDataSourceContentType.h"

#include <QFile>
#include <QFileInfo>

NVSCGDataSourceContentType::Kind NVSCGDataSourceContentType::ofExtension(const QString& suffix) {
    static const QStringList xml{QStringLiteral("xml"),   QStringLiteral("rss"),  QStringLiteral("atom"),
                                 QStringLiteral("xhtml"), QStringLiteral("xsl"),  QStringLiteral("xslt"),
                                 QStringLiteral("xsd"),   QStringLiteral("svg"),  QStringLiteral("kml"),
                                 QStringLiteral("gpx"),   QStringLiteral("opml"), QStringLiteral("rdf")};
    static const QStringList json{QStringLiteral("json"), QStringLiteral("geojson"),
                                  QStringLiteral("jsonld")};
    const QString lower = suffix.toLower();
    if (xml.contains(lower))
        return XML;
    if (json.contains(lower))
        return JSON;
    return Unknown;
}

NVSCGDataSourceContentType::Kind NVSCGDataSourceContentType::ofContent(const QByteArray& head) {
    qsizetype i = head.startsWith("\xEF\xBB\xBF") ? 3 : 0;
    while (i < head.size() && (head[i] == ' ' || head[i] == '\t' || head[i] == '\r' || head[i] == '\n'))
        ++i;
    if (i >= head.size())
        return Unknown;
    if (head[i] == '<')
        return XML;
    if (head[i] == '{' || head[i] == '[')
        return JSON;
    return Unknown;
}

NVSCGDataSourceContentType::Kind NVSCGDataSourceContentType::ofFile(const QString& path) {
    const QFileInfo info(path);
    if (!info.isFile() || !info.isReadable())
        return Unknown;
    if (const Kind byName = ofExtension(info.suffix()); byName != Unknown)
        return byName;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return Unknown;
    return ofContent(file.read(4096));
}
