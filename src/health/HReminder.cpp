#include "health/HReminder.h"

#include "platform/Keys.h"
#include "ui/Lang.h"

namespace {
QColor rgb(double r, double g, double b) {
    return QColor::fromRgbF(float(r), float(g), float(b), 1.0f);
}
QString k(const char *key) {
    return QString::fromLatin1(key);
}
} // namespace

std::vector<HReminder> HReminder::all() {
    return {
        {k(kWaterMins), k(kWaterOn), k(kWaterSnd),
         L::t({.en = "Water", .es = "Agua", .de = "Wasser", .fr = "Eau", .uk = "Вода", .pl = "Woda"}),
         QStringLiteral("\U0001F4A7"), 60,
         L::t({.en = "Drink a glass of water — your body will thank you!",
               .es = "¡Bebe un vaso de agua — tu cuerpo te lo agradecerá!",
               .de = "Trinke ein Glas Wasser — dein Körper wird es dir danken!",
               .fr = "Bois un verre d'eau — ton corps t'en remerciera !",
               .uk = "Випий склянку води — твоє тіло подякує тобі!",
               .pl = "Wypij szklankę wody — twoje ciało ci podziękuje!"}),
         rgb(0.2, 0.6, 1.0), k(kWaterTarget), k(kWaterShown), k(kWaterShownDate)},
        {k(kEyesMins), k(kEyesOn), k(kEyesSnd),
         L::t({.en = "Eyes 20-20-20",
               .es = "Ojos 20-20-20",
               .de = "Augen 20-20-20",
               .fr = "Yeux 20-20-20",
               .uk = "Очі 20-20-20",
               .pl = "Oczy 20-20-20"}),
         QStringLiteral("\U0001F441"), 18,
         L::t({.en = "Look at something 20 ft away for 20 seconds.",
               .es = "Mira algo a 6 m de distancia durante 20 segundos.",
               .de = "Schaue 20 Sekunden auf etwas 6 m entfernt.",
               .fr = "Regarde quelque chose à 6 m pendant 20 secondes.",
               .uk = "Подивись на щось на відстані 6 м протягом 20 секунд.",
               .pl = "Patrz na coś odległego o 6 m przez 20 sekund."}),
         rgb(0.4, 0.9, 0.8), k(kEyesTarget), k(kEyesShown), k(kEyesShownDate)},
        {k(kPostureMins), k(kPostureOn), k(kPostureSnd),
         L::t({.en = "Posture",
               .es = "Postura",
               .de = "Haltung",
               .fr = "Posture",
               .uk = "Постава",
               .pl = "Postura"}),
         QStringLiteral("\U0001F9D8"), 36,
         L::t({.en = "Check posture: back straight, shoulders relaxed.",
               .es = "Comprueba la postura: espalda recta, hombros relajados.",
               .de = "Haltung prüfen: Rücken gerade, Schultern entspannt.",
               .fr = "Vérifiez votre posture : dos droit, épaules détendues.",
               .uk = "Перевір поставу: спина пряма, плечі розслаблені.",
               .pl = "Sprawdź postawę: plecy proste, ramiona rozluźnione."}),
         rgb(1.0, 0.353, 0.0), k(kPostureTarget), k(kPostureShown), k(kPostureShownDate)},
        {k(kStretchMins), k(kStretchOn), k(kStretchSnd),
         L::t({.en = "Stretch",
               .es = "Estiramiento",
               .de = "Dehnen",
               .fr = "Étirement",
               .uk = "Розтяжка",
               .pl = "Rozciąganie"}),
         QStringLiteral("\U0001F938"), 72,
         L::t({.en = "Stand up and stretch! 2 minutes keeps you in shape.",
               .es = "¡Levántate y estírate! 2 minutos te mantienen en forma.",
               .de = "Aufstehen und dehnen! 2 Minuten halten dich fit.",
               .fr = "Levez-vous et étirez-vous ! 2 minutes vous gardent en forme.",
               .uk = "Встань і потягнися! 2 хвилини підтримують форму.",
               .pl = "Wstań i rozciągnij się! 2 minuty utrzymają cię w formie."}),
         rgb(0.9, 0.4, 0.7), k(kStretchTarget), k(kStretchShown), k(kStretchShownDate)},
    };
}
