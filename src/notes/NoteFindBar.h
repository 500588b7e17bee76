#pragma once
#include "notes/NoteFind.h"
#include "notes/NoteGrid.h"
#include <QLabel>
#include <QLineEdit>
#include <QObject>
#include <QPointer>
#include <functional>
#include <optional>
#include <utility>
#include <vector>

class QAbstractScrollArea;
class QScrollArea;
class QTextDocument;
class QTimer;
struct Note;

// The notes page's find bar: the query, its matches in the note shown (the text's, counted a slice
// at a time, or the table's cells) and the highlights that mark them, which it owns and takes back.
// The page tells it what it shows; the bar is a child widget of the page, placed by the page.
class NoteFindBar : public QObject {
    Q_OBJECT
public:
    // What the page shows, asked for whenever the search needs it.
    struct Shown {
        std::function<const Note *()> note;
        // The note's text view searched, once its document is there; none otherwise.
        std::function<QAbstractScrollArea *()> textView;
        std::function<NoteGrid *()> grid;
        std::function<QScrollArea *()> detailScroll;
    };
    NoteFindBar(QWidget *page, Shown shown);

    void toggle();
    void show();
    void hide();
    void run(const QString &query);
    void step(int delta);
    // The search shown runs again, on the note as the page shows it now.
    void searchAgain() {
        if (visible_ && !query_.isEmpty()) run(query_);
    }
    // The page's widgets went (the bar with them): the bar is shown again only by show().
    void barGone() { visible_ = false; }
    bool visible() const { return visible_; }
    QWidget *bar() const { return bar_; }
    QString countText() const;
    int matchCount() const;
    // Whether the matches in a long text are still being counted (a slice at a time).
    bool counting() const { return search_.has_value() && !search_->finished(); }
    // Whether the matches held are those of the text as it is (no search, nor search again of an
    // edit, still on its way).
    bool settled() const { return !counting() && !region_; }
    // The text matches (start, length) in the document of the view searched.
    const std::vector<std::pair<int, int>> &textRanges() const { return textRanges_; }
    int currentIndex() const { return current_; }
    // Before doc goes to a worker (a long paste, a save): no search reads it meanwhile.
    void letGo(QTextDocument *doc);

signals:
    // The bar came or went: the page places its parts again.
    void barShownOrHidden();

private:
    // Marks the matches in the shown part of the view searched and the current one; with reveal,
    // scrolls to the current one.
    void applyHighlights(bool reveal = true);
    void searchOn();
    // An edit of the text searched: the matches move with it, and the lines it touched are searched
    // again (see FindRegion).
    void textChanged(int pos, int removed, int added);
    void mergeRegion();

    QWidget *page_;
    Shown shown_;
    bool visible_ = false;
    QString query_;
    int current_ = 0;
    std::vector<std::pair<int, int>> textRanges_;
    std::vector<NoteGrid::CellPos> cellMatches_;
    QPointer<QWidget> bar_;
    QPointer<QLineEdit> field_;
    QPointer<QLabel> countLbl_;
    std::optional<NoteFind::DocSearch> search_;
    // The part of the text an edit changed, searched again (a slice at a time when long): its matches
    // take the place of those held there once it is done; edits meanwhile widen it. toEnd: the held
    // matches had reached the cap, so the search goes on to fill them up again.
    struct FindRegion {
        NoteFind::DocSearch search;
        int from = 0, to = 0;
        bool toEnd = false;
    };
    std::optional<FindRegion> region_;
    QPointer<QAbstractScrollArea> shownIn_; // the view that holds the highlights
    QTimer *slices_ = nullptr;
    QTimer *repaint_ = nullptr;            // highlights what a scroll brought into view
    bool textChanging_ = false;            // inside textChanged
    std::optional<bool> highlightsQueued_; // highlights to set next turn (whether to reveal the current)
};
