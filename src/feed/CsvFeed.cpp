#include "feed/CsvFeed.h"

#include "feed/NVSCSVUtilities.h"
#include "platform/XmlDocument.h"

#include <QFileInfo>
#include <QSet>
#include <QStringConverter>
#include <QUtf8StringView>
#include <algorithm>
#include <libxml/tree.h>

namespace {

constexpr char16_t Comma = u',';
constexpr char16_t Tab = u'\t';

std::optional<char16_t> separatorForSuffix(const QString& suffix) {
    if (suffix.compare(QLatin1String("csv"), Qt::CaseInsensitive) == 0)
        return Comma;
    if (suffix.compare(QLatin1String("tsv"), Qt::CaseInsensitive) == 0)
        return Tab;
    return std::nullopt;
}

bool mayStandInName(QChar c) {
    if (c.unicode() < 0x80)
        return c.isLetterOrNumber() || c == u'_' || c == u'-' || c == u'.';
    return c.isLetter();
}

platform::Error csvError(const QString& text) {
    return platform::Error::make(platform::Error::XmlDomain, 1, text);
}

} // namespace

std::optional<char16_t> CsvFeed::separatorFor(const QByteArray& contentType, const QUrl& address) {
    const QByteArray type = contentType.trimmed().toLower();
    if (type.startsWith("text/csv") || type.startsWith("application/csv"))
        return Comma;
    if (type.startsWith("text/tab-separated-values"))
        return Tab;
    if (contentType.contains("xml") || contentType.contains("json"))
        return std::nullopt;
    return separatorForSuffix(QFileInfo(address.path()).suffix());
}

std::optional<char16_t> CsvFeed::separatorForFile(const QString& path) {
    return separatorForSuffix(QFileInfo(path).suffix());
}

QString CsvFeed::decode(const QByteArray& bytes) {
    if (const std::optional<QStringConverter::Encoding> marked =
            QStringConverter::encodingForData(bytes, u'\0')) {
        // The decoder drops the byte order mark.
        QStringDecoder decoder(*marked);
        return decoder.decode(bytes);
    }
    if (QUtf8StringView(bytes).isValidUtf8())
        return QString::fromUtf8(bytes);
    return QString::fromLatin1(bytes);
}

QString CsvFeed::elementName(const QString& header, qsizetype position) {
    QString name = header.trimmed();
    if (name.isEmpty())
        return QStringLiteral("column%1").arg(position);
    for (QChar& c : name)
        if (!mayStandInName(c))
            c = u'_';
    if (!(name.front().isLetter() || name.front() == u'_') ||
        name.startsWith(QLatin1String("xml"), Qt::CaseInsensitive))
        name.prepend(u'_');
    // libxml2 knows fewer letters than Unicode does today.
    if (xmlValidateNCName(reinterpret_cast<const xmlChar*>(name.toUtf8().constData()), 0) != 0)
        return QStringLiteral("column%1").arg(position);
    return name;
}

std::unique_ptr<platform::XmlDocument> CsvFeed::toXml(const QByteArray& bytes, char16_t separator,
                                                      platform::Error* error) {
    const QList<NVSCSVUtilities::Row> rows = NVSCSVUtilities::CSVRowsWithString(decode(bytes), separator);
    if (rows.isEmpty()) {
        platform::setError(error, csvError(QStringLiteral("the feed has no header row")));
        return nullptr;
    }
    qsizetype cells = 0;
    qsizetype widest = 0;
    for (const NVSCSVUtilities::Row& row : rows) {
        cells += row.size();
        widest = std::max(widest, row.size());
    }
    if (cells > MaximumCells) {
        platform::setError(error,
                           csvError(QStringLiteral("the feed has more than %L1 cells").arg(MaximumCells)));
        return nullptr;
    }

    // Column names, unique, with the header each stands for where they differ.
    const NVSCSVUtilities::Row& headers = rows.front();
    QStringList names;
    QStringList originals;
    QSet<QString> taken;
    for (qsizetype column = 0; column < widest; ++column) {
        const QString header = column < headers.size() ? headers.at(column) : QString();
        const QString base = elementName(header, column + 1);
        QString name = base;
        for (int suffix = 2; taken.contains(name); ++suffix)
            name = base + u'_' + QString::number(suffix);
        taken.insert(name);
        names.append(name);
        originals.append(name == header ? QString() : header);
    }

    std::unique_ptr<platform::XmlDocument> document = platform::XmlDocument::create(QStringLiteral("rows"));
    xmlNodePtr root = document->rootElement();
    for (qsizetype index = 1; index < rows.size(); ++index) {
        xmlNodePtr row = platform::XmlDocument::addElement(root, QStringLiteral("row"));
        const NVSCSVUtilities::Row& fields = rows.at(index);
        for (qsizetype column = 0; column < fields.size(); ++column) {
            xmlNodePtr cell = platform::XmlDocument::addElement(row, names.at(column), fields.at(column));
            if (!originals.at(column).isEmpty())
                platform::XmlDocument::setAttribute(cell, QStringLiteral("header"), originals.at(column));
        }
    }
    return document;
}
