#include "support/SupportRequest.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

QByteArray SupportRequest::toJson(const QString& applicationName, const QString& version,
                                  const QString& deviceModelName) const {
    const QJsonObject object{
        {QStringLiteral("application"), applicationName},
        {QStringLiteral("version"), version},
        {QStringLiteral("device"), deviceModelName},
        {QStringLiteral("name"), yourName},
        {QStringLiteral("company"), yourCompany},
        {QStringLiteral("email"), email},
        {QStringLiteral("title"), title},
        {QStringLiteral("problemDescription"), problemDescription},
        {QStringLiteral("endUserCompany"), endUserCompany},
        {QStringLiteral("requesterType"), requesterType},
        {QStringLiteral("agree"), agree},
        {QStringLiteral("occuredDate"), occuredDate.toUTC().toString(Qt::ISODate)},
        {QStringLiteral("filesInvolved"), QJsonArray::fromStringList(filesInvolved)},
        {QStringLiteral("alreadySearchedInDB"), alreadySearchedInDB},
    };
    return QJsonDocument(object).toJson();
}
