// The exercises page's file actions: export and import of all user exercises or one exercise.
#include "exercises/ExerciseFormat.h"
#include "exercises/ExerciseStore.h"
#include "exercises/ExercisesTexts.h"
#include "exercises/ExercisesView.h"
#include "platform/Dialogs.h"
#include "platform/LongText.h"
#include "pomodoro/TaskListFile.h"
#include "ui/CommonAlerts.h"

namespace {
const QStringList kJsonFilter = {QStringLiteral("JSON (*.json)")};

void writeExport(QWidget *parent, const QString &proposedName, const QByteArray &bytes) {
    const QString path = Dialogs::get().savePath(parent, ExTexts::exportWord(), proposedName, kJsonFilter);
    if (path.isEmpty()) return;
    // Written atomically: a failed write leaves any earlier file of that name as it was, and says so.
    const auto r = TaskListFile::write(path, bytes);
    if (!r.ok) alertExportFailed(parent, r.error);
}

void tell(QWidget *parent, const QString &title, const QString &text) {
    Dialogs::Alert a;
    a.title = title;
    a.text = text;
    Dialogs::get().alert(parent, a);
}

// The chosen file's bytes; nothing when cancelled or unreadable (silently), too large (reported with
// the action's error text) or holding a text too long to take in (reported with the field's name).
std::optional<QByteArray> readImport(QWidget *parent, const QString &errorText) {
    const QString path = Dialogs::get().openPath(parent, ExTexts::importWord(), kJsonFilter);
    if (path.isEmpty()) return std::nullopt;
    const auto r = ExerciseFile::read(path);
    if (r.error == ExerciseFile::ReadError::tooLarge) {
        tell(parent, ExTexts::importError(), errorText);
        return std::nullopt;
    }
    if (r.error != ExerciseFile::ReadError::none) return std::nullopt;
    if (const auto tooLong = LongText::find(r.bytes)) {
        tell(parent, ExTexts::importError(), LongText::message(*tooLong));
        return std::nullopt;
    }
    return r.bytes;
}
} // namespace

void ExercisesView::doExport() {
    writeExport(window(), QString::fromLatin1(ExerciseFormat::kAllFileName),
                ExerciseStore::shared().exportJSON());
}

void ExercisesView::doExportOne(const Exercise &exercise) {
    const auto data = ExerciseStore::shared().exportOne(exercise.id);
    if (!data) return;
    writeExport(window(), ExerciseFormat::exportFileName(exercise.name, exercise.id), *data);
}

void ExercisesView::doImportOne() {
    const auto bytes = readImport(window(), ExTexts::oneInvalid());
    if (!bytes) return;
    if (ExerciseStore::shared().importOne(*bytes))
        tell(window(), ExTexts::importComplete(), ExTexts::oneImported());
    else
        tell(window(), ExTexts::importError(), ExTexts::oneInvalid());
}

void ExercisesView::doImport() {
    const auto bytes = readImport(window(), ExTexts::listInvalid());
    if (!bytes) return;
    const int added = ExerciseStore::shared().importJSON(*bytes);
    if (added < 0)
        tell(window(), ExTexts::importError(), ExTexts::listInvalid());
    else
        tell(window(), ExTexts::importComplete(),
             QString::number(added) + QLatin1Char(' ') + ExTexts::countSuffix());
}
