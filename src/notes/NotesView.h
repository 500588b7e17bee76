#pragma once
#include "notes/Note.h"
#include "notes/NoteFind.h"
#include "notes/NoteFindBar.h"
#include "notes/NoteGrid.h"
#include "notes/NoteTableDetail.h"
#include "notes/NoteTextView.h"
#include "notes/RichTextView.h"
#include "ui/LinkTextView.h"
#include "ui/Page.h"
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QPointer>
#include <QScrollArea>
#include <map>
#include <optional>
#include <vector>

class QAbstractScrollArea;
class QElapsedTimer;
class QTimer;
class DraggableDivider;
class NoteListView;
class QPushButton;
class QTextDocument;

// The "notes" page: header buttons, the cards of text notes and tables, the divider and the detail of
// the selected note (rich text with links and its inline editor, or the table grid), the find bar.
class NotesView : public Page {
    Q_OBJECT
public:
    explicit NotesView(QWidget *parent = nullptr);

    void setup() override;
    void refresh() override;

    static double listWidth(double w, double frac);
    static double fractionForDrag(double x, double w);

    // Selection and actions, also used by tests.
    std::optional<QString> selectedID() const { return selectedID_; }
    void selectNote(const QString &id);
    void doubleTapNote(const QString &id);
    void createNote();
    void openEditor(const Note &note, bool isNew);
    void exportNote(const Note &note);
    // Exports the note with this id as the store has it; false when there is no such note.
    bool exportNote(const QString &id);
    void doExportSelected();
    void showInlineEditor(const QString &id);
    bool inlineEditorOpen() const { return editingID_.has_value(); }
    // The note's text view while the inline editor is open.
    NoteTextView *inlineTextView() const { return editingID_ ? longView_.data() : nullptr; }
    QLineEdit *inlineTitleField() const { return inlineTitle_; }
    void saveInlineEditor();
    void cancelInlineEditor();
    NoteGrid *grid() const { return table_->grid(); }
    // Whether the table shown has its settled widths and every row measured (a large one is
    // measured a slice at a time after its first screen).
    bool tableMeasured() const { return table_->measured(); }
    // The note's text view in the detail, once its document is there.
    NoteTextView *contentView() const { return !editingID_ && longTextReady() ? longView_.data() : nullptr; }
    // The one view of a text note's body, in the detail or in the inline editor; and whether its
    // document is there yet (a long one is built on a worker).
    NoteTextView *longTextView() const { return longView_; }
    bool longTextReady() const { return longView_ && longDoc_ && longView_->document() == longDoc_; }
    // Whether a large note's text is being decoded on a worker for this page.
    bool decodingNote() const { return !decodingID_.isEmpty(); }
    // Whether a saved long note is still being read on a worker.
    bool longSavePending() const { return !longSavingID_.isEmpty(); }
    LinkTextView *linkView() const { return linkTV_; }
    NoteGrid::Selection &selection() { return table_->selection(); }

    // Table actions on the note with this id (looked up again in the store).
    void swapOrMove(const QString &noteID, NoteGrid::CellPos from, NoteGrid::CellPos to) {
        table_->swapOrMove(noteID, from, to);
    }
    void copySelection(const QString &noteID) { table_->copySelection(noteID); }
    void pasteAtAnchor(const QString &noteID) { table_->pasteAtAnchor(noteID); }
    void clearSelectionContent(const QString &noteID) { table_->clearSelectionContent(noteID); }
    void showCellEditor(const QString &noteID, int row, int col) { table_->showCellEditor(noteID, row, col); }

