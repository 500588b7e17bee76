#include "finance/FinanceView.h"

#include "finance/FinEntriesTable.h"
#include "finance/FinReports.h"
#include "finance/FinStatCard.h"
#include "finance/FinUi.h"
#include "finance/FinanceStore.h"
#include "platform/Clock.h"
#include "platform/Keys.h"
#include "platform/Notifier.h"
#include "platform/RecordJson.h"
#include "ui/EmojiText.h"
#include "ui/Fonts.h"
#include "ui/Geometry.h"
#include "ui/Lang.h"
#include "ui/Makers.h"
#include "ui/TaggedView.h"
#include "ui/Theme.h"
#include "ui/UiKit.h"
#include <QComboBox>
#include <QDateEdit>
#include <QFontMetricsF>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QTimer>
#include <algorithm>
#include <cmath>

namespace {
constexpr int kHdrH = 74;
constexpr int kLineTag = 9901;
constexpr double kCardH = 120;

const QColor kIncomeAccent = QColor::fromRgbF(0.13f, 0.77f, 0.37f);
const QColor kExpenseAccent = QColor::fromRgbF(1.0f, 0.35f, 0.35f);
const QColor kBalanceAccent = QColor::fromRgbF(0.31f, 0.62f, 1.0f);

const Tr kIncomeCaption{
    .en = "Income", .es = "Ingreso", .de = "Einkommen", .fr = "Revenu", .uk = "Дохід", .pl = "Dochód"};
const Tr kExpenseCaption{
    .en = "Expenses", .es = "Gastos", .de = "Ausgaben", .fr = "Dépenses", .uk = "Витрати", .pl = "Wydatki"};
const Tr kBalanceCaption{
    .en = "Balance", .es = "Saldo", .de = "Saldo", .fr = "Solde", .uk = "Баланс", .pl = "Bilans"};
const Tr kSubtitle{.en = "Add, track and export your monthly finances.",
                   .es = "Añade, rastrea y exporta tus finanzas mensuales.",
                   .de = "Finanzen hinzufügen, verfolgen und exportieren.",
                   .fr = "Ajoutez, suivez et exportez vos finances mensuelles.",
                   .uk = "Додавайте, відстежуйте та експортуйте місячні фінанси.",
                   .pl = "Dodawaj, śledź i eksportuj swoje miesięczne finanse."};
const Tr kFormHeading{.en = "ADD ENTRY",
                      .es = "AGREGAR ENTRADA",
                      .de = "EINTRAG HINZUFÜGEN",
                      .fr = "AJOUTER UNE ENTRÉE",
                      .uk = "ДОДАТИ ЗАПИС",
                      .pl = "DODAJ WPIS"};
const Tr kNamePlaceholder{
    .en = "Name…", .es = "Nombre…", .de = "Name…", .fr = "Nom…", .uk = "Назва…", .pl = "Nazwa…"};
const Tr kAmountPlaceholder{
    .en = "Amount", .es = "Monto", .de = "Betrag", .fr = "Montant", .uk = "Сума", .pl = "Kwota"};
const Tr kAddWord{
    .en = "Add", .es = "Agregar", .de = "Hinzufügen", .fr = "Ajouter", .uk = "Додати", .pl = "Dodaj"};
const Tr kPageWord{
    .en = "Finances", .es = "Finanzas", .de = "Finanzen", .fr = "Finances", .uk = "Фінанси", .pl = "Finanse"};

// The table's column headers, in column order (the delete column has none).
struct ColumnHeader {
    bool strong; // the name column's header stands out
    Tr text;
};
const ColumnHeader kColumns[] = {
    {false, {.en = "DATE", .es = "FECHA", .de = "DATUM", .fr = "DATE", .uk = "ДАТА", .pl = "DATA"}},
    {true, {.en = "NAME", .es = "NOMBRE", .de = "NAME", .fr = "NOM", .uk = "НАЗВА", .pl = "NAZWA"}},
    {false,
     {.en = "CATEGORY",
      .es = "CATEGORÍA",
      .de = "KATEGORIE",
      .fr = "CATÉGORIE",
      .uk = "КАТЕГОРІЯ",
      .pl = "KATEGORIA"}},
    {false, {.en = "TYPE", .es = "TIPO", .de = "TYP", .fr = "TYPE", .uk = "ТИП", .pl = "TYP"}},
    {false, {.en = "AMOUNT", .es = "MONTO", .de = "BETRAG", .fr = "MONTANT", .uk = "СУМА", .pl = "KWOTA"}},
};


QString trimBlanks(const QString &s) {
    auto blank = [](QChar c) { return c == QLatin1Char(' ') || c == QLatin1Char('\t'); };
    qsizetype a = 0, b = s.size();
    while (a < b && blank(s[a]))
        ++a;
    while (b > a && blank(s[b - 1]))
        --b;
    return s.mid(a, b - a);
}

// A filled band in the theme's header colour.
QWidget *band(QWidget *parent) {
    auto *w = new QWidget(parent);
    w->setAutoFillBackground(true);
    QPalette p = w->palette();
    p.setColor(QPalette::Window, VF::hdrBg());
    w->setPalette(p);
    return w;
}


// The form's rounded background.
class FormBg : public QWidget {
public:
    using QWidget::QWidget;

protected:
    void paintEvent(QPaintEvent *) override {
        const bool dark = VF::theme() == AppTheme::dark;
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        QPainterPath path;
        path.addRoundedRect(QRectF(rect()).adjusted(0.25, 0.25, -0.25, -0.25), 12, 12);
        p.fillPath(path, dark ? QColor::fromRgbF(0.07f, 0.14f, 0.08f) : QColor(Qt::white));
        p.setPen(QPen(dark ? QColor::fromRgbF(1, 1, 1, 0.1f) : QColor::fromRgbF(0, 0, 0, 0.12f), 0.5));
        p.drawPath(path);
    }
};

// Fields and pop-ups in the theme's colours.
void themeControl(QWidget *w) {
    QPalette p = w->palette();
    const bool dark = VF::theme() == AppTheme::dark;
    // Opaque: the style blends translucent button colours with white.
    const QColor field = dark ? QColor::fromRgbF(0.11f, 0.18f, 0.12f) : QColor(Qt::white);
    for (auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
        p.setColor(group, QPalette::Base, field);
        p.setColor(group, QPalette::Button, field);
        p.setColor(group, QPalette::AlternateBase, field);
    }
    p.setColor(QPalette::Window, VF::bg());
    p.setColor(QPalette::Text, VF::text());
    p.setColor(QPalette::ButtonText, VF::text());
    p.setColor(QPalette::WindowText, VF::text());
    p.setColor(QPalette::PlaceholderText, VF::muted());
    w->setPalette(p);
}

// Width a control needs for its text, so no title or item is cut in any language or font scale.
int textRoom(const QFont &f, const QString &s, int pad) {
    return int(std::ceil(QFontMetricsF(f).horizontalAdvance(s))) + pad;
}
} // namespace

