#pragma once
#include <QWebEngineView>

class QWebEnginePage;
class QWebEngineProfile;

// A web view with a profile of its own, off the record: no cache, cookies or history on disk, and
// nothing shared with any other view. The page is released before its profile, as the engine
// requires.
class OwnProfileView : public QWebEngineView {
public:
    explicit OwnProfileView(QWidget *parent);
    ~OwnProfileView() override;

    QWebEngineProfile *ownProfile() const { return profile_; }
    // Takes the page made on ownProfile() (the view owns it from then on).
    void adoptPage(QWebEnginePage *page);

private:
    QWebEngineProfile *profile_;
    QWebEnginePage *page_ = nullptr;
};
