// The export menu of the finance page and the file actions behind it.
#include "finance/FinanceFile.h"
#include "finance/FinanceStore.h"
#include "finance/FinanceView.h"
#include "platform/Background.h"
#include "platform/Dialogs.h"
#include "platform/ImportFile.h"
#include "ui/CommonAlerts.h"
#include "ui/Fonts.h"
#include "ui/Lang.h"
#include <QMenu>
#include <QPointer>
#include <QPushButton>

namespace {
const Tr kErrorTitle{.en = "Import error",
                     .es = "Error de importación",
                     .de = "Importfehler",
                     .fr = "Erreur d'importation",
                     .uk = "Помилка імпорту",
                     .pl = "Błąd importu"};
const Tr kErrorText{.en = "Could not read the file. Ensure it is a valid Mivo Finances JSON export.",
                    .es = "Archivo JSON no válido.",
                    .de = "Ungültige Finanzdatei.",
                    .fr = "Fichier JSON invalide.",
                    .uk = "Не вдалося прочитати файл. Перевірте, чи це коректний JSON-експорт Mivo.",
                    .pl = "Nie można odczytać pliku. Upewnij się, że to prawidłowy eksport JSON Mivo."};

void reportWrite(QWidget *parent, const FinanceFile::WriteResult &r) {
    if (!r.ok) alertExportFailed(parent, r.error);
}
} // namespace

void FinanceView::showExportMenu() {
    QMenu menu(this);
    menu.setFont(Fonts::scaledFont(13));
    QPointer<FinanceView> self(this);
    auto item = [&](const char *title, void (FinanceView::*action)()) {
        menu.addAction(QString::fromUtf8(title), this, [self, action] {
            if (self) (self.data()->*action)();
        });
    };
    item("📄  CSV (Google Sheets)", &FinanceView::doExportCSV);
    item("📝  TXT report", &FinanceView::doExportTXT);
    item("📋  PDF", &FinanceView::doExportPDF);
    menu.addSeparator();
    item("💾  Export JSON", &FinanceView::doExportJSON);
    item("📥  Import JSON", &FinanceView::doImportJSON);
    menu.exec(exportBtn_->mapToGlobal(exportBtn_->rect().bottomLeft()));
}

void FinanceView::doExportCSV() {
    const QString text = FinanceStore::shared().csvString(dispMonth_, dispYear_);
    const QString path =
        Dialogs::get().savePath(window(), QString(), FinReports::fileName(dispMonth_, dispYear_, ".csv"),
                                {QStringLiteral("CSV (*.csv)")});
    if (path.isEmpty()) return;
    reportWrite(window(), FinanceFile::write(path, text.toUtf8()));
}

void FinanceView::doExportTXT() {
    const QString text = FinanceStore::shared().txtReport(dispMonth_, dispYear_);
    const QString path =
        Dialogs::get().savePath(window(), QString(), FinReports::fileName(dispMonth_, dispYear_, ".txt"), {});
    if (path.isEmpty()) return;
    reportWrite(window(), FinanceFile::write(path, text.toUtf8()));
}

void FinanceView::doExportPDF() {
    const QString text = FinanceStore::shared().txtReport(dispMonth_, dispYear_);
    const QString path =
        Dialogs::get().savePath(window(), QString(), FinReports::fileName(dispMonth_, dispYear_, ".pdf"), {});
    if (path.isEmpty()) return;
    reportWrite(window(), FinanceFile::writePdf(path, text, QString::fromUtf8(FinReports::kTitle)));
}

void FinanceView::doExportJSON() {
    const QByteArray bytes = encodeEntries(FinanceStore::shared().entries());
    const QString path =
        Dialogs::get().savePath(window(), QString(), QLatin1String(FinanceFile::kJsonName), {});
    if (path.isEmpty()) return;
    reportWrite(window(), FinanceFile::write(path, bytes));
}

void FinanceView::importFailed() {
    Dialogs::Alert a;
    a.title = L::t(kErrorTitle);
    a.text = L::t(kErrorText);
    a.warning = true;
    Dialogs::get().alert(window(), a);
}

void FinanceView::doImportJSON() {
    QPointer<FinanceView> self(this);
    const QString path = Dialogs::get().openPath(window(), QString(), {QStringLiteral("JSON (*.json)")});
    if (path.isEmpty() || !self) return;
    // Read and decoded on a worker; the rest goes on here once it is in, while the page still exists.
    Background::run<FinanceFile::ReadResult>(
        this, [path] { return FinanceFile::read(path); },
        [this, self](FinanceFile::ReadResult r) {
            const QString why = ImportFile::message(r.fileError);
            if (r.tooLong || !why.isEmpty()) {
                Dialogs::Alert a;
                a.title = L::t(kErrorTitle);
                a.text = r.tooLong ? LongText::message(*r.tooLong) : why;
                a.warning = true;
                Dialogs::get().alert(window(), a);
                return;
            }
            if (!r.ok) {
                importFailed();
                return;
            }
            Dialogs::Alert q;
            q.title = L::t({.en = "Replace all records?",
                            .es = "¿Reemplazar todos los registros?",
                            .de = "Alle Einträge ersetzen?",
                            .fr = "Remplacer tous les enregistrements ?",
                            .uk = "Замінити всі записи?",
                            .pl = "Zastąpić wszystkie rekordy?"});
            q.text = QString::number(r.entries.size()) +
                     QStringLiteral(" records will be loaded. All current data will be deleted and replaced.");
            q.buttons = {replaceTitle(), cancelTitle()};
            if (Dialogs::get().alert(window(), q) != 0 || !self) return;
            if (!FinanceStore::shared().replaceAll(r.entries)) {
                importFailed();
                return;
            }
            alertImportComplete(window(), QString::number(r.entries.size()) +
                                              QStringLiteral(" records loaded. All previous data replaced."));
        });
}
