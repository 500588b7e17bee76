#pragma once
#include <QString>
#include <QUrl>
#include <functional>

class QWidget;

namespace DocumentView {
// A read-only view of one HTML document laid out against base: JavaScript off, nothing kept on
// disk, a transparent background, no context menu. The document's own load is the only navigation
// it makes: a clicked link, or one that asks for a new window, goes to onLinkClicked; anything else
// (a refresh or redirect the document asks for, a frame) is refused.
QWidget *make(QWidget *parent, const QString &html, const QUrl &base,
              std::function<void(const QUrl &)> onLinkClicked);
} // namespace DocumentView
