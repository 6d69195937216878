#include "app/AppTestEnvironment.h"

#include "app/GraflinkVariable.h"
#include "app/GraflinkVariableList.h"
#include "testkit/TestHelpers.h"

#include <QDir>

void AppTestEnvironment::SetUp() {
    ASSERT_TRUE(temp.isValid());
    defaults = std::make_unique<platform::UserDefaults>(temp.path() + u"/defaults.conf"_s);
    GraflinkDocument::registerDefaults(*defaults);
    QDir().mkpath(temp.path() + u"/Logs"_s);
    defaults->setValue(NVSLogController::TechnicalLogFolderPathKey, QString(temp.path() + u"/Logs"_s));
    logger = std::make_unique<NVSLogController>(
        NVSLogController::Configuration{defaults.get(), u"Graflink"_s, nullptr, {}});
    static NVSLogControllerDelegate silentDelegate;
    logger->setLogDelegate(&silentDelegate);
    http = std::make_shared<platform::http::Client>();
    server = std::make_unique<testing_support::LoopbackHttpServer>();
    ASSERT_TRUE(server->isListening());
}

void AppTestEnvironment::TearDown() {
    server.reset();
    http.reset();
    logger.reset();
}

GraflinkDocument::Environment AppTestEnvironment::environment() const {
    GraflinkDocument::Environment environment;
    environment.defaults = defaults.get();
    environment.logger = logger.get();
    environment.http = http;
    environment.refreshRequestTimeout = 0.5;
    environment.refreshResourceTimeout = 3.0;
    return environment;
}

QStringList AppTestEnvironment::logLines() const {
    logger->waitUntilIdle();
    QStringList lines;
    const QDir folder(temp.path() + u"/Logs"_s);
    for (const QString& name : folder.entryList({u"Graflink *.log"_s}, QDir::Files, QDir::Name)) {
        const QString text = QString::fromUtf8(testing_support::readFile(folder.filePath(name)));
        for (const QString& line : text.split(u"\r\n"_s, Qt::SkipEmptyParts))
            lines.append(line.section(QLatin1Char('\t'), 5)); // the message after the time stamp
    }
    return lines;
}

bool AppTestEnvironment::waitForRefreshes(GraflinkDocument& document) const {
    return testing_support::waitUntil([&] { return !document.isRefreshing(); }, std::chrono::seconds(10));
}

std::optional<platform::JsonValue> AppTestEnvironment::valueOf(const GraflinkDocument& document, int index) {
    return document.variables().variables().at(index)->currentStringValue();
}
