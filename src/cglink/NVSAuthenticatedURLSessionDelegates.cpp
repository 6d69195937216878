#include "cglink/NVSAuthenticatedURLSessionControllerDelegate.h"
#include "cglink/NVSAuthenticatedURLSessionDelegate.h"

NVSAuthenticatedURLSessionDelegate::~NVSAuthenticatedURLSessionDelegate() = default;
std::optional<QString> NVSAuthenticatedURLSessionDelegate::serverName() {
    return std::nullopt;
}
std::optional<QString> NVSAuthenticatedURLSessionDelegate::instanceName() {
    return std::nullopt;
}
std::optional<QString> NVSAuthenticatedURLSessionDelegate::hostNameAndPortNumber(const QString&) {
    return std::nullopt;
}
bool NVSAuthenticatedURLSessionDelegate::logSimpleMessage(const QString&) {
    return false;
}

NVSAuthenticatedURLSessionControllerDelegate::~NVSAuthenticatedURLSessionControllerDelegate() = default;
std::optional<QString> NVSAuthenticatedURLSessionControllerDelegate::serverName() {
    return std::nullopt;
}
std::optional<QString> NVSAuthenticatedURLSessionControllerDelegate::instanceName() {
    return std::nullopt;
}
std::optional<QString> NVSAuthenticatedURLSessionControllerDelegate::hostNameAndPortNumber(const QString&) {
    return std::nullopt;
}