FinanceView::FinanceView(QWidget *parent) : Page(parent) {
    const QDate today = Clock::get().today();
    dispMonth_ = today.month();
    dispYear_ = today.year();
    auto &n = Notifier::get();
    n.observe(Notify::financesChanged, this, [this](QObject *) { requestRebuild(); });
    n.observe(Notify::languageChanged, this, [this](QObject *) { requestRebuild(); });
}

void FinanceView::setup() {
    applyBackground();
    hdrBg_ = band(this);
    titleLbl_ = UiKit::fontLabel(this, Fonts::scaledFont(24, QFont::Bold), VF::text());
    subHdr_ = UiKit::fontLabel(this, Fonts::scaledFont(11.5), VF::sub());

    QPointer<FinanceView> self(this);
    prevBtn_ = makeHdrBtn(new QPushButton(this), QStringLiteral("←"), false, this);
    prevBtn_->setFont(Fonts::scaledFont(14, QFont::Medium));
    connect(prevBtn_, &QPushButton::clicked, this, [this] { navMonth(-1); });
    monthLbl_ = UiKit::fontLabel(this, Fonts::scaledFont(14, QFont::DemiBold), VF::text(), Qt::AlignHCenter);
    nextBtn_ = makeHdrBtn(new QPushButton(this), QStringLiteral("→"), false, this);
    nextBtn_->setFont(Fonts::scaledFont(14, QFont::Medium));
    connect(nextBtn_, &QPushButton::clicked, this, [this] { navMonth(+1); });
    exportBtn_ = makeHdrBtn(new QPushButton(this), QStringLiteral("📤 Export ▾"), true, this);
    connect(exportBtn_, &QPushButton::clicked, this, [this] { showExportMenu(); });

    incCard_ = new FinStatCard(QStringLiteral("💚"), L::t(kIncomeCaption), kIncomeAccent, this);
    expCard_ = new FinStatCard(QStringLiteral("❤️"), L::t(kExpenseCaption), kExpenseAccent, this);
    balCard_ = new FinStatCard(QStringLiteral("💙"), L::t(kBalanceCaption), kBalanceAccent, this);

    buildForm();

    colHdrBar_ = band(this);
    colHdrLine_ = new TaggedView(kLineTag, colHdrBar_);
    colHdrLine_->setAutoFillBackground(true);
    QPalette lp = colHdrLine_->palette();
    lp.setColor(QPalette::Window, VF::gridLine());
    colHdrLine_->setPalette(lp);
    colHdrLbls_.clear();
    colHdrSeps_.clear();
    for (const ColumnHeader &c : kColumns) {
        colHdrLbls_ << UiKit::fontLabel(colHdrBar_, Fonts::scaledFont(10, QFont::DemiBold),
                             c.strong ? VF::text() : VF::sub());
        if (&c != &kColumns[0]) {
            auto *sep = new QWidget(colHdrBar_);
            sep->setAutoFillBackground(true);
            sep->setPalette(lp);
            colHdrSeps_ << sep;
        }
    }

    table_ = new FinEntriesTable(this);
    connect(table_->horizontalHeader(), &QHeaderView::sectionResized, this,
            [this] { layoutColumnHeaders(); });
    table_->onDelete = [self](const QString &id) {
        // The store posts at once; the page redraws from its queued rebuild, after this click.
        if (self) FinanceStore::shared().remove(id);
    };

    for (QWidget *w : findChildren<QWidget *>(QString(), Qt::FindDirectChildrenOnly))
        w->show();
    layoutFrame();
    requestRebuild();
}

