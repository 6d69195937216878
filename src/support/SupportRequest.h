#pragma once

#include <QDateTime>
#include <QStringList>

/// What the operator tells support: who they are, what happened and when, and the files that
/// go with it.
struct SupportRequest {
    QString yourName;
    QString yourCompany;
    QString email;
    QString title;
    QString problemDescription;
    QString endUserCompany;
    QString requesterType;
    bool agree = false;
    /// When it happened: the system logs around this moment are gathered.
    QDateTime occuredDate = QDateTime::currentDateTime();
    QStringList filesInvolved;
    QStringList supportFilesPath;
    bool alreadySearchedInDB = false;

    /// The request as a JSON object, with the program and machine it comes from.
    QByteArray toJson(const QString& applicationName, const QString& version,
                      const QString& deviceModelName) const;
};
