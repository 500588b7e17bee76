// The add-alarm sheet of the reminders page: time, text, optional start date and daily checkpoint.
#include "health/AlarmsRows.h"
#include "health/AlarmsUi.h"
#include "health/AlarmsView.h"
#include "health/CustomReminderStore.h"
#include "platform/Clock.h"
#include "platform/Dialogs.h"
#include "ui/CommonAlerts.h"
#include "ui/UiKit.h"
#include "ui/Fonts.h"
#include "ui/Geometry.h"
#include "ui/Lang.h"
#include "ui/Makers.h"
#include "ui/Theme.h"
#include "ui/ThemePalette.h"
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QTimeEdit>
#include <QTimer>
#include <memory>

using namespace AlarmsUi;

namespace {
// The sheet's frame at font scale 1.0; it grows with the font scale, so its captions keep fitting.
constexpr double kAccW = 440, kAccH = 190;
double sc(double v) { return v * VF::fontScale(); }

QLabel *caption(QWidget *parent, const QString &text, double x, double y, double w, double h,
                Qt::Alignment align = Qt::AlignLeft | Qt::AlignVCenter) {
    QLabel *l = mkLbl(VF::scaled(10), QFont::DemiBold, 0.5);
    l->setParent(parent);
    l->setAlignment(align);
    place(l, sc(kAccH), sc(x), sc(y), sc(w), sc(h));
    setFitText(l, text);
    return l;
}

QLineEdit *field(QWidget *parent, const QString &name, const QString &placeholder, const QFont &font) {
    auto *f = new QLineEdit(parent);
    f->setObjectName(name);
    f->setPlaceholderText(placeholder);
    f->setFont(font);
    return f;
}

void separator(QWidget *parent, double y) {
    auto *s = new QWidget(parent);
    UiKit::fillBackground(s, QColor::fromRgbF(1, 1, 1, 0.08f));
    const QRect r = yUp(sc(kAccH), 0, sc(y), sc(kAccW), 0.5);
    s->setGeometry(r.x(), r.y(), r.width(), 1);
}

// A click in the time picker picks the section under it (hour or minute), so typed digits replace
// it: left to the field alone, the click only places the caret and "07" typed into "09" is refused.
class ClickPicksSection : public QObject {
public:
    explicit ClickPicksSection(QDateTimeEdit *edit) : QObject(edit), edit_(edit) {}
    bool eventFilter(QObject *o, QEvent *e) override {
        if (e->type() == QEvent::MouseButtonRelease && static_cast<QMouseEvent *>(e)->button() == Qt::LeftButton) {
            auto *line = qobject_cast<QLineEdit *>(o);
            const QDateTimeEdit::Section s = edit_->currentSection();
            if (line && !line->hasSelectedText() && s != QDateTimeEdit::NoSection) edit_->setSelectedSection(s);
        }
        return false;
    }

private:
    QDateTimeEdit *edit_;
};

// The field's frame, made tall enough for its font.
void placeField(QWidget *f, double x, double y, double w, double h) {
    const QFontMetrics fm(f->font());
    QRect r = yUp(sc(kAccH), sc(x), sc(y), sc(w), sc(h));
    const int need = fm.height() + 8;
    if (r.height() < need) r = QRect(r.x(), r.center().y() - need / 2, r.width(), need);
    f->setGeometry(r);
}
} // namespace

