#include "settings/SettingsView.h"
#include "health/HealthManager.h"
#include "platform/Keys.h"
#include "platform/Notifier.h"
#include "platform/Prefs.h"
#include "platform/StoreLoader.h"
#include "pomodoro/PomodoroTimer.h"
#include "settings/Autostart.h"
#include "settings/SettingsCard.h"
#include "settings/SettingsUi.h"
#include "ui/AW.h"
#include "ui/Lang.h"
#include "ui/Theme.h"
#include "ui/SwitchButton.h"
#include "ui/TextFit.h"
#include "ui/TintButton.h"
#include <QCheckBox>
#include <QResizeEvent>
#include <QScrollArea>
#include <QScrollBar>
#include <QTimer>
#include <cmath>
#include <utility>

using SettingsUi::label;
using SettingsUi::withAlpha;

namespace {
constexpr double kPad = 32;
constexpr double kMinContentW = 480;
constexpr double kZeroWidthContentW = 700;
constexpr double kRebuildWidthDelta = 2.0;

QColor resetColour() { return QColor::fromRgbF(1.0f, 0.353f, 0.0f); }
QColor eraseColour() { return QColor::fromRgbF(1.0f, 0.35f, 0.35f); }

struct ThemeCard {
    AppTheme theme;
    const char *icon;
    Tr name;
};
const ThemeCard kThemeCards[] = {
    {AppTheme::dark, "🌑", {.en = "Dark", .es = "Oscuro", .de = "Dunkel", .fr = "Sombre", .uk = "Темна", .pl = "Ciemny"}},
    {AppTheme::silver, "🪨", {.en = "Silver", .es = "Plata", .de = "Silber", .fr = "Argent", .uk = "Срібний", .pl = "Srebrny"}},
    {AppTheme::pink, "🌸", {.en = "Pink", .es = "Rosa", .de = "Rosa", .fr = "Rose", .uk = "Рожевий", .pl = "Różowy"}},
    {AppTheme::mint, "🌿", {.en = "Mint", .es = "Menta", .de = "Mint", .fr = "Menthe", .uk = "М'ята", .pl = "Miętowy"}},
};

// Section titles and row icons, top down.
const Tr kSections[] = {
    {.en = "🔔  Notifications", .es = "🔔  Notificaciones", .de = "🔔  Benachrichtigungen", .fr = "🔔  Notifications",
     .uk = "🔔  Сповіщення", .pl = "🔔  Powiadomienia"},
    {.en = "⚡  System", .es = "⚡  Sistema", .de = "⚡  System", .fr = "⚡  Système", .uk = "⚡  Система",
     .pl = "⚡  System"},
    {.en = "🗂  Data & Reset", .es = "🗂  Datos y Restablecer", .de = "🗂  Daten & Zurücksetzen",
     .fr = "🗂  Données & Réinitialisation", .uk = "🗂  Дані та скидання", .pl = "🗂  Dane i reset"},
    {.en = "📦  Import / Export", .es = "📦  Importar / Exportar", .de = "📦  Import / Export",
     .fr = "📦  Importer / Exporter", .uk = "📦  Імпорт / Експорт", .pl = "📦  Import / Eksport"},
    {.en = "🎨  Appearance", .es = "🎨  Apariencia", .de = "🎨  Erscheinungsbild", .fr = "🎨  Apparence",
     .uk = "🎨  Зовнішній вигляд", .pl = "🎨  Wygląd"},
    {.en = "🔡  Font Size", .es = "🔡  Tamaño de fuente", .de = "🔡  Schriftgröße", .fr = "🔡  Taille de police",
     .uk = "🔡  Розмір шрифту", .pl = "🔡  Rozmiar czcionki"},
    {.en = "🌐  Interface Language", .es = "🌐  Idioma de la interfaz", .de = "🌐  Sprache",
     .fr = "🌐  Langue de l'interface", .uk = "🌐  Мова інтерфейсу", .pl = "🌐  Język interfejsu"},
};
const QString kRowIcons[] = {QStringLiteral("🔕"), QStringLiteral("🔇"), QStringLiteral("🚀"), QStringLiteral("⏱"),
                             QStringLiteral("🗑"), QStringLiteral("📤"), QStringLiteral("📥")};
constexpr double kSectionPx = 11, kRowIconPx = 18, kThemeIconPx = 20;

struct ScaleCard {
    double scale;
    Tr name;
};
const ScaleCard kScaleCards[] = {
    {1.0, {.en = "Medium", .es = "Mediano", .de = "Mittel", .fr = "Moyen", .uk = "Середній", .pl = "Średni"}},
    {1.15, {.en = "Large", .es = "Grande", .de = "Groß", .fr = "Grand", .uk = "Великий", .pl = "Duży"}},
    {1.3, {.en = "Extra Large", .es = "Extra grande", .de = "Sehr groß", .fr = "Très grand", .uk = "Дуже великий", .pl = "Bardzo duży"}},
};
} // namespace

