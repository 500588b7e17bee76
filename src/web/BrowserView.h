#pragma once
#include "ui/WebModule.h"

namespace BrowserView {
// A browsing view in a profile of its own with the given user agent, where media may play without
// a user gesture. The page object is owned by the view's widget.
BrowserPage *make(QWidget *parent, const QString &userAgent);
} // namespace BrowserView
