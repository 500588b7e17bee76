#include "settings/SupportView.h"
#include "platform/Keys.h"
#include "platform/Notifier.h"
#include "settings/SettingsCard.h"
#include "settings/SettingsUi.h"
#include "settings/SettingsView.h"
#include "ui/AW.h"
#include "ui/Geometry.h"
#include "ui/Lang.h"
#include "ui/Theme.h"
#include "ui/TextFit.h"
#include "ui/TintButton.h"
#include "ui/WebLinks.h"
#include <QResizeEvent>
#include <cmath>

using SettingsUi::label;

namespace {
constexpr double kPad = 32;

// A wrapping card text; the card grows when the wrapped lines need more than its frame (a large font
// scale), so no line is lost. Returns the extra height.
double wrapped(QWidget *card, const QString &text, const QRectF &frame) {
    auto *l = label(card, text, 12.5, QFont::Normal, VF::text(), frame, Qt::AlignLeft | Qt::AlignTop);
    l->setText(text);
    l->setToolTip(QString());
    l->setWordWrap(true);
    const int need = l->fontMetrics().boundingRect(QRect(0, 0, l->width(), 100000), Qt::TextWordWrap, text).height();
    const double extra = std::max(0.0, double(need - l->height()));
    l->resize(l->width(), l->height() + int(std::ceil(extra)));
    return std::ceil(extra);
}
} // namespace

SupportLinks SupportLinks::fromBuild() {
    auto url = [](const char *text) {
        const QUrl u(QString::fromUtf8(text).trimmed(), QUrl::StrictMode);
        return u.isValid() && !u.isRelative() ? u : QUrl();
    };
    return {url(MIVO_WEBSITE_URL), url(MIVO_DONATE_URL)};
}

SupportView::SupportView(const SupportLinks &links, QWidget *parent) : Page(parent), links_(links) {
    Notifier::get().observe(Notify::languageChanged, this, [this](QObject *) { requestRebuild(); });
}

QWidget *SupportView::content() const { return flip_; }

void SupportView::setup() {
    applyBackground();
    scroll_ = SettingsUi::makeScroll(this, flip_);
    scroll_->setGeometry(rect());
    scroll_->show();
    buildContent();
}

void SupportView::rebuild() {
    if (!flip_) return;
    for (QWidget *w : flip_->findChildren<QWidget *>(QString(), Qt::FindDirectChildrenOnly)) {
        w->hide();
        w->deleteLater();
    }
    buildContent();
}

void SupportView::resizeEvent(QResizeEvent *e) {
    Page::resizeEvent(e);
    if (!scroll_ || !flip_) return;
    scroll_->setGeometry(rect());
    SettingsUi::followWidth(scroll_, width(), 480);
    flip_->resize(std::max(width(), 480), std::max(flip_->height(), height() + 1));
}

