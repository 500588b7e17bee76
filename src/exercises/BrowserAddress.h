#pragma once
#include <QString>
#include <QUrl>
#include <optional>

// Which addresses the browser window loads. Step links come from user data and files, so only web
// pages are ever loaded: http and https with a host, nothing else (no file:, no custom schemes).
namespace BrowserAddress {
// An address as given (the runner has already put "https://" in front where needed).
std::optional<QUrl> fromLink(const QString &text);
// What the user typed into the address field: trimmed of blanks and tabs; "https://" in front
// unless it starts with "http". Nothing for an empty or unusable text.
std::optional<QUrl> fromTyped(const QString &text);
// The runner's completion of a step's link: "https://" in front unless it starts with "http".
QString completed(const QString &text);
} // namespace BrowserAddress