SettingsView::SettingsView(QWidget *parent) : Page(parent) {
    // Observed once for the life of the page: setup() runs again after every theme change.
    auto &n = Notifier::get();
    n.observe(Notify::languageChanged, this, [this](QObject *) { requestRebuild(); });
    n.observe(Notify::fontScaleChanged, this, [this](QObject *) { requestRebuild(); });
}

QWidget *SettingsView::content() const { return flip_; }

double SettingsView::contentWidth(double w) { return std::max(w > 0 ? w : kZeroWidthContentW, kMinContentW); }

void SettingsView::setup() {
    applyBackground();
    scroll_ = SettingsUi::makeScroll(this, flip_);
    scroll_->setGeometry(rect());
    SettingsUi::followWidth(scroll_, width(), int(kMinContentW));
    scroll_->show();
    QScrollArea *s = scroll_;
    connect(s->verticalScrollBar(), &QScrollBar::valueChanged, this, [this, s](int v) {
        if (s == scroll_) scrollY_ = v;
    });
    buildContent();
    builtThisTurn_ = true;
    QTimer::singleShot(0, this, [this] { builtThisTurn_ = false; });
    // A theme or font-size change builds the page anew: it comes back where the user was, once
    // the new content has its size in the shown page.
    if (scrollY_ > 0) {
        const int y = scrollY_;
        QPointer<QScrollArea> kept(scroll_);
        QTimer::singleShot(0, this, [kept, y] { if (kept) kept->verticalScrollBar()->setValue(y); });
    }
}

void SettingsView::refresh() {
    // Put in place in the same turn setup() built it (its first show, or a theme or font-size change):
    // what the page shows was read just now, and building it again would only double that show's work.
    // Stores still loading are waited for as every page waits for them.
    if (std::exchange(builtThisTurn_, false) && !StoreLoader::get().loading()) return;
    Page::refresh();
}

void SettingsView::rebuild() {
    if (!flip_) return;
    const int scrollY = scroll_ ? scroll_->verticalScrollBar()->value() : 0;
    for (QWidget *w : flip_->findChildren<QWidget *>(QString(), Qt::FindDirectChildrenOnly)) {
        w->hide();
        w->deleteLater();
    }
    buildContent();
    if (scroll_) scroll_->verticalScrollBar()->setValue(scrollY);
}

void SettingsView::resizeEvent(QResizeEvent *e) {
    Page::resizeEvent(e);
    if (!scroll_ || !flip_) return;
    scroll_->setGeometry(rect());
    SettingsUi::followWidth(scroll_, width(), int(kMinContentW));
    const double w = width();
    if (std::abs(w - lastBuiltWidth_) > kRebuildWidthDelta) {
        requestRebuild(); // queued and merged: live resizing builds once, not per layout pass
        return;
    }
    flip_->resize(int(std::max(w, kMinContentW)), std::max(flip_->height(), height() + 1));
}

double SettingsView::sectionHeader(QWidget *flip, const QString &title, double y, double cW, double pad) {
    label(flip, title, kSectionPx, QFont::DemiBold, VF::muted(), QRectF(pad, y, cW - 2 * pad, 16))->show();
    auto *rule = new SettingsCard(VF::border(), Qt::transparent, 0, 0, flip);
    rule->setGeometry(QRectF(pad, y + 20, cW - 2 * pad, 1).toRect());
    rule->show();
    return y + 30;
}

double SettingsView::hintLine(const QString &text, double y, double cW, double pad) {
    label(flip_, text, 10.5, QFont::Normal, VF::muted(), QRectF(pad, y, cW - 2 * pad, 14))->show();
    return y;
}