void FinanceView::buildForm() {
    // A theme or font-size change builds the page again: the form keeps what the user chose and typed.
    const bool had = formTypePop_ && formCatPop_ && formDatePicker_ && formNameF_ && formAmtF_;
    const int typeIdx = had ? formTypePop_->currentIndex() : 0;
    const int catIdx = had ? formCatPop_->currentIndex() : 0;
    const QDate date = had ? formDatePicker_->date() : Clock::get().today();
    const QString name = had ? formNameF_->text() : QString(), amount = had ? formAmtF_->text() : QString();

    formBg_ = new FormBg(this);
    formHdrLbl_ = UiKit::fontLabel(this, Fonts::scaledFont(10, QFont::DemiBold), VF::sub());
    formNameF_ = new QLineEdit(this);
    formNameF_->setFont(Fonts::scaledFont(13));
    themeControl(formNameF_);
    formAmtF_ = new QLineEdit(this);
    formAmtF_->setFont(Fonts::monoDigits(13));
    formNameF_->setText(name);
    formAmtF_->setText(amount);
    themeControl(formAmtF_);
    formTypePop_ = new QComboBox(this);
    formTypePop_->setFont(Fonts::scaledFont(12));
    EmojiText::colourItems(formTypePop_);
    themeControl(formTypePop_);
    fillTypePopup();
    formTypePop_->setCurrentIndex(std::clamp(typeIdx, 0, 1));
    formCatPop_ = new QComboBox(this);
    formCatPop_->setFont(Fonts::scaledFont(12));
    EmojiText::colourItems(formCatPop_);
    themeControl(formCatPop_);
    fillCategoryPopup();
    formCatPop_->setCurrentIndex(std::clamp(catIdx, 0, formCatPop_->count() - 1));
    connect(formTypePop_, &QComboBox::activated, this, [this] {
        formCatPop_->clear();
        fillCategoryPopup();
    });
    formDatePicker_ = new QDateEdit(date, this);
    formDatePicker_->setDisplayFormat(QStringLiteral("dd.MM.yyyy"));
    formDatePicker_->setFont(Fonts::scaledFont(12));
    themeControl(formDatePicker_);
    formAddBtn_ = makeHdrBtn(new QPushButton(this), QString(), true, this);
    connect(formAddBtn_, &QPushButton::clicked, this, [this] { doAddEntry(); });
}

void FinanceView::fillTypePopup() {
    const int keep = std::max(formTypePop_->currentIndex(), 0);
    formTypePop_->clear();
    formTypePop_->addItem(QStringLiteral("💚 ") + FinTypes::display(FinType::income));
    formTypePop_->addItem(QStringLiteral("❤️ ") + FinTypes::display(FinType::expense));
    formTypePop_->setCurrentIndex(std::min(keep, 1));
}

