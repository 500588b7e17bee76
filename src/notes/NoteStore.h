#pragma once
#include "notes/Note.h"
#include "platform/Document.h"
#include <QObject>
#include <vector>

class QTextDocument;

// All notes, in the order they were added. Every change writes the whole savedNotes document and then
// posts notesChanged with the store as sender. Notes are matched by id: update() changes the first
// match, remove() removes every match. Main thread only.
class NoteStore : public QObject {
    Q_OBJECT
public:
    // The process-wide store, created and loaded on first use.
    static NoteStore &shared();
    // Drops the shared store; the next shared() loads again from the current preferences domain.
    static void resetForTests();

    // Loads the savedNotes document now. An unreadable document is kept aside (the shared loader) and
    // the store starts empty; loadReport() says so, for the one-time message.
    explicit NoteStore(QObject *parent = nullptr);

    const std::vector<Note> &notes() const { return notes_; }
    // The first note with this id, or nothing.
    const Note *find(const QString &id) const;
    const DocumentLoad &loadReport() const { return load_; }

    // Appends the note as it is (its own time stamps kept), saves, posts.
    void add(const Note &note);
    // Replaces the first note with the same id, stamping modifiedInterval with the clock; an unknown id
    // changes nothing (no write, no notification).
    void update(const Note &note);
    // Removes every note with this id; saves and posts even when none matched.
    void remove(const QString &id);
    // The import's assignment: the list becomes exactly these notes; saves, posts.
    void replaceAll(const std::vector<Note> &notes);
    // Writes the document; posts nothing.
    void save();

    // The plain-text rendering of a note for the text export: header lines, the body or table with rich
    // text in marked form, the link and the creation time ("dd.MM.yyyy HH:mm", local time).
    static QString txtExport(const Note &note);
    // The CSV rendering: every field quoted with inner quotes doubled, "\n" between lines, none after.
    static QString csvExport(const Note &note);
    // Rich text to plain text with emphasis markers: each run of equal formats (runs join across
    // paragraph ends) wrapped in "**" when bold, then "_" when italic, then "__" when underlined.
    static QString attrStringToMarkdown(const QTextDocument &doc);
    // The same for RTF bytes; nothing when they do not read as RTF.
    static std::optional<QString> rtfToMarkdown(const QByteArray &rtf);

private:
    Note *first(const QString &id);
    void changed();

    std::vector<Note> notes_;
    DocumentLoad load_;
};