double SettingsView::toggleRow(const QString &icon, const QString &text, bool isOn, double y, double cW, double pad,
                               const char *name, std::function<void(bool)> onChange) {
    const double rowW = cW - 2 * pad;
    auto *row = new SettingsCard(VF::card(), VF::border(), 0.5, 10, flip_);
    row->setGeometry(QRectF(pad, y, rowW, 50).toRect());
    label(row, icon, kRowIconPx, QFont::Normal, VF::text(), QRectF(14, 13, 26, 24), Qt::AlignCenter);
    label(row, text, 13, QFont::Medium, VF::text(), QRectF(46, 16, cW - 2 * pad - 140, 18));
    auto *sw = new SwitchButton(row);
    sw->setObjectName(QLatin1String(name));
    sw->setChecked(isOn);
    sw->setGeometry(QRectF(rowW - 60, 14, 50, 22).toRect());
    QCheckBox *swRef = sw;
    connect(sw, &QCheckBox::clicked, AW::attach(sw, [swRef, onChange] { onChange(swRef->isChecked()); }), &AW::run);
    row->show();
    return y + 58;
}

double SettingsView::actionRow(const QString &icon, const QString &text, const QString &button, const QColor &tint,
                               double y, double cW, double pad, const char *name, std::function<void()> action) {
    const double rowW = cW - 2 * pad;
    auto *row = new SettingsCard(VF::card(), VF::border(), 0.5, 10, flip_);
    row->setGeometry(QRectF(pad, y, rowW, 50).toRect());
    label(row, icon, kRowIconPx, QFont::Normal, VF::text(), QRectF(14, 13, 26, 24), Qt::AlignCenter);
    label(row, text, 13, QFont::Medium, VF::text(), QRectF(46, 16, cW - 2 * pad - 200, 18));
    auto *b = new TintButton(button, tint, 0.15, 0.45, 8, row);
    b->setObjectName(QLatin1String(name));
    b->setFont(Fonts::scaledFont(12, QFont::DemiBold));
    b->setGeometry(QRectF(rowW - 140, 12, 130, 26).toRect());
    TextFit::growIntoRow(b);
    connect(b, &QPushButton::clicked, AW::attach(b, std::move(action)), &AW::run);
    row->show();
    return y + 58;
}

bool SettingsView::disableAllShownOn() {
    if (!PomodoroTimer::shared().notificationsEnabled()) return true;
    const Prefs &p = Prefs::get();
    for (const HReminder &r : HealthManager::shared().list())
        if (p.isBool(r.onKey) && !p.boolValue(r.onKey)) return true;
    return false;
}

