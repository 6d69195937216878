#pragma once

#include "httpserver/HandlerHttpServer.h"

#include <optional>

/// The control page's files, built into the program from Qt resources (src/rack/controlpage):
/// "/" (the page), "/control.css" and "/control.js". They hold no data of any document (that
/// comes over the web socket, after the token), so they are served to anyone who reaches the
/// server: a browser cannot send a token with the request that opens a page.
class ControlPage {
  public:
    /// The file at `path`, or none when no file of the page has that path.
    static std::optional<HandlerHttpServer::Reply> file(const QString& path);
};
