#include "app/SidebarView.h"
#include "common/TestEnv.h"
#include "ui/BannerWindow.h"
#include "ui/NewsPanel.h"
#include "ui/RingView.h"
#include "ui/Theme.h"
#include "ui/WebModule.h"
#include <QDir>
#include <QLabel>
#include <QPainter>
#include <QtTest>

// Draws the banner, the ring and the sidebar with its news slot in every theme into
// <test dir>/render/*.png, for a person to look at, and checks that each picture shows something
// (the ring's direction is checked in the kit views test).
namespace {
QString renderDir() {
    const QString d = QCoreApplication::applicationDirPath() + QStringLiteral("/render/");
    QDir().mkpath(d);
    return d;
}

int distinctColours(const QImage &img) {
    QSet<QRgb> seen;
    for (int y = 0; y < img.height(); y += 2)
        for (int x = 0; x < img.width(); x += 2)
            seen.insert(img.pixel(x, y));
    return int(seen.size());
}

// The news document drawn by Qt's own rich-text engine: close enough to see the slot filled,
// without starting the web engine.
class RichTextViews : public WebViews {
public:
    QWidget *makeDocumentView(QWidget *parent, const QString &html, const QUrl &,
                              std::function<void(const QUrl &)>) override {
        auto *l = new QLabel(parent);
        l->setTextFormat(Qt::RichText);
        l->setWordWrap(true);
        l->setAlignment(Qt::AlignTop | Qt::AlignLeft);
        l->setText(html);
        return l;
    }
    BrowserPage *makeBrowserPage(QWidget *, const QString &) override { return nullptr; }
};
RichTextViews g_richText;

void save(const QImage &img, const QString &name) {
    QVERIFY2(img.save(renderDir() + name), qPrintable(name));
    QVERIFY2(distinctColours(img) > 8, qPrintable(name + " looks blank"));
}
} // namespace

class TestRender : public QObject {
    Q_OBJECT
public:
    static void initMain() { useOffscreenWhenHeadless(); }

private slots:
    void initTestCase() { installWebViews(&g_richText); }

    void render_data() {
        QTest::addColumn<int>("theme");
        for (AppTheme t : {AppTheme::dark, AppTheme::silver, AppTheme::pink, AppTheme::mint})
            QTest::newRow(qPrintable(AppThemes::rawValue(t))) << int(t);
    }
    void render() {
        QFETCH(int, theme);
        TempPrefs prefs;
        const AppTheme t = AppTheme(theme);
        VF::setTheme(t);
        const QString name = AppThemes::rawValue(t);

        BannerWindow::setFadeScale(0);
        BannerWindow *b = BannerWindow::present(QStringLiteral("💧 Time for water"),
                                                QStringLiteral("A glass now keeps the headache away, and the "
                                                               "afternoon goes better too"),
                                                QColor(0, 150, 255));
        QVERIFY(b);
        QImage banner(b->size(), QImage::Format_ARGB32_Premultiplied);
        banner.fill(VF::bg());
        {
            QPainter p(&banner);
            b->render(&p, QPoint(), QRegion(), QWidget::DrawChildren);
        }
        save(banner, QStringLiteral("banner-%1.png").arg(name));
        b->dismiss();
        QTRY_VERIFY(BannerWindow::active().isEmpty());

        QWidget rings;
        rings.resize(4 * 130, 130);
        rings.setAutoFillBackground(true);
        QPalette pal = rings.palette();
        pal.setColor(QPalette::Window, VF::bg());
        rings.setPalette(pal);
        const double values[] = {0.0, 0.3, 0.75, 1.0};
        for (int i = 0; i < 4; ++i) {
            auto *r = new RingView(&rings);
            r->setGeometry(10 + 130 * i, 10, 110, 110);
            r->setColor(VF::accent());
            r->setProgress(values[i]);
        }
        save(rings.grab().toImage(), QStringLiteral("ring-%1.png").arg(name));

        SidebarView sidebar;
        sidebar.resize(220, 760);
        auto *panel = sidebar.newsSlot()->findChild<NewsPanel *>();
        QVERIFY(panel);
        QVERIFY(panel->isHidden()); // nothing until news arrives
        panel->showFragment(QStringLiteral("<h3>Mivo 1.2</h3><p>Notes now take tables. "
                                           "<a href=\"https://example.org/notes\">Read more</a></p>"));
        sidebar.show();
        QVERIFY(QTest::qWaitForWindowExposed(&sidebar));
        QVERIFY(panel->isVisible());
        QCOMPARE(panel->geometry().size(), sidebar.newsSlot()->size());
        save(sidebar.grab().toImage(), QStringLiteral("sidebar-%1.png").arg(name));
    }
};

QTEST_MAIN(TestRender)
#include "tst_render.moc"
