#include "pomodoro/Phase.h"

#include "platform/Keys.h"
#include "ui/Lang.h"

namespace Phases {

QString rawValue(Phase p) {
    switch (p) {
    case Phase::work:
        return QStringLiteral("work");
    case Phase::rest:
        return QStringLiteral("rest");
    case Phase::longRest:
        return QStringLiteral("longRest");
    }
    return {};
}

std::optional<Phase> fromRaw(const QString &raw) {
    for (Phase p : {Phase::work, Phase::rest, Phase::longRest})
        if (raw == rawValue(p)) return p;
    return std::nullopt;
}

QString emoji(Phase p) {
    switch (p) {
    case Phase::work:
        return QStringLiteral("\U0001F9E0");
    case Phase::rest:
        return QStringLiteral("\u2615\uFE0F");
    case Phase::longRest:
        return QStringLiteral("\U0001F6CB");
    }
    return {};
}

QString label(Phase p) {
    switch (p) {
    case Phase::work:
        return L::t(
            {.en = "FOCUS", .es = "FOCO", .de = "FOKUS", .fr = "FOCUS", .uk = "ФОКУС", .pl = "FOKUS"});
    case Phase::rest:
        return L::t(
            {.en = "BREAK", .es = "PAUSA", .de = "PAUSE", .fr = "PAUSE", .uk = "ПЕРЕРВА", .pl = "PRZERWA"});
    case Phase::longRest:
        return L::t({.en = "LONG BREAK",
                     .es = "PAUSA LARGA",
                     .de = "LANGE PAUSE",
                     .fr = "LONGUE PAUSE",
                     .uk = "ДОВГА ПЕРЕРВА",
                     .pl = "DŁUGA PRZERWA"});
    }
    return {};
}

QString notifyTitle(Phase p) {
    // The banner picks its icon from the leading emoji, so these differ from emoji() on purpose.
    switch (p) {
    case Phase::work:
        return QStringLiteral("\U0001F4AA ") + L::t({.en = "Time to work!",
                                                     .es = "¡A trabajar!",
                                                     .de = "Arbeitszeit!",
                                                     .fr = "Au travail !",
                                                     .uk = "Час працювати!",
                                                     .pl = "Czas do pracy!"});
    case Phase::rest:
        return QStringLiteral("\U0001F375 ") + L::t({.en = "Break time!",
                                                     .es = "¡Descanso!",
                                                     .de = "Pause!",
                                                     .fr = "Pause !",
                                                     .uk = "Час перерви!",
                                                     .pl = "Czas na przerwę!"});
    case Phase::longRest:
        return QStringLiteral("\U0001F6CB ") + L::t({.en = "Long break!",
                                                     .es = "¡Descanso largo!",
                                                     .de = "Lange Pause!",
                                                     .fr = "Longue pause !",
                                                     .uk = "Довга перерва!",
                                                     .pl = "Długa przerwa!"});
    }
    return {};
}

QString notifyBody(Phase p, double minutes) {
    Tr before, after;
    switch (p) {
    case Phase::work:
        before = {.en = "Rested? ",
                  .es = "¡Descansado? ",
                  .de = "Erholt? ",
                  .fr = "",
                  .uk = "Відпочив? ",
                  .pl = "Wypoczęty? "};
        after = {.en = " min of deep focus!",
                 .es = " min de foco!",
                 .de = " Min Fokus!",
                 .fr = " min de focus !",
                 .uk = " хв глибокого фокусу!",
                 .pl = " min głębokiego skupienia!"};
        break;
    case Phase::rest:
        before = {.en = "Great work! ",
                  .es = "¡Buen trabajo! ",
                  .de = "Gute Arbeit! ",
                  .fr = "Bon travail ! ",
                  .uk = "Гарна робота! ",
                  .pl = "Świetna robota! "};
        after = {.en = "-min break.",
                 .es = " min.",
                 .de = " Min Pause.",
                 .fr = " min.",
                 .uk = " хв перерви.",
                 .pl = " min przerwy."};
        break;
    case Phase::longRest:
        before = {.en = "Great streak! Enjoy ",
                  .es = "¡Gran racha! ",
                  .de = "Tolle Serie! ",
                  .fr = "Belle série ! ",
                  .uk = "Чудова серія! Насолоджуйся ",
                  .pl = "Świetna seria! Ciesz się "};
        after = {.en = "-min rest.",
                 .es = " min.",
                 .de = " Min Pause.",
                 .fr = " min.",
                 .uk = " хв відпочинку.",
                 .pl = " min odpoczynku."};
        break;
    }
    // The settings reader keeps minutes finite and bounded, so the cut to an integer cannot overflow.
    return L::t(before) + QString::number(qint64(minutes)) + L::t(after);
}

QColor accentColor(Phase p) {
    switch (p) {
    case Phase::work:
        return QColor::fromRgbF(0.31f, 0.62f, 1.0f);
    case Phase::rest:
        return QColor::fromRgbF(0.22f, 0.8f, 0.6f);
    case Phase::longRest:
        return QColor::fromRgbF(1.0f, 0.353f, 0.0f);
    }
    return {};
}

const char *lengthKey(Phase p) {
    switch (p) {
    case Phase::work:
        return kWorkMins;
    case Phase::rest:
        return kBreakMins;
    case Phase::longRest:
        return kLongBreakMins;
    }
    return kWorkMins;
}

double defaultMinutes(Phase p) {
    switch (p) {
    case Phase::work:
        return 25;
    case Phase::rest:
        return 5;
    case Phase::longRest:
        return 15;
    }
    return 25;
}

} // namespace Phases
