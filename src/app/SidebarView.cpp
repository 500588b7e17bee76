#include "app/SidebarView.h"

#include "app/NavItem.h"
#include "ui/Fonts.h"
#include "ui/Geometry.h"
#include "ui/Lang.h"
#include "ui/NewsPanel.h"
#include "ui/Tag.h"
#include "ui/Theme.h"
#include <QLabel>
#include <QPointer>
#include <QVBoxLayout>
#include <algorithm>

namespace {
constexpr int kBrandTag = 1001;
constexpr int kSubtitleTag = 1002;
constexpr int kHeaderTagBase = 2000;

// Which page ids belong to which group, whatever the language.
const std::vector<std::vector<QString>> &groupIds() {
    static const std::vector<std::vector<QString>> g = {
        {"pomodoro", "exercises", "alarms", "notes"},
        {"tasks", "calendar", "finances"},
        {"statistics", "settings", "support"},
    };
    return g;
}

void setTextColor(QLabel *l, const QColor &c) {
    QPalette p = l->palette();
    p.setColor(QPalette::WindowText, c);
    l->setPalette(p);
}

QLabel *makeLabel(QWidget *parent, const QString &text, const QFont &font, const QColor &color) {
    auto *l = new QLabel(text, parent);
    l->setFont(font);
    setTextColor(l, color);
    l->show();
    return l;
}
} // namespace

const QStringList &SidebarView::pageIds() {
    static const QStringList ids = [] {
        QStringList out;
        for (const auto &g : groupIds()) out.append(QStringList(g.begin(), g.end()));
        return out;
    }();
    return ids;
}

std::vector<SidebarView::Group> SidebarView::localizedGroups() {
    auto e = [](const char *emoji, const Tr &tr, const char *id) {
        return Entry{QString::fromUtf8(emoji), L::t(tr), QString::fromLatin1(id)};
    };
    return {
        {L::t({.en = "PRODUCTIVITY", .es = "PRODUCTIVIDAD", .de = "PRODUKTIVITÄT", .fr = "PRODUCTIVITÉ",
               .uk = "ПРОДУКТИВНІСТЬ", .pl = "PRODUKTYWNOŚĆ"}),
         {e("🍅", {.en = "Pomodoro", .es = "Pomodoro", .de = "Pomodoro", .fr = "Pomodoro", .uk = "Помодоро", .pl = "Pomodoro"}, "pomodoro"),
          e("🏆", {.en = "Exercises", .es = "Ejercicios", .de = "Übungen", .fr = "Exercices", .uk = "Вправи", .pl = "Ćwiczenia"}, "exercises"),
          e("⏰", {.en = "Reminders", .es = "Recordatorios", .de = "Erinnerungen", .fr = "Rappels", .uk = "Нагадування", .pl = "Przypomnienia"}, "alarms"),
          e("📝", {.en = "Notes", .es = "Notas", .de = "Notizen", .fr = "Notes", .uk = "Нотатки", .pl = "Notatki"}, "notes")}},
        {L::t({.en = "PLANNING", .es = "PLANIFICACIÓN", .de = "PLANUNG", .fr = "PLANIFICATION", .uk = "ПЛАНУВАННЯ",
               .pl = "PLANOWANIE"}),
         {e("📋", {.en = "Tasks", .es = "Tareas", .de = "Aufgaben", .fr = "Tâches", .uk = "Завдання", .pl = "Zadania"}, "tasks"),
          e("📅", {.en = "Calendar", .es = "Calendario", .de = "Kalender", .fr = "Calendrier", .uk = "Календар", .pl = "Kalendarz"}, "calendar"),
          e("💰", {.en = "Finances", .es = "Finanzas", .de = "Finanzen", .fr = "Finances", .uk = "Фінанси", .pl = "Finanse"}, "finances")}},
        {L::t({.en = "ANALYTICS", .es = "ANALÍTICAS", .de = "ANALYTIK", .fr = "ANALYTIQUES", .uk = "АНАЛІТИКА",
               .pl = "ANALITYKA"}),
         {e("📊", {.en = "Statistics", .es = "Estadísticas", .de = "Statistiken", .fr = "Statistiques", .uk = "Статистика", .pl = "Statystyki"}, "statistics"),
          e("⚙️", {.en = "Settings", .es = "Ajustes", .de = "Einstellungen", .fr = "Paramètres", .uk = "Налаштування", .pl = "Ustawienia"}, "settings"),
          e("❤️", {.en = "Support", .es = "Soporte", .de = "Support", .fr = "Assistance", .uk = "Підтримка", .pl = "Wsparcie"}, "support")}},
    };
}