void SettingsView::buildContent() {
    if (!flip_) return;
    const double cW = contentWidth(width());
    lastBuiltWidth_ = width();
    const double pad = kPad;

    label(flip_, L::t({.en = "⚙️  Settings", .es = "⚙️  Ajustes", .de = "⚙️  Einstellungen", .fr = "⚙️  Paramètres",
                       .uk = "⚙️  Налаштування", .pl = "⚙️  Ustawienia"}),
          26, QFont::Bold, VF::text(), QRectF(pad, 20, cW - 2 * pad, 34))
        ->show();

    double y = sectionHeader(flip_, L::t(kSections[0]),
                             72, cW, pad);
    y = toggleRow(kRowIcons[0],
                  L::t({.en = "Disable all notifications", .es = "Desactivar todas las notificaciones",
                        .de = "Alle Benachrichtigungen deaktivieren", .fr = "Désactiver toutes les notifications",
                        .uk = "Вимкнути всі сповіщення", .pl = "Wyłącz wszystkie powiadomienia"}),
                  disableAllShownOn(), y, cW, pad, "disableAllSwitch", [](bool s) {
                      PomodoroTimer::shared().setNotificationsEnabled(!s);
                      HealthManager &h = HealthManager::shared();
                      for (const HReminder &r : h.list()) h.setOn(!s, r);
                  });
    y = toggleRow(kRowIcons[1],
                  L::t({.en = "Mute notification sounds", .es = "Silenciar sonidos de notificación",
                        .de = "Benachrichtigungstöne stummschalten", .fr = "Désactiver les sons de notification",
                        .uk = "Вимкнути звуки сповіщень", .pl = "Wycisz dźwięki powiadomień"}),
                  !PomodoroTimer::shared().soundEnabled(), y, cW, pad, "muteSwitch", [](bool s) {
                      PomodoroTimer::shared().setSoundEnabled(!s);
                      for (const HReminder &r : HealthManager::shared().list()) Prefs::get().setBool(r.soundKey, !s);
                  });
    y += 8;

    y = sectionHeader(flip_, L::t(kSections[1]),
                      y, cW, pad);
    // The once-only default ran at launch (prepareAtLaunch): the page only shows the file's state.
    const bool autostartOn = Autostart::isOn();
    y = toggleRow(kRowIcons[2],
                  L::t({.en = "Autostart at login", .es = "Inicio automático al iniciar sesión", .de = "Autostart beim Login",
                        .fr = "Démarrage automatique à la connexion", .uk = "Автозапуск при вході в систему",
                        .pl = "Autostart przy logowaniu"}),
                  autostartOn, y, cW, pad, "autostartSwitch", [](bool s) { setAutostart(s); });
    y += 8;

    y = sectionHeader(flip_, L::t(kSections[2]),
                      y, cW, pad);
    QPointer<SettingsView> self(this);
    y = actionRow(kRowIcons[3],
                  L::t({.en = "Reset all notification timers to defaults", .es = "Restablecer todos los temporizadores",
                        .de = "Alle Timer auf Standardwerte zurücksetzen", .fr = "Réinitialiser tous les minuteurs",
                        .uk = "Скинути всі таймери сповіщень до значень за замовчуванням",
                        .pl = "Zresetuj wszystkie timery powiadomień do domyślnych"}),
                  L::t({.en = "Reset timers", .es = "Restablecer", .de = "Timer zurücksetzen", .fr = "Réinitialiser",
                        .uk = "Скинути таймери", .pl = "Resetuj timery"}),
                  resetColour(), y, cW, pad, "resetButton", [self] {
                      if (self) self->resetTimerDefaults();
                  });
    y = actionRow(kRowIcons[4],
                  L::t({.en = "Erase all settings and data", .es = "Borrar todos los ajustes y datos",
                        .de = "Alle Einstellungen und Daten löschen", .fr = "Effacer tous les paramètres et données",
                        .uk = "Стерти всі налаштування та дані", .pl = "Usuń wszystkie ustawienia i dane"}),
                  L::t({.en = "Erase all", .es = "Borrar todo", .de = "Alles löschen", .fr = "Tout effacer", .uk = "Стерти все",
                        .pl = "Usuń wszystko"}),
                  eraseColour(), y, cW, pad, "eraseButton", [self] {
                      if (self) self->eraseAllData();
                  });
    y += 8;

    y = sectionHeader(flip_, L::t(kSections[3]),
                      y, cW, pad);
    y = actionRow(kRowIcons[5],
                  L::t({.en = "Export all settings & data (JSON)", .es = "Exportar todos los ajustes y datos (JSON)",
                        .de = "Alle Einstellungen & Daten exportieren (JSON)",
                        .fr = "Exporter tous les paramètres et données (JSON)",
                        .uk = "Експортувати всі налаштування та дані (JSON)",
                        .pl = "Eksportuj wszystkie ustawienia i dane (JSON)"}),
                  L::t({.en = "Export JSON", .es = "Exportar JSON", .de = "JSON exportieren", .fr = "Exporter JSON",
                        .uk = "Експортувати JSON", .pl = "Eksportuj JSON"}),
                  VF::accent(), y, cW, pad, "exportButton", [self] {
                      if (self) self->exportAllData();
                  });
    y = actionRow(kRowIcons[6],
                  L::t({.en = "Import settings & data (JSON)", .es = "Importar ajustes y datos (JSON)",
                        .de = "Einstellungen & Daten importieren (JSON)", .fr = "Importer les paramètres et données (JSON)",
                        .uk = "Імпортувати налаштування та дані (JSON)", .pl = "Importuj ustawienia i dane (JSON)"}),
                  L::t({.en = "Import JSON", .es = "Importar JSON", .de = "JSON importieren", .fr = "Importer JSON",
                        .uk = "Імпортувати JSON", .pl = "Importuj JSON"}),
                  VF::accent(), y, cW, pad, "importButton", [self] {
                      if (self) self->importAllData();
                  });
    y += 16;

    y = sectionHeader(flip_, L::t(kSections[4]),
                      y, cW, pad);
    y = themeRow(y, cW, pad) + 24;
    y = sectionHeader(flip_, L::t(kSections[5]),
                      y, cW, pad);
    y = fontScaleRow(y, cW, pad) + 24;
    y = sectionHeader(flip_, L::t(kSections[6]),
                      y, cW, pad);
    const double end = languageRow(y, cW, pad) + 72;

    // Resized, never moved: the scroll area places the content where its scroll bar says, and a
    // content put back at the top under a bar left at the bottom stops the wheel from scrolling.
    flip_->resize(int(cW), int(std::max(end, double(height() + 1))));
}

