#pragma once
#include "notes/Note.h"
#include "notes/TableClipboard.h"
#include <QDeadlineTimer>
#include <QPointer>
#include <QString>
#include <QTextDocument>
#include <functional>
#include <vector>

class QTextBlock;

// Find in a note, case-insensitive in place (no lower-casing that changes lengths), on the text the
// note actually shows: the rich text's characters when its RTF reads, else the plain text.
namespace NoteFind {
inline constexpr int kMaxTextMatches = 501;

struct Range {
    int start = 0; // UTF-16 units into the searched text
    int length = 0;
    bool operator==(const Range &) const = default;
};

// What a text note shows; what a table cell shows (empty past the row's cells).
QString shownText(const Note &note);
QString shownCellText(const NoteRow &row, int col);

// Non-overlapping matches in text order, at most cap; none for an empty query.
std::vector<Range> textMatches(const QString &text, const QString &query, int cap = kMaxTextMatches);
// Matching cells row by row (only cells below the column count), then matching column titles as
// (-1, column).
std::vector<TableClipboard::CellPos> tableMatches(const Note &note, const QString &query);
// The next index after a step of delta (-1 or +1), wrapping both ways; 0 when there are no matches.
int step(int index, int delta, int count);

// The matches in a document as a view shows it, found a slice at a time so that a long text is
// searched between events; the same matches as textMatches() over the document's text, in document
// positions. A paragraph for which joined() is true continues the one before it without a break (a
// long line cut into pieces): the two are searched as one line, and a match across the cut includes
// the cut. The document may change between slices: the search goes on from the same position.
// With from and to, only the matches that start within from..to are found (to -1: the end): the
// search begins at from as if a line began there, and goes on past to only to finish a match that
// started before it.
class DocSearch {
public:
    DocSearch(const QTextDocument *doc, const QString &query, std::function<bool(const QTextBlock &)> joined,
              int cap = kMaxTextMatches, int from = 0, int to = -1);
    // Searches on until the deadline passes (looked at after each paragraph); true once finished.
    bool run(QDeadlineTimer until);
    bool finished() const { return done_; }
    const std::vector<Range> &matches() const { return matches_; }

private:
    QPointer<const QTextDocument> doc_;
    QString query_;
    std::function<bool(const QTextBlock &)> joined_;
    int cap_;
    int next_ = 0; // the position of the next paragraph to search
    int from_ = 0; // where the first paragraph searched is searched from
    int to_ = -1;
    bool done_ = false;
    // The end of the line before, not taken by a match, that a match may start in when the next
    // paragraph continues it; with each character's position.
    QString carry_;
    std::vector<int> carryPos_;
    std::vector<Range> matches_;
};

// "3 / 12" for the third of twelve.
QString countText(int index, int count);
QString noResultsText();
QString placeholderText();
} // namespace NoteFind
