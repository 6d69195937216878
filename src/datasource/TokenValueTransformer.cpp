#include "datasource/TokenValueTransformer.h"

#include "datasource/NVSCGDataSource.h"

QVariant TokenValueTransformer::transformedValue(const QVariant& value) const {
    if (value.typeId() != QMetaType::QString || !m_dataSource)
        return QVariant();
    return m_dataSource->tokenizeString(value.toString());
}

QString TokenValueTransformer::reverseTransformedValue(const QVariant& value) const {
    if (value.typeId() != QMetaType::QVariantList && value.typeId() != QMetaType::QStringList)
        return QStringLiteral("");
    QString text;
    for (const QVariant& item : value.toList()) {
        if (item.typeId() == QMetaType::QString)
            text.append(item.toString());
        else if (item.typeId() == QMetaType::QVariantMap)
            text.append(item.toMap().value(QStringLiteral("tokenCode")).toString());
    }
    return text;
}
