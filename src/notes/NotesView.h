#pragma once
#include "notes/Note.h"
#include "notes/NoteFind.h"
#include "notes/NoteFindBar.h"
#include "notes/NoteGrid.h"
#include "notes/NoteTableDetail.h"
#include "notes/NoteTextDetail.h"
#include "notes/NoteTextView.h"
#include "notes/RichTextView.h"
#include "ui/LinkTextView.h"
#include "ui/Page.h"
#include <QLabel>
#include <QLineEdit>
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
// the selected note (a text note's text, link and inline editor: NoteTextDetail; a table's grid:
// NoteTableDetail), the find bar (NoteFindBar). The page joins them: what is selected, what the
// detail shows and where, and a large note decoded on a worker before it is shown.
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
    void showInlineEditor(const QString &id) { text_->showEditor(id); }
    bool inlineEditorOpen() const { return text_->editing(); }
    // The note's text view while the inline editor is open.
    NoteTextView *inlineTextView() const { return text_->editing() ? text_->view() : nullptr; }
    QLineEdit *inlineTitleField() const { return text_->titleField(); }
    void saveInlineEditor() { text_->save(); }
    void cancelInlineEditor() { text_->cancel(); }
    NoteGrid *grid() const { return table_->grid(); }
    // Whether the table shown has its settled widths and every row measured (a large one is
    // measured a slice at a time after its first screen).
    bool tableMeasured() const { return table_->measured(); }
    // The note's text view in the detail, once its document is there.
    NoteTextView *contentView() const {
        return !text_->editing() && text_->ready() ? text_->view() : nullptr;
    }
    // The one view of a text note's body, in the detail or in the inline editor; and whether its
    // document is there yet (a long one is built on a worker).
    NoteTextView *longTextView() const { return text_->view(); }
    bool longTextReady() const { return text_->ready(); }
    // Whether a large note's text is being decoded on a worker for this page.
    bool decodingNote() const { return !decodingID_.isEmpty(); }
    // Whether a saved long note is still being read on a worker.
    bool longSavePending() const { return text_->savePending(); }
    LinkTextView *linkView() const { return text_->linkView(); }
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
    QAbstractScrollArea *findView() const { return text_->findView(); }

protected:
    void rebuild() override;
    void resizeEvent(QResizeEvent *e) override;

private:
    void layoutFrame();
    void updateHeaderTitles();
    void rebuildList();
    void rebuildDetail();
    void placeDetail();
    void buildHeader(const Note &note);
    // The detail's widgets go (deleted later); returns them, still children till then.
    QList<QWidget *> clearDetail();
    // The detail of a note being decoded on a worker: its header, its body loading.
    void showOpening(const QString &id);
    void deleteNote(const QString &id);
    // Asks for the format and the file, then writes the note on a worker: this one, or with fromStore
    // the one with its id as the store has it then (read there too; note gives only its name).
    void exportWith(const Note &note, bool fromStore);
    // The selected note for what the detail shows: without its text when the store lent it (see
    // NoteTextDetail::fields).
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
    QString shownDetailID_;
    // The note being decoded on a worker for the detail, and the last one asked for that way until it
    // comes in decoded (one that did not come in is then decoded when found, not asked for on a worker
    // again and again).
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
    NoteFindBar *finder_;
    NoteTextDetail *text_;
};
