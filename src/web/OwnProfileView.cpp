#include "web/OwnProfileView.h"

#include <QWebEnginePage>
#include <QWebEngineProfile>

OwnProfileView::OwnProfileView(QWidget *parent)
    : QWebEngineView(parent), profile_(new QWebEngineProfile(this)) {}

OwnProfileView::~OwnProfileView() {
    // Children go in the order they were made, which would take the profile first.
    delete page_;
}

void OwnProfileView::adoptPage(QWebEnginePage *page) {
    page_ = page;
    setPage(page);
}
