#pragma once
#include "notes/Note.h"
#include <QWidget>
#include <functional>
#include <optional>
#include <vector>

// The notes list: "TEXT NOTES" then "TABLES", each with its cards (60 high, 4 apart). Painted in one
// widget, so a long list costs only the cards on screen.
class NoteListView : public QWidget {
    Q_OBJECT
public:
    explicit NoteListView(QWidget *parent = nullptr);
    // Draws again only the cards and labels that changed (the page sets the notes at every rebuild:
    // showing the editor or the find bar changes none of them).
    void setNotes(const std::vector<NoteHead> &notes, const std::optional<QString> &selected, int width, int minHeight);
    std::function<void(const QString &id)> onTap, onDoubleTap;

    struct Entry {
        enum Kind { empty, section, card } kind;
        int y;
        QString text; // section label or empty text
        NoteHead note;
        bool operator==(const Entry &) const = default;
    };
    const std::vector<Entry> &entries() const { return entries_; }
    // The summary line of a card.
    static QString summary(const NoteHead &n);
    static QString dateLine(const NoteHead &n);
    // Where the hint of an empty list is drawn at a list width: 30 high in the design, taller when
    // its wrapped lines need it (large font scales, long languages).
    static QRect emptyHintRect(const QString &text, int width);
    static QFont emptyHintFont();

protected:
    void paintEvent(QPaintEvent *e) override;
    void mousePressEvent(QMouseEvent *e) override;
    void mouseDoubleClickEvent(QMouseEvent *e) override;

private:
    const Entry *cardAt(const QPoint &p) const;
    std::vector<Entry> entries_;
    std::optional<QString> selected_;
    int lang_ = -1; // the language the entries were drawn in
};
