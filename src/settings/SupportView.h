#pragma once
#include "ui/Page.h"
#include <QPointer>
#include <QUrl>

class FlippedView;
class QScrollArea;

// The "support" page: why the app deserves support, a donation card and a support-centre card whose
// buttons open the maker's pages in the default browser. Reads and writes nothing.
class SupportView : public Page {
    Q_OBJECT
public:
    explicit SupportView(QWidget *parent = nullptr);
    void setup() override;

    static QUrl donateUrl();
    static QUrl homeUrl();
    QWidget *content() const;

protected:
    void rebuild() override;
    void resizeEvent(QResizeEvent *e) override;

private:
    void buildContent();
    QPointer<QScrollArea> scroll_;
    QPointer<FlippedView> flip_;
};