void AlarmsView::showAddAlarmDialog() {
    if (!isVisible()) return;
    auto acc = std::make_unique<QWidget>();
    acc->setObjectName(QStringLiteral("addAlarmAccessory"));
    acc->setFixedSize(int(sc(kAccW)), int(sc(kAccH)));

    caption(acc.get(),
            L::t({.en = "⏰  TIME",
                  .es = "⏰  HORA",
                  .de = "⏰  ZEIT",
                  .fr = "⏰  HEURE",
                  .uk = "⏰  ЧАС",
                  .pl = "⏰  CZAS"}),
            0, 152, 130, 12);
    auto *picker = new QTimeEdit(acc.get());
    picker->setObjectName(QStringLiteral("timePicker"));
    picker->setDisplayFormat(QStringLiteral("HH:mm"));
    picker->setButtonSymbols(QAbstractSpinBox::NoButtons);
    picker->setTime(QTime(9, 0));
    if (auto *line = picker->findChild<QLineEdit *>()) line->installEventFilter(new ClickPicksSection(picker));
    picker->setFont(Fonts::scaledFont(12));
    placeField(picker, 0, 124, 108, 26);

    caption(acc.get(),
            L::t({.en = "ALARM TEXT",
                  .es = "TEXTO",
                  .de = "TEXT",
                  .fr = "TEXTE",
                  .uk = "ТЕКСТ НАГАДУВАННЯ",
                  .pl = "TEKST ALARMU"}),
            118, 152, 322, 12);
    QLineEdit *text = field(acc.get(), QStringLiteral("alarmText"),
                            L::t({.en = "e.g. Take vitamins",
                                  .es = "ej. Tomar vitaminas",
                                  .de = "z.B. Vitamine nehmen",
                                  .fr = "ex. Prendre vitamines",
                                  .uk = "напр. Прийняти вітаміни",
                                  .pl = "np. Weź witaminy"}),
                            Fonts::scaledFont(12));
    placeField(text, 118, 124, 322, 26);
    separator(acc.get(), 119);

    // The date row's heading ends in the day field's own caption; each caption stands over its field.
    const QString dateHeading = L::t({.en = "📅  START DATE  —  DD",
                                      .es = "📅  FECHA  —  DD",
                                      .de = "📅  DATUM  —  TT",
                                      .fr = "📅  DATE  —  JJ",
                                      .uk = "📅  ДАТА ПОЧАТКУ  —  ДД",
                                      .pl = "📅  DATA POCZĄTKOWA  —  DD"});
    const QString dash = QStringLiteral("  —  ");
    caption(acc.get(), dateHeading.section(dash, 0, 0), 0, 102, 200, 12)->setObjectName(QStringLiteral("dateHeading"));
    caption(acc.get(),
            L::t({.en = "(leave blank = every day)",
                  .es = "(vacío = diario)",
                  .de = "(leer = täglich)",
                  .fr = "(vide = chaque jour)",
                  .uk = "(залишити порожнім = щодня)",
                  .pl = "(zostaw puste = codziennie)"}),
            204, 102, 236, 12, Qt::AlignRight | Qt::AlignVCenter);
    const Qt::Alignment over = Qt::AlignHCenter | Qt::AlignVCenter;
    caption(acc.get(), dateHeading.section(dash, 1), 0, 84, 52, 12, over)->setObjectName(QStringLiteral("dayCaption"));
    caption(acc.get(), QStringLiteral("MM"), 56, 84, 52, 12, over)->setObjectName(QStringLiteral("monthCaption"));
    caption(acc.get(),
            L::t({.en = "YYYY", .es = "AAAA", .de = "JJJJ", .fr = "AAAA", .uk = "РРРР", .pl = "RRRR"}), 112,
            84, 70, 12, over)
        ->setObjectName(QStringLiteral("yearCaption"));
    const QFont digits = Fonts::monoDigits(13);
    QLineEdit *day = field(acc.get(), QStringLiteral("dayField"), QStringLiteral("DD"), digits);
    QLineEdit *month = field(acc.get(), QStringLiteral("monthField"), QStringLiteral("MM"), digits);
    QLineEdit *year = field(acc.get(), QStringLiteral("yearField"), QStringLiteral("YYYY"), digits);
    year->setText(QString::number(Clock::get().today().year()));
    for (QLineEdit *f : {day, month, year})
        f->setAlignment(Qt::AlignCenter);
    placeField(day, 0, 54, 52, 26);
    placeField(month, 56, 54, 52, 26);
    placeField(year, 112, 54, 70, 26);
    separator(acc.get(), 47);

    auto *checkpoint = new QCheckBox(acc.get());
    checkpoint->setObjectName(QStringLiteral("checkpointBox"));
    // Centred on the first line of its caption, which may wrap to a second.
    checkpoint->setGeometry(yUp(sc(kAccH), 0, sc(40) - sc(8) - 11, 22, 22));
    ThemePalette::applyToCheckBox(checkpoint, VF::accent());
    QLabel *cpCaption = label(acc.get(), Fonts::scaledFont(11), VF::text());
    cpCaption->setObjectName(QStringLiteral("checkpointCaption"));
    place(cpCaption, sc(kAccH), sc(28), sc(4), sc(412), sc(36), 2, true);
    cpCaption->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    setFitText(
        cpCaption,
        QStringLiteral("🔁  ") +
            L::t({.en = "Daily checkpoint — repeat every day at this time until marked Done",
                  .es = "Punto diario — repite cada día hasta completado",
                  .de = "Täglicher Checkpoint — täglich wiederholen bis erledigt",
                  .fr = "Point quotidien — se répète chaque jour jusqu'à terminé",
                  .uk = "Щоденний чекпоінт — повторюється щодня у цей час до позначення «Виконано»",
                  .pl = "Dzienny punkt kontrolny — powtarza się codziennie o tej godzinie, aż zostanie "
                        "oznaczone jako gotowe"}),
        2);

    Dialogs::Alert alert;
    alert.title = L::t({.en = "New Alarm",
                        .es = "Nueva alarma",
                        .de = "Neuer Alarm",
                        .fr = "Nouvelle alarme",
                        .uk = "Нове нагадування",
                        .pl = "Nowy alarm"});
    alert.text = L::t({.en = "Set a time and optional start date. Leave date blank to repeat every day.",
                       .es = "Hora y fecha opcional. Deja vacío para repetir cada día.",
                       .de = "Zeit und optionales Startdatum. Datum leer lassen für täglich.",
                       .fr = "Heure et date optionnelle. Laissez vide pour chaque jour.",
                       .uk = "Встанови час і необов'язкову дату початку. Залиш дату порожньою для щоденного "
                             "повторення.",
                       .pl = "Set a time and optional start date. Leave date blank to repeat every day."});
    alert.buttons = {QStringLiteral("＋  ") + L::t({.en = "Add",
                                                    .es = "Agregar",
                                                    .de = "Hinzufügen",
                                                    .fr = "Ajouter",
                                                    .uk = "Додати",
                                                    .pl = "Dodaj"}),
                     cancelTitle()};
    alert.accessory = acc.get();
    QPointer<QLineEdit> focus(text);
    QTimer::singleShot(0, text, [focus] {
        if (focus) focus->setFocus();
    });

    QPointer<AlarmsView> self(this);
    const int answer = Dialogs::get().alert(this, alert);
    if (answer != 0) return;

    const QTime t = picker->time();
    const StartDateInput date = AlarmsRows::parseStartDate(day->text(), month->text(), year->text());
    if (!date.valid) {
        Dialogs::Alert bad;
        bad.title = L::t({.en = "Invalid date",
                          .es = "Fecha inválida",
                          .de = "Ungültiges Datum",
                          .fr = "Date invalide",
                          .uk = "Недійсна дата",
                          .pl = "Nieprawidłowa data"});
        bad.text = L::t({.en = "Enter Day, Month, Year correctly — or leave all blank for daily.",
                         .es = "Ingrese Día, Mes, Año — o deje en blanco para diario.",
                         .de = "Tag, Monat, Jahr korrekt eingeben — oder leer für täglich.",
                         .fr = "Entrez Jour, Mois, Année — ou laissez tout vide pour quotidien.",
                         .uk = "Введи День, Місяць, Рік правильно — або залиш все порожнім для щоденного.",
                         .pl = "Enter Day, Month, Year correctly — or leave all blank for daily."});
        bad.warning = true;
        Dialogs::get().alert(self ? self.data() : nullptr, bad);
        return;
    }
    const CustomReminder r =
        AlarmsRows::newAlarm(t.hour(), t.minute(), text->text(), date, checkpoint->isChecked());
    CustomReminderStore::shared().add(r);
    if (!self) return;
    self->setSelectedItem(AlarmsRows::customRowId(r.id));
}
