#pragma once
#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QStringList>
#include <map>
#include <optional>
#include <vector>

// The kind of a note; stored as its raw value ("text", "table").
enum class NoteType { text, table };

namespace NoteTypes {
QString rawValue(NoteType t);
std::optional<NoteType> fromRaw(const QString &raw); // exact, case-sensitive
} // namespace NoteTypes

// One column of a table note.
struct NoteTableColumn {
    QString id;
    QString title;

    NoteTableColumn() = default;
    // A new column with a fresh id.
    explicit NoteTableColumn(const QString &title);
    NoteTableColumn(const QString &id, const QString &title) : id(id), title(title) {}
    bool operator==(const NoteTableColumn &) const = default;
};

// One row of a table note. cells[i] belongs to the i-th column; the list may be shorter or longer than
// the column list. cellsRTF holds the rich text of a cell by column position; a position without an
// entry has only its plain text.
struct NoteRow {
    QString id;
    QStringList cells;
    std::map<int, QByteArray> cellsRTF;

    NoteRow() = default;
    // A new row with a fresh id, the given cells and no rich text.
    explicit NoteRow(const QStringList &cells);
    bool operator==(const NoteRow &) const = default;
};

// One text or table note, a plain value. Time stamps are seconds since 1 January 2001 00:00 UTC.
struct Note {
    QString id;
    NoteType type = NoteType::text;
    QString emoji;
    QString title;
    QString body;                       // plain text of a text note
    std::optional<QByteArray> bodyRTF;  // rich text of a text note; shown in preference to body
    std::optional<QString> imageBase64; // kept and written back unchanged, never shown
    QString link;
    std::vector<NoteTableColumn> columns;
    std::vector<NoteRow> rows;
    double createdInterval = 0;
    double modifiedInterval = 0;

    Note() = default;
    // A new note: fresh id, empty body and link, no table, both time stamps from the clock.
    Note(NoteType type, const QString &emoji, const QString &title);
    static QString defaultEmoji() { return QStringLiteral("📝"); }

    QDateTime createdDate() const;
    QDateTime modifiedDate() const;

    bool operator==(const Note &) const = default;
};

// What the notes list shows of a note. The store holds the rest of a note (text, rich text, rows)
// encoded until the note is used.
struct NoteHead {
    QString id;
    NoteType type = NoteType::text;
    QString emoji;
    QString title;
    QString preview; // the start of a text note's plain text (previewOf)
    qsizetype columnCount = 0;
    qsizetype rowCount = 0;
    double createdInterval = 0;
    double modifiedInterval = 0;

    NoteHead() = default;
    NoteHead(const Note &n); // NOLINT: a note lists as itself

    // The most characters (UTF-16 units) of a text note's start its card shows.
    static constexpr qsizetype kPreviewChars = 40;
    // The preview of a text: the text itself when it fits, else its start cut between two characters
    // as shown (never inside a surrogate pair, a letter and its marks or an emoji sequence) and ended
    // with "…". Only the first kPreviewChars + 1 characters of text are looked at.
    static QString previewOf(const QString &text);

    QDateTime createdDate() const;
    QDateTime modifiedDate() const;
    bool operator==(const NoteHead &) const = default;
};

// The savedNotes document (also the note list file of the import): a compact JSON array with every
// note's keys in field order; "bodyRTF" and "imageBase64" only when present; rows always with "id",
// "cells" and "cellsRTF", whose keys run in numeric order. Bytes are standard padded Base64.
QByteArray encodeNotes(const std::vector<Note> &notes);
// Nothing when the bytes are not such an array or any note breaks the strict rules (a missing or
// mistyped member, a type other than the two, a "bodyRTF" that is not strict Base64, a row that is not
// an object). Rows are read leniently member by member.
std::optional<std::vector<Note>> decodeNotes(const QByteArray &bytes);

// Standard Base64 with padding, no whitespace, nothing else; nothing when text breaks that form.
std::optional<QByteArray> strictBase64(const QByteArray &text);
