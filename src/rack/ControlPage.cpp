#include "rack/ControlPage.h"

#include <QFile>

std::optional<HandlerHttpServer::Reply> ControlPage::file(const QString& path) {
    static const struct {
        const char* path;
        const char* resource;
        const char* contentType;
    } files[] = {{"/", ":/controlpage/index.html", "text/html; charset=utf-8"},
                 {"/control.css", ":/controlpage/control.css", "text/css; charset=utf-8"},
                 {"/control.js", ":/controlpage/control.js", "text/javascript; charset=utf-8"}};
    for (const auto& each : files) {
        if (path != QLatin1String(each.path))
            continue;
        QFile resource(QString::fromLatin1(each.resource));
        if (!resource.open(QIODevice::ReadOnly))
            return std::nullopt;
        return HandlerHttpServer::Reply{
            200,
            each.contentType,
            resource.readAll(),
            {{QByteArrayLiteral("Cache-Control"), QByteArrayLiteral("no-cache")}}};
    }
    return std::nullopt;
}
