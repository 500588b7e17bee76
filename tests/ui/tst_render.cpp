#include "app/SidebarView.h"
#include "common/TestEnv.h"
#include "ui/NewsPanel.h"
#include "ui/Theme.h"
#include <QDir>
#include <QLabel>
#include <QtTest>

// Draws the sidebar with its news slot in every theme into
// <test dir>/render/*.png, for a person to look at, and checks that each picture shows something.
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
QWidget *richTextView(QWidget *parent, const QString &html, const QUrl &) {
    auto *l = new QLabel(parent);
    l->setTextFormat(Qt::RichText);
    l->setWordWrap(true);
    l->setAlignment(Qt::AlignTop | Qt::AlignLeft);
    l->setText(html);
    return l;
}

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
    void initTestCase() { NewsPanel::setViewFactory(richTextView); }

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

        SidebarView sidebar;
        sidebar.resize(220, 760);
        auto *panel = sidebar.newsSlot()->findChild<NewsPanel *>();
        QVERIFY(panel);
        QVERIFY(panel->isHidden()); // nothing until news arrives
        panel->showFragment(QStringLiteral("<h3>Mivo 1.2</h3><p>Notes now take tables. "
                                           "<a href=\"https://example.org/notes\">Read more</a></p>"));
        sidebar.show();
        QVERIFY(QTest::qWaitForWindowExposed(&sidebar));
        QCOMPARE(panel->geometry().size(), sidebar.newsSlot()->size());
        save(sidebar.grab().toImage(), QStringLiteral("sidebar-%1.png").arg(name));
    }
};

QTEST_MAIN(TestRender)
#include "tst_render.moc"
