#pragma once
#include "notes/Note.h"
#include "notes/NoteDocument.h"
#include <QColor>
#include <QFont>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QObject>
#include <QPixmap>
#include <QPointer>
#include <functional>
#include <optional>
#include <utility>
#include <vector>

class LinkTextView;
class NoteFindBar;
class NoteTextView;
class QAbstractScrollArea;
class QScrollArea;
class QTextDocument;
class QWidget;

// The detail of a text note on the notes page: the one view of the note's text with its document (a
// long one built on a worker, the store's decoded copy of its text lent to it), the link below it,
// the inline editor with its unsaved state, Save (a long text read back on a worker) and the
// reader's place kept across it. The page tells it where the detail is and which note is selected;
// it asks the page to build again when its text comes or changes.
class NoteTextDetail : public QObject {
    Q_OBJECT
public:
    struct Shown {
        std::function<QWidget *()> host;       // the detail's area
        std::function<QScrollArea *()> scroll; // the detail's scroll area, which shows the text's card
        std::function<std::optional<QString>()> selectedID;
        std::function<void(const QString &)> select; // the note edited or saved is the one selected
    };
    NoteTextDetail(QWidget *page, NoteFindBar *finder, Shown shown);

    // Whether the page holds the text of the note as the store has it (its document, or one being
    // pasted into or read for a save): the store need not hold it decoded as well (lendText).
    bool holdsText(const QString &id) const;
    // The note for what the detail shows: without its text when the store lent it (see holdsText),
    // so a rebuild or a step of the user does not decode tens of megabytes again.
    const Note *fields(const QString &id) const;

    // Whether the detail of the note can be built now: a short note's card is built once its text
    // is laid out (see NoteTextDetail.cpp), and until then the detail shown stays.
    bool cardLaidOut(const Note *note);
    // The detail is built again: the view is kept with its document and place for the next one.
    void detailGoing();
    // The document held goes when it is not the note's, or holds edits no editor holds any more.
    void keepOnlyFor(const Note *note);
    // The document held goes (another note's text is decoded, say).
    void dropDocument();
    // The page's views go (it is set up again): the one view goes now, before another could show its
    // document.
    void viewsGoing();
    // The text note's card (its text and link) in the detail's scroll area.
    void build(const Note &note);
    // Fits the text note shown (its detail or its editor) to a new height of the detail without
    // building it again; false when it cannot (another kind of detail, a new width).
    bool fitHeight();
    // The reader's place after a save, once the note's text is there.
    void restoreReaderPlace();
    bool placeKeptFor(const QString &id) const { return placeID_ == id; }
    // The saved document goes into the view next turn: the page is built around it after.
    bool takingSaved() const { return longTakeQueued_; }

    // The inline editor.
    void showEditor(const QString &id);
    void buildEditor(const Note &note);
    // The open editor in the detail's new size, its unsaved content kept.
    void placeEditor(const Note &note);
    // Saves the note edited; while a rich paste into it is still being read, once it is in.
    void save();
    bool saveWaitsForPaste() const { return saveAfterPaste_; }
    void cancel();
    bool editing() const { return editingID_.has_value(); }
    bool editing(const QString &id) const { return editingID_ && *editingID_ == id; }
    void stopEditing();
    QLineEdit *titleField() const { return inlineTitle_; }

    // The one view of the note's text, in the detail or the editor, and whether its document is there.
    NoteTextView *view() const { return longView_; }
    bool ready() const;
    // The view searched: the note's one view, in the detail or the editor, once its document is there.
    QAbstractScrollArea *findView() const;
    LinkTextView *linkView() const;
    // Whether a saved long note is still being read on a worker.
    bool savePending() const { return !longSavingID_.isEmpty(); }

signals:
    void rebuildWanted();

private:
    // What fitHeight moves of the text detail shown: the page its scroll area scrolls, a long note's
    // card (which fills what that area shows) with the room kept below it for the link, and the
    // height the page's content needs; or the editor's ground and format bar.
    struct TextDetailFit {
        QPointer<QWidget> page;
        QPointer<QFrame> fillingBox;
        int linkRoom = 0;
        int contentH = 0;
        QPointer<QWidget> editorGround, editorBar;
    };
    // What a document was made from: the note's text in the version the store gave (not a copy of
    // the text, which would keep tens of megabytes alive beside the document) and the look.
    struct LongKey {
        QString id;
        quint64 version = 0;
        bool isLong = false;
        bool lent = false; // the store let go of its decoded copy of the text
        QFont font;
        QColor text;
        bool building = false; // the document is being made on a worker
        bool fits(const Note &n, const NoteDocument::Style &s) const;
    };
    struct SavingShot {
        QString id;
        QPixmap picture;
        int viewWidth = 0;
        QFont font;
        QColor text;
    };

