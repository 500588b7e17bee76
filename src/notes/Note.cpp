#include "notes/Note.h"

#include "platform/Clock.h"
#include "platform/RecordJson.h"
#include "ui/DisplayText.h"

namespace NoteTypes {
QString rawValue(NoteType t) {
    return t == NoteType::table ? QStringLiteral("table") : QStringLiteral("text");
}

std::optional<NoteType> fromRaw(const QString &raw) {
    if (raw == u"text") return NoteType::text;
    if (raw == u"table") return NoteType::table;
    return std::nullopt;
}
} // namespace NoteTypes

NoteTableColumn::NoteTableColumn(const QString &title) : id(RecordJson::newId()), title(title) {}

NoteRow::NoteRow(const QStringList &cells) : id(RecordJson::newId()), cells(cells) {}

Note::Note(NoteType type, const QString &emoji, const QString &title)
    : id(RecordJson::newId()), type(type), emoji(emoji), title(title) {
    createdInterval = Clock::get().refSeconds();
    modifiedInterval = Clock::get().refSeconds();
}

QDateTime Note::createdDate() const {
    return Clock::fromRefSeconds(createdInterval);
}

QDateTime Note::modifiedDate() const {
    return Clock::fromRefSeconds(modifiedInterval);
}

NoteHead::NoteHead(const Note &n)
    : id(n.id), type(n.type), emoji(n.emoji), title(n.title), preview(previewOf(n.body)),
      columnCount(qsizetype(n.columns.size())), rowCount(qsizetype(n.rows.size())),
      createdInterval(n.createdInterval), modifiedInterval(n.modifiedInterval) {}

QString NoteHead::previewOf(const QString &text) {
    return DisplayText::cut(text, kPreviewChars);
}

QDateTime NoteHead::createdDate() const {
    return Clock::fromRefSeconds(createdInterval);
}

QDateTime NoteHead::modifiedDate() const {
    return Clock::fromRefSeconds(modifiedInterval);
}
