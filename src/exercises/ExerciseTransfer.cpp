// The exercises page's file actions: export and import of all user exercises or one exercise.
#include "exercises/ExerciseFormat.h"
#include "exercises/ExerciseStore.h"
#include "exercises/ExercisesTexts.h"
#include "exercises/ExercisesView.h"
#include "platform/Background.h"
#include "platform/Dialogs.h"
#include "platform/ImportFile.h"
#include "platform/LongText.h"
#include "pomodoro/TaskListFile.h"
#include "ui/CommonAlerts.h"
#include <QPointer>

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

// Asks for a file, reads it on a worker and hands its bytes to then on context's thread. Nothing
// happens when cancelled or unreadable (silently), not a regular file or too large (reported with
// the reader's own text) or holding a text too long to take in (reported with the field's name).
void readImport(QWidget *parent, QObject *context, std::function<void(QByteArray)> then) {
    const QString path = Dialogs::get().openPath(parent, ExTexts::importWord(), kJsonFilter);
    if (path.isEmpty()) return;
    struct Read {
        ExerciseFile::ReadResult file;
        std::optional<LongText::Found> tooLong;
    };
    Background::run<Read>(
        context,
        [path] {
            Read r{ExerciseFile::read(path), {}};
            if (r.file.error == ExerciseFile::ReadError::none) r.tooLong = LongText::find(r.file.bytes);
            return r;
        },
        [parent = QPointer<QWidget>(parent), then = std::move(then)](Read r) {
            if (const QString why = ImportFile::message(r.file.error); !why.isEmpty())
                return tell(parent, ExTexts::importError(), why);
            if (r.file.error != ExerciseFile::ReadError::none) return;
            if (r.tooLong) return tell(parent, ExTexts::importError(), LongText::message(*r.tooLong));
            then(std::move(r.file.bytes));
        });
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
    readImport(window(), this, [this](const QByteArray &bytes) {
        if (ExerciseStore::shared().importOne(bytes))
            tell(window(), ExTexts::importComplete(), ExTexts::oneImported());
        else
            tell(window(), ExTexts::importError(), ExTexts::oneInvalid());
    });
}

void ExercisesView::doImport() {
    readImport(window(), this, [this](const QByteArray &bytes) {
        const int added = ExerciseStore::shared().importJSON(bytes);
        if (added < 0)
            tell(window(), ExTexts::importError(), ExTexts::listInvalid());
        else
            tell(window(), ExTexts::importComplete(), ExTexts::addedCount(added));
    });
}