QStringList SidebarView::emojiShown() {
    QStringList out;
    for (const Group &g : localizedGroups())
        for (const Entry &e : g.entries) out << e.emoji;
    return out;
}

QString SidebarView::subtitle() {
    return L::t({.en = "HEALTH & FLOW", .es = "SALUD & FLOW", .de = "GESUNDHEIT & FLOW", .fr = "SANTÉ & FLOW",
                 .uk = "ЗДОРОВ'Я ТА ПОТІК", .pl = "ZDROWIE I FLOW"});
}

SidebarView::SidebarView(QWidget *parent) : QWidget(parent) {
    setAutoFillBackground(true);
    brand_ = makeLabel(this, QStringLiteral("Mivo"), Fonts::scaledFont(18, QFont::Bold), QColor::fromRgbF(1.0f, 0.353f, 0.0f));
    setTag(brand_, kBrandTag);
    subtitle_ = makeLabel(this, subtitle(), Fonts::scaledFont(9, QFont::DemiBold), VF::muted());
    setTag(subtitle_, kSubtitleTag);
    newsSlot_ = new QWidget(this);
    newsSlot_->setObjectName(QStringLiteral("newsSlot"));
    // The news is fetched once, when the window is first shown; the panel stays hidden unless it
    // arrives.
    auto *newsLayout = new QVBoxLayout(newsSlot_);
    newsLayout->setContentsMargins(0, 0, 0, 0);
    newsLayout->addWidget(new NewsPanel(newsSlot_));
    applyTheme();
    buildItems();
}

void SidebarView::buildItems() {
    int made = 0;
    for (const Group &g : localizedGroups()) {
        QLabel *h = makeLabel(this, g.title, Fonts::scaledFont(9, QFont::DemiBold), VF::muted());
        setTag(h, kHeaderTagBase + made);
        for (const Entry &en : g.entries) {
            auto *item = new NavItem(en.emoji, en.title, en.id, this);
            item->setActive(en.id == activeID_);
            QPointer<SidebarView> self(this);
            const QString id = en.id;
            item->onTap = [self, id] {
                if (self) self->select(id);
            };
            item->show();
            items_.push_back(item);
            ++made;
        }
    }
    layoutChildren();
}

QList<QLabel *> SidebarView::headers() const {
    QList<QLabel *> out;
    for (QObject *o : children())
        if (auto *l = qobject_cast<QLabel *>(o); l && tagOf(l) >= kHeaderTagBase) out << l;
    return out;
}

void SidebarView::select(const QString &id) {
    activeID_ = id;
    for (NavItem *it : items_) it->setActive(it->id() == id);
    if (onSelect) onSelect(id);
}

void SidebarView::rebuildNavItems() {
    // The item whose click started this may still be on the stack: delete later.
    for (NavItem *it : items_) {
        it->hide();
        it->deleteLater();
    }
    items_.clear();
    for (QLabel *h : headers()) {
        h->hide();
        h->setProperty("mivoTag", QVariant());
        h->deleteLater();
    }
    buildItems();
    subtitle_->setText(subtitle());
}

void SidebarView::applyTheme() {
    QPalette p = palette();
    p.setColor(QPalette::Window, VF::bg());
    setPalette(p);
    setTextColor(subtitle_, VF::muted());
    for (QLabel *h : headers()) setTextColor(h, VF::muted());
    for (NavItem *it : items_) it->updateAppearance();
}

void SidebarView::setSubtitleFont(const QFont &f) { subtitle_->setFont(f); }

void SidebarView::resizeEvent(QResizeEvent *) { layoutChildren(); }

void SidebarView::layoutChildren() {
    const double W = width(), H = height();
    brand_->setGeometry(yUp(H, 16, H - 52, 80, 26));
    subtitle_->setGeometry(yUp(H, 16, H - 68, 180, 14));
    const QList<QLabel *> hs = headers();
    double y = H - 90;
    for (size_t g = 0; g < groupIds().size(); ++g) {
        if (int(g) < hs.size()) hs[int(g)]->setGeometry(yUp(H, 16, y - 16, W - 32, 14));
        y -= 24;
        for (const QString &id : groupIds()[g]) {
            auto it = std::find_if(items_.begin(), items_.end(), [&](NavItem *n) { return n->id() == id; });
            if (it != items_.end()) (*it)->setGeometry(yUp(H, 8, y - NavItem::kHeight, W - 16, NavItem::kHeight));
            y -= 36;
        }
        y -= 8;
    }
    newsSlot_->setGeometry(yUp(H, 8, 8, W - 16, std::max(60.0, y - 8)));
}