    // The look of a note's text on the page.
    static NoteDocument::Style style();
    QWidget *host() const { return shown_.host(); }
    void requestRebuild() { emit rebuildWanted(); }
    NoteTextView *makeLongView();
    void styleLongView(NoteTextView *lv);
    NoteTextView *takeLongView(QWidget *parent);
    // At most this long spent on a card's text in a turn that goes on to build the detail.
    static constexpr qint64 kCardWithDetailNs = 3'000'000;
    void dropNextCard();
    void parkLongView();
    void showLongDoc(const Note &note);
    void attachLongDoc();
    // Hands the store's decoded copy of the held note's text back when the note is long.
    void lendHeldText();
    // Whether the note is shown as a long one; a note whose text the store lent to this page is.
    bool isLongText(const Note &n) const;
    void saveLongEditor(Note copy);
    void keepStoredText(const Note &fields);
    // A long paste's document is there: edited on if the editor it was pasted into is still open.
    void longPasteArrived(quint64 gen, const QString &id, QTextDocument *doc, int caret,
                          std::vector<NoteDocument::FoundLink> links);
    // Save keeps the reader's place: the first character the editor showed is shown first again once
    // the note's detail has its text.
    void keepReaderPlace(const QString &id, QAbstractScrollArea *editor);
    // A picture of the text shown while a long note's save is read on a worker (see takeSavingShot).
    void takeSavingShot(const QString &id);
    void showSavingShot(const QString &id, QWidget *box, NoteTextView *lv);
    void dropSavingShot();

    QWidget *page_;
    NoteFindBar *finder_;
    Shown shown_;
    QPointer<LinkTextView> linkTV_;
    TextDetailFit textFit_;

    // The inline editor's state lives here, not in its widgets, so a rebuild, a resize or a theme
    // change re-places the editor with its unsaved content instead of dropping it.
    std::optional<QString> editingID_;
    QString editTitle_, editEmoji_;
    int editAnchor_ = 0, editPos_ = 0;
    QPointer<QLineEdit> inlineTitle_;
    QPointer<QLineEdit> inlineEmoji_;

    // A text note's document (a long one built on a worker) and the one view that shows it, whatever
    // the note's size: kept across rebuilds (taken out of the old detail before it goes), read-only
    // in the detail and editable in the inline editor. Rebuilt when the note or the look changes.
    LongKey longKey_;
    QPointer<QTextDocument> longDoc_;
    std::pair<QString, quint64> unreadRich_; // the note (and version) whose rich text did not read
    QPointer<NoteTextView> longView_;
    // A short note's document being laid out at its card's width, in a view of its own, hidden, before
    // the card is shown (see cardLaidOut), and what it was made from.
    QPointer<NoteTextView> nextView_;
    QPointer<QTextDocument> nextDoc_;
    LongKey nextKey_;
    quint64 longGen_ = 0;
    bool longPasting_ = false; // a long paste into the editor is being made into longDoc_ on a worker
    bool saveAfterPaste_ = false; // Save was clicked while a rich paste was being read
    // The edit ends unsaved: a rich paste still being read goes with it.
    void dropEdit();
    std::vector<NoteDocument::FoundLink>
        pastedLinks_; // the addresses of the long paste just made, to be made links
    QString longSavingID_;
    bool longTakeQueued_ = false; // the saved document goes into the view next turn
    SavingShot savingShot_;
    QPointer<QLabel> savingLabel_;

    QString placeID_;
    int placePos_ = -1;
    // The reader's place goes back a turn after the view took the document (see restoreReaderPlace).
    bool placeNextTurn_ = false;
};