double SettingsView::themeRow(double y, double cW, double pad) {
    hintLine(L::t({.en = "Theme changes apply instantly — no restart needed.", .es = "Los cambios de tema se aplican al instante.",
                   .de = "Designänderungen werden sofort angewendet.",
                   .fr = "Les changements de thème s'appliquent instantanément.",
                   .uk = "Зміни теми застосовуються миттєво — перезапуск не потрібен.",
                   .pl = "Zmiany motywu są stosowane natychmiast — nie trzeba ponownie uruchamiać."}),
             y, cW, pad);
    const double cardW = (cW - 2 * pad - 24) / 4;
    const AppTheme current = VF::theme();
    QPointer<SettingsView> self(this);
    for (int i = 0; i < 4; ++i) {
        const ThemeCard &tc = kThemeCards[i];
        const bool chosen = tc.theme == current;
        auto *card = new SettingsCard(chosen ? withAlpha(VF::accent(), 0.18) : VF::card(), chosen ? VF::accent() : VF::border(),
                                      chosen ? 1.5 : 0.5, 10, flip_);
        card->setObjectName(QStringLiteral("themeCard_") + AppThemes::rawValue(tc.theme));
        card->setGeometry(QRectF(pad + i * (cardW + 8), y + 22, cardW, 50).toRect());
        label(card, QString::fromUtf8(tc.icon), kThemeIconPx, QFont::Normal, VF::text(), QRectF(14, 11, 30, 28), Qt::AlignCenter);
        label(card, L::t(tc.name), 13, chosen ? QFont::DemiBold : QFont::Medium, chosen ? VF::accent() : VF::text(),
              QRectF(48, 16, cardW - 60 - (chosen ? 20 : 0), 18));
        if (chosen)
            label(card, QStringLiteral("✓"), 13, QFont::Bold, VF::accent(), QRectF(cardW - 30, 16, 20, 18), Qt::AlignCenter);
        const AppTheme theme = tc.theme;
        card->onClick = [self, theme] {
            if (!self || VF::theme() == theme) return;
            VF::setTheme(theme);
            Notifier::get().post(Notify::themeChanged);
            self->requestRebuild();
        };
        card->show();
    }
    return y + 72;
}