    // Find bar.
    void toggleFindBar() { finder_->toggle(); }
    void showFindBar() { finder_->show(); }
    void hideFindBar() { finder_->hide(); }
    void runFind(const QString &query) { finder_->run(query); }
    void stepFind(int delta) { finder_->step(delta); }
    bool findBarVisible() const { return finder_->visible(); }
    QString findCountText() const { return finder_->countText(); }
    int findMatchCount() const { return finder_->matchCount(); }
    bool findCounting() const { return finder_->counting(); }
    bool findSettled() const { return finder_->settled(); }
    // The text matches (start, length) in the document of the view searched, and that view: the
    // note's view in the detail or in the inline editor, whichever size the note is.
    const std::vector<std::pair<int, int>> &findTextRanges() const { return finder_->textRanges(); }
    int findCurrentIndex() const { return finder_->currentIndex(); }
    QAbstractScrollArea *findView() const;

protected:
    void rebuild() override;
    void resizeEvent(QResizeEvent *e) override;

private:
    void layoutFrame();
    void updateHeaderTitles();
    void rebuildList();
    void rebuildDetail();
    void placeDetail();
    // Fits the text note shown (its detail or its editor) to a new height of the detail without
    // building it again, as when the find bar comes or goes; false when it cannot (another kind of
    // detail, a new width): the detail is then built again.
    bool fitDetailHeight();
    void buildHeader(const Note &note);
    void buildTextDetail(const Note &note);
    void buildInlineEditor(const Note &note);
    NoteTextView *makeLongView();
    void styleLongView(NoteTextView *lv);
    NoteTextView *takeLongView(QWidget *parent);
    // Whether the detail of the note can be built now: a short note's card is built once its text
    // is laid out (see NoteTextDetail.cpp), and until then the detail shown stays.
    bool cardLaidOut(const Note *note);
    // At most this long spent on a card's text in a turn that goes on to build the detail.
    static constexpr qint64 kCardWithDetailNs = 3'000'000;
    void dropNextCard();
    void parkLongView();
    void dropLongDoc();
    void showLongDoc(const Note &note);
    void attachLongDoc();
    // Whether this page holds the text of the note as the store has it (its document, or one being
    // pasted into or read for a save): the store need not hold it decoded as well (lendText).
    bool holdsText(const QString &id) const;
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
    void restoreReaderPlace();
    // A picture of the text shown while a long note's save is read on a worker (see takeSavingShot).
    void takeSavingShot(const QString &id);
    void showSavingShot(const QString &id, QWidget *box, NoteTextView *lv);
    void dropSavingShot();
    void deleteNote(const QString &id);
    // Asks for the format and the file, then writes the note on a worker: this one, or with fromStore
    // the one with its id as the store has it then (read there too; note gives only its name).
    void exportWith(const Note &note, bool fromStore);
    // The selected note for what the detail shows: without its text when the store lent it (see
    // holdsText), so a rebuild or a step of the user does not decode tens of megabytes again.
    const Note *shownNote() const;
    const Note *noteFields(const QString &id) const;

    QWidget *hdrBg_ = nullptr;
    QLabel *titleLbl_ = nullptr;
    QLabel *subLbl_ = nullptr;
    QPushButton *createBtn_ = nullptr, *importBtn_ = nullptr, *exportBtn_ = nullptr;
    QWidget *listPanel_ = nullptr;
    QScrollArea *listScroll_ = nullptr;
    NoteListView *list_ = nullptr;
    DraggableDivider *divider_ = nullptr;
    QWidget *detailHost_ = nullptr;
    QPointer<QScrollArea> detailScroll_;
    QPointer<LinkTextView> linkTV_;
    // What fitDetailHeight moves of the text detail shown: the page its scroll area scrolls, a long
    // note's card (which fills what that area shows) with the room kept below it for the link, and the
    // height the page's content needs; or the editor's ground and format bar.
    struct TextDetailFit {
        QPointer<QWidget> page;
        QPointer<QFrame> fillingBox;
        int linkRoom = 0;
        int contentH = 0;
        QPointer<QWidget> editorGround, editorBar;
    } textFit_;
    QString shownDetailID_;
    // The note being decoded on a worker for the detail, and the last one asked for that way (a note
    // that did not come in decoded then is decoded when found).
    QString decodingID_, triedDecodeID_;
    // A note double-clicked while being decoded: its editor opens once it is in.
    QString editWhenIn_;
    // Starts decoding a large note not held decoded on a worker (the detail is built again, or the
    // editor asked for opened, once it is in); false when the store answers at once.
    bool decodeAway(const QString &id);
    QPoint detailScrollPos_;

    double listFrac_ = 0.32;
    std::optional<QString> selectedID_;
    NoteTableDetail *table_;
    // The inline editor's state lives in the page, so a rebuild, a resize or a theme change re-places
    // the editor with its unsaved content instead of dropping it.
    std::optional<QString> editingID_;
    QString editTitle_, editEmoji_;
    int editAnchor_ = 0, editPos_ = 0;
    QPointer<QLineEdit> inlineTitle_;
    QPointer<QLineEdit> inlineEmoji_;

    // A text note's document (a long one built on a worker) and the one view that shows it, whatever
    // the note's size: kept across rebuilds (taken out of the old detail before it goes), read-only
    // in the detail and editable in the inline editor. Rebuilt when the note or the look changes.
    // What the document was made from: the note's text in the version the store gave (not a copy of
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
    } longKey_;
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
    std::vector<NoteDocument::FoundLink> pastedLinks_; // the addresses of the long paste just made, to be made links
    QString longSavingID_;
    bool longTakeQueued_ = false; // the saved document goes into the view next turn
    struct SavingShot {
        QString id;
        QPixmap picture;
        int viewWidth = 0;
        QFont font;
        QColor text;
    } savingShot_;
    QPointer<QLabel> savingLabel_;

    NoteFindBar *finder_;
    QString placeID_;
    int placePos_ = -1;
    // The reader's place goes back a turn after the view took the document (see restoreReaderPlace).
    bool placeNextTurn_ = false;
};
