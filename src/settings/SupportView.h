#pragma once
#include "ui/Page.h"
#include <QPointer>
#include <QUrl>

class FlippedView;
class QScrollArea;

// The maker's pages, set when the app is built (MIVO_WEBSITE_URL, MIVO_DONATE_URL); either may be
// empty.
struct SupportLinks {
    QUrl home;
    QUrl donate;
    static SupportLinks fromBuild();
};

// The "support" page: why the app deserves support, a donation card and a support-centre card whose
// buttons open the maker's pages in the default browser. A card whose page is not set is left out.
// Reads and writes nothing.
class SupportView : public Page {
    Q_OBJECT
public:
    explicit SupportView(QWidget *parent = nullptr) : SupportView(SupportLinks::fromBuild(), parent) {}
    explicit SupportView(const SupportLinks &links, QWidget *parent = nullptr);
    void setup() override;

    const SupportLinks &links() const { return links_; }
    QWidget *content() const;

protected:
    void rebuild() override;
    void resizeEvent(QResizeEvent *e) override;

private:
    void buildContent();
    SupportLinks links_;
    QPointer<QScrollArea> scroll_;
    QPointer<FlippedView> flip_;
};
