#pragma once
#include "ui/Lang.h"
#include <QString>

// The runner's and the breathing circle's texts in the six languages.
namespace RunnerTexts {
inline QString pause() { return L::t({.en = "Pause", .es = "Pausa", .de = "Pause", .fr = "Pause", .uk = "Пауза", .pl = "Pauza"}); }
inline QString resume() {
    return L::t({.en = "Resume", .es = "Reanudar", .de = "Fortsetzen", .fr = "Reprendre", .uk = "Продовжити", .pl = "Wznów"});
}
inline QString next() { return L::t({.en = "Next", .es = "Siguiente", .de = "Weiter", .fr = "Suivant", .uk = "Далі", .pl = "Dalej"}); }
inline QString close() {
    return L::t({.en = "Close", .es = "Cerrar", .de = "Schließen", .fr = "Fermer", .uk = "Закрити", .pl = "Zamknij"});
}
inline QString exerciseFinished() {
    return L::t({.en = "complete!", .es = "¡completo!", .de = "abgeschlossen!", .fr = "terminé !", .uk = "завершено!", .pl = "ukończone!"});
}
inline QString nextLead() {
    return L::t({.en = "Next:", .es = "Siguiente:", .de = "Weiter:", .fr = "Suivant:", .uk = "Далі:", .pl = "Dalej:"});
}
inline QString runFinished() {
    return L::t({.en = "Great! Exercise complete",
                 .es = "¡Genial! Ejercicio completado",
                 .de = "Super! Übung abgeschlossen",
                 .fr = "Bravo ! Exercice terminé",
                 .uk = "Чудово! Вправу завершено",
                 .pl = "Świetnie! Ćwiczenie zakończone"});
}
inline QString stepOf(qint64 n, qint64 m) {
    const QString f = L::t({.en = "Step %1 of %2", .es = "Paso %1 de %2", .de = "Schritt %1 von %2", .fr = "Étape %1 sur %2",
                            .uk = "Крок %1 з %2", .pl = "Krok %1 z %2"});
    return f.arg(n).arg(m);
}
inline QString cardTitle() {
    return L::t({.en = "Video opened in browser",
                 .es = "Video abierto en el navegador",
                 .de = "Video im Browser geöffnet",
                 .fr = "Vidéo ouverte dans le navigateur",
                 .uk = "Відео відкрито у браузері",
                 .pl = "Film otwarty w przeglądarce"});
}
inline QString cardSubtitle() {
    return L::t({.en = "Browser will open automatically",
                 .es = "El navegador se abrirá automáticamente",
                 .de = "Browser öffnet sich automatisch",
                 .fr = "Le navigateur s'ouvrira automatiquement",
                 .uk = "Браузер відкриється автоматично",
                 .pl = "Przeglądarka otworzy się automatycznie"});
}
inline QString cardButton() {
    return L::t({.en = "Open again in browser",
                 .es = "Abrir de nuevo en el navegador",
                 .de = "Erneut im Browser öffnen",
                 .fr = "Rouvrir dans le navigateur",
                 .uk = "Відкрити знову у браузері",
                 .pl = "Otwórz ponownie w przeglądarce"});
}
inline QString inhaleWord() {
    return L::t({.en = "INHALE", .es = "INHALAR", .de = "EINATMEN", .fr = "INSPIRER", .uk = "ВДИХ", .pl = "WDECH"});
}
inline QString holdWord() {
    return L::t({.en = "HOLD", .es = "RETENER", .de = "HALTEN", .fr = "RÉTENIR", .uk = "ЗАТРИМКА", .pl = "ZATRZYMAJ"});
}
inline QString exhaleWord() {
    return L::t({.en = "EXHALE", .es = "EXHALAR", .de = "AUSATMEN", .fr = "EXPIRER", .uk = "ВИДИХ", .pl = "WYDECH"});
}
} // namespace RunnerTexts