void FinanceView::fillCategoryPopup() {
    const int keep = std::max(formCatPop_->currentIndex(), 0);
    formCatPop_->clear();
    formCatPop_->addItems(formTypePop_->currentIndex() == 0 ? FinanceStore::incomeCategoriesDisplay()
                                                            : FinanceStore::expenseCategoriesDisplay());
    formCatPop_->setCurrentIndex(std::min(keep, formCatPop_->count() - 1));
}

void FinanceView::relabel() {
    incCard_->setLabel(L::t(kIncomeCaption));
    expCard_->setLabel(L::t(kExpenseCaption));
    balCard_->setLabel(L::t(kBalanceCaption));
    FinUi::setElided(subHdr_, L::t(kSubtitle));
    FinUi::setElided(formHdrLbl_, L::t(kFormHeading));
    formAddBtn_->setText(QStringLiteral("＋ ") + L::t(kAddWord));
    formNameF_->setPlaceholderText(L::t(kNamePlaceholder));
    formAmtF_->setPlaceholderText(L::t(kAmountPlaceholder));
    fillTypePopup();
    fillCategoryPopup();
    for (int i = 0; i < colHdrLbls_.size(); ++i)
        FinUi::setElided(colHdrLbls_[i], L::t(kColumns[i].text));

    // The month's name as it stands alone (nominative), not as it reads inside a full date.
    const QString month = L::monthYear(dispYear_, dispMonth_, L::lang());
    FinUi::setElided(titleLbl_, L::t(kPageWord) + QStringLiteral(" — ") + month);
    FinUi::setElided(monthLbl_, month);
}

void FinanceView::rebuild() {
    if (!table_) return;
    relabel();
    FinMonth m = FinanceStore::shared().month(dispMonth_, dispYear_);
    const double inc = m.income, exp = m.expenses;
    incCard_->update(inc, m.incomeCount, 1.0, QString());
    expCard_->update(exp, m.expenseCount, inc > 0 ? std::min(exp / inc, 1.0) : 0.0, QString());
    balCard_->updateBalance(m.balance(), FinReports::savingsPercent(inc, exp));
    table_->entriesModel()->setEntries(std::move(m.entries));
    layoutFrame();
}

void FinanceView::showMonth(int month, int year) {
    dispMonth_ = month;
    dispYear_ = year;
    requestRebuild();
}

void FinanceView::navMonth(int step) {
    int m = dispMonth_ + (step < 0 ? -1 : 1), y = dispYear_;
    if (m < 1) m = 12, --y;
    if (m > 12) m = 1, ++y;
    showMonth(m, y);
}

void FinanceView::doAddEntry() {
    const QString name = trimBlanks(formNameF_->text());
    if (name.isEmpty()) {
        formNameF_->setFocus();
        return;
    }
    const auto amount = parseAmountInput(formAmtF_->text());
    if (!amount) {
        formAmtF_->setFocus();
        return;
    }
    const bool income = formTypePop_->currentIndex() == 0;
    const QStringList &keys = income ? FinanceStore::incomeKeys() : FinanceStore::expenseKeys();
    const int ci = formCatPop_->currentIndex();
    const QDate d = formDatePicker_->date();
    FinEntry e;
    e.id = RecordJson::newId();
    e.dateStr = finDateStr(d.day(), d.month(), d.year());
    e.name = name;
    e.category = ci >= 0 && ci < keys.size() ? keys[ci] : keys.first();
    e.type = income ? FinType::income : FinType::expense;
    e.amount = *amount;
    e.month = d.month();
    e.year = d.year();
    if (!FinanceStore::shared().add(e)) return;
    if (e.month != dispMonth_ || e.year != dispYear_) showMonth(int(e.month), int(e.year));
    formNameF_->clear();
    formAmtF_->clear();
    QPointer<QLineEdit> field(formNameF_);
    QTimer::singleShot(0, this, [field] {
        if (field) field->setFocus();
    });
    requestRebuild();
}

void FinanceView::resizeEvent(QResizeEvent *e) {
    Page::resizeEvent(e);
    layoutFrame();
}