double SettingsView::fontScaleRow(double y, double cW, double pad) {
    const QString hintEn = QStringLiteral("Font size applies to all app text — takes effect instantly.");
    hintLine(L::lang() == AppLang::pl ? hintEn
                                      : L::t({.en = "Font size applies to all app text — takes effect instantly.",
                                              .es = "El tamaño se aplica a todos los textos — efecto inmediato.",
                                              .de = "Schriftgröße gilt für alle Texte – sofort wirksam.",
                                              .fr = "La taille s'applique à tous les textes – effet immédiat.",
                                              .uk = "Розмір шрифту застосовується до всього тексту додатку — діє миттєво.",
                                              .pl = "Font size applies to all app text — takes effect instantly."}),
             y, cW, pad);
    const double cardW = (cW - 2 * pad - 16) / 3;
    const double current = VF::fontScale();
    QPointer<SettingsView> self(this);
    for (int i = 0; i < 3; ++i) {
        const ScaleCard &sc = kScaleCards[i];
        const bool chosen = std::abs(current - sc.scale) < 0.01;
        auto *card = new SettingsCard(chosen ? withAlpha(VF::accent(), 0.18) : VF::card(), chosen ? VF::accent() : VF::border(),
                                      chosen ? 1.5 : 0.5, 10, flip_);
        card->setObjectName(QStringLiteral("scaleCard_%1").arg(i));
        card->setGeometry(QRectF(pad + i * (cardW + 8), y + 22, cardW, 50).toRect());
        // "Aa" shows each card's own size, whatever the current scale.
        auto *aa = label(card, QStringLiteral("Aa"), 12, QFont::Medium, chosen ? VF::accent() : VF::text(),
                         QRectF(10, 13, 34, 24), Qt::AlignCenter);
        aa->setFont(Fonts::plainFont(12 * sc.scale, QFont::Medium));
        aa->setProperty(Fonts::kFixedSizeProperty, true);
        label(card, L::t(sc.name), 11, chosen ? QFont::DemiBold : QFont::Normal, chosen ? VF::accent() : VF::text(),
              QRectF(46, 17.5, cardW - 56 - (chosen ? 22 : 0), 15));
        if (chosen)
            label(card, QStringLiteral("✓"), 12, QFont::Bold, VF::accent(), QRectF(cardW - 26, 17, 18, 16), Qt::AlignCenter);
        const double scale = sc.scale;
        card->onClick = [self, scale] {
            if (!self || std::abs(VF::fontScale() - scale) <= 0.01) return;
            Prefs::get().setDouble(kFontScale, scale);
            Notifier::get().post(Notify::fontScaleChanged);
            self->requestRebuild();
        };
        card->show();
    }
    return y + 72;
}

double SettingsView::languageRow(double y, double cW, double pad) {
    const QString hintEn = QStringLiteral("Language changes apply instantly — no restart needed.");
    hintLine(L::lang() == AppLang::pl
                 ? hintEn
                 : L::t({.en = "Language changes apply instantly — no restart needed.",
                         .es = "Los cambios de idioma se aplican al instante — no se necesita reinicio.",
                         .de = "Sprachänderungen werden sofort angewendet – kein Neustart erforderlich.",
                         .fr = "Les changements de langue s'appliquent instantanément — pas besoin de redémarrer.",
                         .uk = "Зміни мови застосовуються миттєво — перезапуск не потрібен.",
                         .pl = "Language changes apply instantly — no restart needed."}),
             y, cW, pad);
    const double btnW = (cW - 2 * pad - 8) / 2;
    const AppLang current = L::lang();
    double rowTop = y + 20;
    for (size_t i = 0; i < AppLangs::allCases.size(); ++i) {
        const AppLang lang = AppLangs::allCases[i];
        const bool chosen = lang == current;
        const double top = y + 20 + double(i / 2) * 44;
        rowTop = top;
        auto *b = new TintButton(AppLangs::displayName(lang), chosen ? VF::accent() : VF::sub(), 0, 0, 7, flip_);
        if (chosen)
            b->setLook(VF::accent(), QColor::fromRgbF(0.13f, 0.77f, 0.37f, 0.1f), VF::accent());
        else
            b->setLook(VF::sub(), Qt::transparent, Qt::transparent);
        b->setObjectName(QStringLiteral("langButton_") + AppLangs::rawValue(lang));
        b->setFont(Fonts::scaledFont(12.5, chosen ? QFont::Bold : QFont::Normal));
        b->setGeometry(QRectF(pad + double(i % 2) * (btnW + 8), top, btnW, 38).toRect());
        SettingsUi::fitButtonTitle(b);
        connect(b, &QPushButton::clicked, AW::attach(b, [lang] {
                    if (L::lang() == lang) return;
                    L::setLang(lang);
                    Notifier::get().post(Notify::languageChanged);
                }),
                &AW::run);
        b->show();
    }
    return rowTop + 38;
}

QList<EmojiPrep::Text> SettingsView::emojiShown() {
    QList<EmojiPrep::Text> out;
    for (const Tr &t : kSections) out.append({L::t(t), Fonts::scaledFont(kSectionPx, QFont::DemiBold)});
    for (const QString &icon : kRowIcons) out.append({icon, Fonts::scaledFont(kRowIconPx)});
    for (const ThemeCard &tc : kThemeCards) out.append({QString::fromUtf8(tc.icon), Fonts::scaledFont(kThemeIconPx)});
    return out;
}
