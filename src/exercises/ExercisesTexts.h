#pragma once
#include "ui/Lang.h"

// The exercises page's texts in the six languages.
namespace ExTexts {
inline QString pageName() {
    return L::t({.en = "Exercises",
                 .es = "Ejercicios",
                 .de = "Übungen",
                 .fr = "Exercices",
                 .uk = "Вправи",
                 .pl = "Ćwiczenia"});
}
inline QString subtitle() {
    return L::t({.en = "Exercise library with step-by-step timers",
                 .es = "Biblioteca de ejercicios con temporizadores",
                 .de = "Übungsbibliothek mit Schritt-für-Schritt-Timern",
                 .fr = "Bibliothèque d'exercices avec minuteurs",
                 .uk = "Бібліотека вправ з покроковими таймерами",
                 .pl = "Biblioteka ćwiczeń z krokowymi timerami"});
}
inline QString create() {
    return L::t(
        {.en = "Create", .es = "Crear", .de = "Erstellen", .fr = "Créer", .uk = "Створити", .pl = "Utwórz"});
}
inline QString importWord() {
    return L::t({.en = "Import",
                 .es = "Importar",
                 .de = "Importieren",
                 .fr = "Importer",
                 .uk = "Імпортувати",
                 .pl = "Importuj"});
}
inline QString exportWord() {
    return L::t({.en = "Export",
                 .es = "Exportar",
                 .de = "Exportieren",
                 .fr = "Exporter",
                 .uk = "Експортувати",
                 .pl = "Eksportuj"});
}
inline QString playlistTitle() {
    return L::t({.en = "PLAYLIST",
                 .es = "LISTA DE REPRODUCCIÓN",
                 .de = "WIEDERGABELISTE",
                 .fr = "LISTE DE LECTURE",
                 .uk = "ПЛЕЙЛИСТ",
                 .pl = "PLAYLIST"});
}
inline QString run() {
    return L::t(
        {.en = "Run", .es = "Iniciar", .de = "Starten", .fr = "Lancer", .uk = "Запустити", .pl = "Uruchom"});
}
inline QString resume() {
    return L::t({.en = "Resume",
                 .es = "Reanudar",
                 .de = "Fortsetzen",
                 .fr = "Reprendre",
                 .uk = "Продовжити",
                 .pl = "Wznów"});
}
// "6 кроків": the number of steps with the form it asks for.
inline QString stepsCount(qint64 n) {
    return L::counted(n, {.one = {.en = "step", .es = "paso", .de = "Schritt", .fr = "étape", .uk = "крок", .pl = "krok"},
                          .few = {.en = "steps", .es = "pasos", .de = "Schritte", .fr = "étapes", .uk = "кроки", .pl = "kroki"},
                          .many = {.en = "steps", .es = "pasos", .de = "Schritte", .fr = "étapes", .uk = "кроків", .pl = "kroków"}});
}
inline QString selectHint() {
    return L::t({.en = "← Select an exercise from the list",
                 .es = "← Selecciona un ejercicio",
                 .de = "← Übung aus der Liste wählen",
                 .fr = "← Sélectionnez un exercice",
                 .uk = "← Виберіть вправу зі списку",
                 .pl = "← Wybierz ćwiczenie z listy"});
}
inline QString start() {
    return L::t(
        {.en = "Start", .es = "Iniciar", .de = "Start", .fr = "Démarrer", .uk = "Старт", .pl = "Start"});
}
inline QString edit() {
    return L::t({.en = "Edit",
                 .es = "Editar",
                 .de = "Bearbeiten",
                 .fr = "Modifier",
                 .uk = "Редагувати",
                 .pl = "Edytuj"});
}
inline QString exportThis() {
    return L::t({.en = "Export this",
                 .es = "Exportar",
                 .de = "Exportieren",
                 .fr = "Exporter",
                 .uk = "Експортувати",
                 .pl = "Eksportuj"});
}
inline QString importOne() {
    return L::t({.en = "Import one",
                 .es = "Importar",
                 .de = "Importieren",
                 .fr = "Importer",
                 .uk = "Імпортувати",
                 .pl = "Importuj"});
}
inline QString stepsHeader() {
    return L::t(
        {.en = "STEPS", .es = "PASOS", .de = "SCHRITTE", .fr = "ÉTAPES", .uk = "КРОКИ", .pl = "KROKI"});
}
inline QString deleteQuestion() {
    return L::t({.en = "Delete exercise?",
                 .es = "¿Eliminar el ejercicio?",
                 .de = "Übung löschen?",
                 .fr = "Supprimer l'exercice ?",
                 .uk = "Видалити вправу?",
                 .pl = "Usunąć ćwiczenie?"});
}
inline QString deleteWord() {
    return L::t({.en = "Delete",
                 .es = "Eliminar",
                 .de = "Löschen",
                 .fr = "Supprimer",
                 .uk = "Видалити",
                 .pl = "Usuń"});
}
inline QString dragHint() {
    return L::t({.en = "← Drag exercises here",
                 .es = "← Arrastra ejercicios aquí",
                 .de = "← Übungen hierher ziehen",
                 .fr = "← Faites glisser ici",
                 .uk = "← Перетягни вправи сюди",
                 .pl = "← Przeciągnij ćwiczenia tutaj"});
}
inline QString importComplete() {
    return L::t({.en = "Import complete",
                 .es = "Importación completa",
                 .de = "Import abgeschlossen",
                 .fr = "Importation terminée",
                 .uk = "Імпорт завершено",
                 .pl = "Import zakończony"});
}
inline QString importError() {
    return L::t({.en = "Import error",
                 .es = "Error de importación",
                 .de = "Importfehler",
                 .fr = "Erreur d'importation",
                 .uk = "Помилка імпорту",
                 .pl = "Błąd importu"});
}
inline QString oneImported() {
    return L::t({.en = "Exercise imported.",
                 .es = "Ejercicio importado.",
                 .de = "Übung importiert.",
                 .fr = "Exercice importé.",
                 .uk = "Вправу імпортовано.",
                 .pl = "Ćwiczenie zaimportowane."});
}
inline QString oneInvalid() {
    return L::t({.en = "Invalid exercise file.",
                 .es = "Archivo de ejercicio inválido.",
                 .de = "Ungültige Übungsdatei.",
                 .fr = "Fichier d'exercice invalide.",
                 .uk = "Невірний файл вправи.",
                 .pl = "Nieprawidłowy plik ćwiczenia."});
}
// "2 exercises added.": the import's count with the words its number asks for.
inline QString addedCount(qint64 n) {
    return L::counted(n, {.one = {.en = "exercise added.",
                                  .es = "ejercicio añadido.",
                                  .de = "Übung hinzugefügt.",
                                  .fr = "exercice ajouté.",
                                  .uk = "вправу додано.",
                                  .pl = "ćwiczenie dodano."},
                          .few = {.en = "exercises added.",
                                  .es = "ejercicios añadidos.",
                                  .de = "Übungen hinzugefügt.",
                                  .fr = "exercices ajoutés.",
                                  .uk = "вправи додано.",
                                  .pl = "ćwiczenia dodano."},
                          .many = {.en = "exercises added.",
                                   .es = "ejercicios añadidos.",
                                   .de = "Übungen hinzugefügt.",
                                   .fr = "exercices ajoutés.",
                                   .uk = "вправ додано.",
                                   .pl = "ćwiczeń dodano."}});
}
inline QString listInvalid() {
    return L::t({.en = "Invalid JSON export.",
                 .es = "Export JSON no válido.",
                 .de = "Ungültiger JSON-Export.",
                 .fr = "Export JSON invalide.",
                 .uk = "Недійсний JSON-експорт.",
                 .pl = "Nieprawidłowy eksport JSON."});
}
} // namespace ExTexts