void SupportView::buildContent() {
    if (!flip_) return;
    const double cW = SettingsView::contentWidth(width());
    const double pad = kPad;
    label(flip_, L::t({.en = "❤️  Support Mivo", .es = "❤️  Apoyar Mivo", .de = "❤️  Mivo unterstützen", .fr = "❤️  Soutenir Mivo",
                       .uk = "❤️  Підтримати Mivo", .pl = "❤️  Wspieraj Mivo"}),
          26, QFont::Bold, VF::text(), QRectF(pad, 20, cW - 2 * pad, 34))
        ->show();

    double y = SettingsView::sectionHeader(
        flip_,
        L::t({.en = "💚  Why Support Mivo?", .es = "💚  ¿Por qué apoyar Mivo?", .de = "💚  Warum Mivo unterstützen?",
              .fr = "💚  Pourquoi soutenir Mivo ?", .uk = "💚  Чому підтримати Mivo?", .pl = "💚  Dlaczego wspierać Mivo?"}),
        72, cW, pad);
    const Tr why[] = {
        {.en = "🔨  Mivo is built and maintained by a solo indie developer, without any corporate funding.",
         .es = "🔨  Mivo es desarrollado y mantenido por un desarrollador independiente sin financiación corporativa.",
         .de = "🔨  Mivo wird von einem einzelnen Indie-Entwickler ohne Unternehmensfinanzierung entwickelt.",
         .fr = "🔨  Mivo est développé et maintenu par un développeur indépendant sans financement d'entreprise.",
         .uk = "🔨  Mivo створено та підтримується одним незалежним розробником без корпоративного фінансування.",
         .pl = "🔨  Mivo jest budowane i utrzymywane przez jednego niezależnego dewelopera, bez finansowania korporacyjnego."},
        {.en = "🚀  New features, bug fixes, and improvements are released regularly and for free.",
         .es = "🚀  Se publican regularmente nuevas funciones, correcciones y mejoras de forma gratuita.",
         .de = "🚀  Neue Funktionen, Fehlerbehebungen und Verbesserungen werden regelmäßig und kostenlos veröffentlicht.",
         .fr = "🚀  De nouvelles fonctionnalités, corrections et améliorations sont publiées régulièrement et gratuitement.",
         .uk = "🚀  Нові функції, виправлення помилок та покращення випускаються регулярно і безкоштовно.",
         .pl = "🚀  Nowe funkcje, poprawki błędów i ulepszenia są regularnie wydawane za darmo."},
        {.en = "❤️  Your support directly funds development time and keeps Mivo alive.",
         .es = "❤️  Tu apoyo financia directamente el tiempo de desarrollo y mantiene Mivo vivo.",
         .de = "❤️  Ihre Unterstützung finanziert direkt die Entwicklungszeit und hält Mivo am Leben.",
         .fr = "❤️  Votre soutien finance directement le temps de développement et maintient Mivo en vie.",
         .uk = "❤️  Ваша підтримка безпосередньо фінансує час розробки та підтримує Mivo.",
         .pl = "❤️  Twoje wsparcie bezpośrednio finansuje czas na rozwój i utrzymuje Mivo przy życiu."},
    };
    for (const Tr &line : why) {
        auto *card = new SettingsCard(VF::card(), VF::border(), 0.5, 10, flip_);
        const double extra = wrapped(card, L::t(line), QRectF(14, 8, cW - 92, 36));
        card->setGeometry(QRectF(pad, y, cW - 2 * pad, 52 + extra).toRect());
        card->show();
        y += 58 + extra;
    }

    if (!links_.donate.isEmpty()) {
        y = SettingsView::sectionHeader(flip_,
                                        L::t({.en = "☕  Buy me a coffee", .es = "☕  Invítame a un café", .de = "☕  Kauf mir einen Kaffee",
                                              .fr = "☕  Offre-moi un café", .uk = "☕  Купи мені каву", .pl = "☕  Kup mi kawę"}),
                                        y + 10, cW, pad);
        auto *coffee = new SettingsCard(VF::card(), VF::border(), 0.5, 12, flip_);
        coffee->setGeometry(QRectF(pad, y, cW - 2 * pad, 68).toRect());
        label(coffee,
              L::t({.en = "Even a small donation keeps development going. Every coffee counts!",
                    .es = "¡Hasta una pequeña donación mantiene el desarrollo. ¡Cada café cuenta!",
                    .de = "Schon eine kleine Spende hält die Entwicklung am Laufen. Jeder Kaffee zählt!",
                    .fr = "Même un petit don permet de continuer le développement. Chaque café compte !",
                    .uk = "Навіть невелика пожертва підтримує розробку. Кожна кава має значення!",
                    .pl = "Nawet mała darowizna podtrzymuje rozwój. Każda kawa ma znaczenie!"}),
              12, QFont::Normal, VF::sub(), yUpF(68, 14, 32, cW - 228, 14));
        const QColor gold = QColor::fromRgbF(0.96f, 0.65f, 0.14f);
        auto *donate = new TintButton(QStringLiteral("☕ ") + L::t({.en = "Donate", .es = "Donar", .de = "Spenden", .fr = "Faire un don",
                                                                    .uk = "Пожертвувати", .pl = "Przekaż darowiznę"}),
                                      gold, 0.15, 0.45, 8, coffee);
        donate->setObjectName(QStringLiteral("donateButton"));
        donate->setFont(Fonts::scaledFont(12, QFont::DemiBold));
        donate->setGeometry(yUp(68, cW - 218, 18, 140, 32));
        TextFit::growIntoRow(donate);
        const QUrl url = links_.donate;
        connect(donate, &QPushButton::clicked, AW::attach(donate, [url] { WebLinks::open(url); }), &AW::run);
        coffee->show();
        y += 78;
    }

    double end = y + 10;
    if (!links_.home.isEmpty()) {
        const double centreY = SettingsView::sectionHeader(
            flip_,
            L::t({.en = "⭐  Support Center", .es = "⭐  Centro de soporte", .de = "⭐  Support Center", .fr = "⭐  Centre d'assistance",
                  .uk = "⭐  Центр підтримки", .pl = "⭐  Centrum wsparcia"}),
            y + 10, cW, pad);
        auto *centre = new SettingsCard(VF::card(), VF::border(), 0.5, 10, flip_);
        centre->setGeometry(QRectF(pad, centreY, cW - 2 * pad, 50).toRect());
        auto *visit = new TintButton(L::t({.en = "Visit", .es = "Visitar", .de = "Besuchen", .fr = "Visiter", .uk = "Відвідати",
                                           .pl = "Odwiedź"}),
                                     VF::accent(), 0.15, 0.45, 8, centre);
        visit->setObjectName(QStringLiteral("visitButton"));
        visit->setFont(Fonts::scaledFont(13));
        visit->setGeometry(yUp(50, 14, 10, 130, 28));
        TextFit::growIntoRow(visit, Qt::RightEdge);
        const QUrl url = links_.home;
        connect(visit, &QPushButton::clicked, AW::attach(visit, [url] { WebLinks::open(url); }), &AW::run);
        centre->show();
        end = centreY + 50;
    }

    flip_->resize(int(cW), int(std::max(end + 64, double(height() + 1)))); // never moved: see SettingsView

}
