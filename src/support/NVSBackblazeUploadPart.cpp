#include "support/NVSBackblazeUploadPart.h"

#include <QCryptographicHash>

NVSBackblazeUploadPart::NVSBackblazeUploadPart(int partNumber, NVSByteRange bytesRange)
    : m_partNumber(partNumber), m_bytesRange(bytesRange) {}

void NVSBackblazeUploadPart::setPartData(QByteArray data) {
    m_SHA1String = SHA1ChecksumForData(data);
    m_partData = std::move(data);
}

QString NVSBackblazeUploadPart::SHA1ChecksumForData(const QByteArray& data) {
    return QString::fromLatin1(QCryptographicHash::hash(data, QCryptographicHash::Sha1).toHex());
}
