#include "support/SystemProfile.h"

#include <QFile>
#include <QJsonDocument>
#include <QProcess>
#include <QRegularExpression>
#include <QSysInfo>

namespace {

constexpr int ProgramTimeout = 10000;

QString readText(const QString& path, qint64 limit = 1 << 20) {
    QFile file(path);
    if (path.isEmpty() || !file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(file.read(limit)).trimmed();
}

/// "KEY=value" lines (os-release) or "Key: value" lines (cpuinfo, meminfo).
QVariantMap keyedLines(const QString& text, QChar separator) {
    QVariantMap values;
    for (const QString& line : text.split(QLatin1Char('\n'))) {
        const qsizetype at = line.indexOf(separator);
        if (at <= 0)
            continue;
        QString value = line.mid(at + 1).trimmed();
        if (value.size() >= 2 && value.startsWith(QLatin1Char('"')) && value.endsWith(QLatin1Char('"')))
            value = value.mid(1, value.size() - 2);
        const QString key = line.left(at).trimmed();
        if (!values.contains(key)) // cpuinfo repeats its block per processor
            values.insert(key, value);
    }
    return values;
}

/// JSON as property-list values: a property list has no null.
QVariant withoutNulls(const QVariant& value) {
    if (value.typeId() == QMetaType::QVariantMap) {
        QVariantMap map = value.toMap();
        for (auto it = map.begin(); it != map.end(); ++it)
            it.value() = withoutNulls(it.value());
        return map;
    }
    if (value.typeId() == QMetaType::QVariantList) {
        QVariantList list = value.toList();
        for (QVariant& item : list)
            item = withoutNulls(item);
        return list;
    }
    return value.isNull() || !value.isValid() ? QVariant(QString()) : value;
}

/// A program's JSON output, or nothing when it is missing, fails or prints no JSON.
QVariant programJson(const QString& program, const QStringList& arguments) {
    if (program.isEmpty())
        return {};
    QProcess process;
    process.start(program, arguments, QIODevice::ReadOnly);
    if (!process.waitForFinished(ProgramTimeout) || process.exitStatus() != QProcess::NormalExit ||
        process.exitCode() != 0) {
        process.kill();
        return {};
    }
    const QJsonDocument json = QJsonDocument::fromJson(process.readAllStandardOutput());
    return json.isNull() ? QVariant() : withoutNulls(json.toVariant());
}

void insertIfPresent(QVariantMap& map, const QString& key, const QVariant& value) {
    if (value.isValid() && !(value.typeId() == QMetaType::QString && value.toString().isEmpty()))
        map.insert(key, value);
}

} // namespace

QString SystemProfile::modelName(const SupportSources& sources) {
    const QString vendor = readText(sources.dmiFolder + QStringLiteral("/sys_vendor"));
    const QString product = readText(sources.dmiFolder + QStringLiteral("/product_name"));
    const QString name = QStringList{vendor, product}.join(QLatin1Char(' ')).trimmed();
    return name.isEmpty() ? QStringLiteral("unknown_device") : name;
}

QVariantMap SystemProfile::gather(const SupportSources& sources) {
    QVariantMap profile;

    QVariantMap hardware;
    hardware.insert(QStringLiteral("Model Name"), modelName(sources));
    for (const char* field : {"sys_vendor", "product_name", "product_version", "board_vendor", "board_name",
                              "bios_vendor", "bios_version", "bios_date", "chassis_type"})
        insertIfPresent(hardware, QString::fromLatin1(field),
                        readText(sources.dmiFolder + QLatin1Char('/') + QLatin1String(field)));
    profile.insert(QStringLiteral("Hardware"), hardware);

    QVariantMap software;
    const QVariantMap release = keyedLines(readText(sources.osReleaseFile), QLatin1Char('='));
    insertIfPresent(software, QStringLiteral("System"), release.value(QStringLiteral("PRETTY_NAME")));
    insertIfPresent(software, QStringLiteral("os-release"),
                    release.isEmpty() ? QVariant() : QVariant(release));
    software.insert(QStringLiteral("Kernel"),
                    QString(QSysInfo::kernelType() + QLatin1Char(0x20) + QSysInfo::kernelVersion()));
    software.insert(QStringLiteral("Architecture"), QSysInfo::currentCpuArchitecture());
    software.insert(QStringLiteral("Host Name"), QSysInfo::machineHostName());
    profile.insert(QStringLiteral("Software"), software);

    QVariantMap processor;
    const QVariantMap cpu = keyedLines(readText(sources.cpuInfoFile), QLatin1Char(':'));
    insertIfPresent(processor, QStringLiteral("Model"), cpu.value(QStringLiteral("model name")));
    insertIfPresent(processor, QStringLiteral("Cores"), cpu.value(QStringLiteral("cpu cores")));
    insertIfPresent(processor, QStringLiteral("lscpu"),
                    programJson(sources.listCpuProgram, {QStringLiteral("-J")}));
    profile.insert(QStringLiteral("Processor"), processor);

    const QVariantMap memory = keyedLines(readText(sources.memInfoFile), QLatin1Char(':'));
    insertIfPresent(profile, QStringLiteral("Memory"), memory.value(QStringLiteral("MemTotal")));
    insertIfPresent(profile, QStringLiteral("Storage"),
                    programJson(sources.listBlockDevicesProgram,
                                {QStringLiteral("-J"), QStringLiteral("-o"),
                                 QStringLiteral("NAME,SIZE,TYPE,FSTYPE,MOUNTPOINT,MODEL")}));
    insertIfPresent(profile, QStringLiteral("Network"),
                    programJson(sources.ipProgram, {QStringLiteral("-j"), QStringLiteral("addr")}));
    return profile;
}