void FinanceView::layoutFrame() {
    if (!table_) return;
    const double W = width(), H = height();
    hdrBg_->setGeometry(yUp(H, 0, H - kHdrH, W, kHdrH));

    // The right-hand cluster keeps the design's gaps and grows leftwards when a text needs room.
    const int exportW = std::max(96, textRoom(exportBtn_->font(), exportBtn_->text(), 20));
    const double exportX = W - 20 - exportW;
    const double nextX = exportX - 18 - 30;
    const int monthW =
        std::max(112, textRoom(monthLbl_->font(), monthLbl_->property("finFullText").toString(), 8));
    const double monthX = nextX - monthW;
    const double prevX = monthX - 4 - 30;
    exportBtn_->setGeometry(yUp(H, exportX, H - 52, exportW, 26));
    nextBtn_->setGeometry(yUp(H, nextX, H - 54, 30, 30));
    FinUi::placeText(monthLbl_, H, monthX, H - 52, monthW, 26);
    prevBtn_->setGeometry(yUp(H, prevX, H - 54, 30, 30));
    const double titleRoom = std::max(prevX - 20 - 16, 80.0);
    // The title and the subtitle one under the other at every font scale: lines taller than the
    // design's take their room from above the title and below the subtitle alike.
    const auto lineH = [](QWidget *w, double design) {
        return std::max(design, std::ceil(QFontMetricsF(w->font()).height()) + 2);
    };
    const double titleH = lineH(titleLbl_, 30), subH = lineH(subHdr_, 16);
    const double titleTop = std::max(4.0, 16 - (titleH + subH - 46) / 2);
    const double titleY = H - titleTop - titleH, subY = titleY - 2 - subH;
    FinUi::placeText(titleLbl_, H, 20, titleY, std::max(380.0, std::min(titleRoom, W)), titleH);
    if (titleLbl_->geometry().right() > prevX - 8)
        FinUi::placeText(titleLbl_, H, 20, titleY, titleRoom, titleH);
    FinUi::placeText(subHdr_, H, 20, subY, std::max(titleRoom, 80.0), subH);

    const double cw = (W - 60) / 3;
    incCard_->setGeometry(yUp(H, 20, H - 208, cw, kCardH));
    expCard_->setGeometry(yUp(H, 30 + cw, H - 208, cw, kCardH));
    balCard_->setGeometry(yUp(H, 40 + 2 * cw, H - 208, cw, kCardH));

    const double fy = H - 336;
    FinUi::placeText(formHdrLbl_, H, 22, fy + 96, std::max(160.0, W - 44), 14);
    formBg_->setGeometry(yUp(H, 20, fy, W - 40, 94));
    // Pop-ups and the Add button widen for their longest item; the name field gives up the room.
    auto longest = [](QComboBox *c) {
        int w = 0;
        for (int i = 0; i < c->count(); ++i)
            w = std::max(w, textRoom(c->font(), c->itemText(i), 0));
        return w;
    };
    const int typeW = std::max(126, longest(formTypePop_) + 40);
    const int catW = std::max(134, longest(formCatPop_) + 40);
    const double nw = std::max(W - 426 - (typeW - 126) - (catW - 134), 80.0);
    formNameF_->setGeometry(yUp(H, 32, fy + 50, nw, 34));
    formAmtF_->setGeometry(yUp(H, nw + 40, fy + 50, 90, 34));
    formTypePop_->setGeometry(yUp(H, nw + 138, fy + 50, typeW, 34));
    formCatPop_->setGeometry(yUp(H, nw + 138 + typeW + 8, fy + 50, catW, 34));
    formDatePicker_->setGeometry(
        yUp(H, 32, fy + 10,
            std::max(140, textRoom(formDatePicker_->font(), QStringLiteral("00.00.0000"), 44)), 34));
    const int addW = std::max(90, textRoom(formAddBtn_->font(), formAddBtn_->text(), 20));
    formAddBtn_->setGeometry(yUp(H, W - 32 - addW, fy + 10, addW, 34));

    colHdrBar_->setGeometry(yUp(H, 0, fy - 34, W, 28));
    colHdrLine_->setGeometry(0, colHdrBar_->height() - 1, int(W), 1);
    table_->setGeometry(yUp(H, 0, 0, W, std::max(fy - 34, 0.0)));
    layoutColumnHeaders();
}

void FinanceView::layoutColumnHeaders() {
    // The headers stand over the table's columns as they are: the name column gives room to a
    // scroll bar and to wider columns at larger font scales.
    const double bh = colHdrBar_->height();
    for (int i = 0; i < colHdrLbls_.size(); ++i) {
        const double x = table_->columnViewportPosition(i);
        const double w = table_->columnWidth(i);
        FinUi::placeText(colHdrLbls_[i], bh, x + 10, 7, w - 16, 14);
        if (i > 0) colHdrSeps_[i - 1]->setGeometry(yUp(bh, x, 3, 1, 22));
    }
}
