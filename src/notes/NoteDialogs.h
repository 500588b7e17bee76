#pragma once
#include "notes/Note.h"
#include <QAbstractTableModel>
#include <QDialog>
#include <QTableView>
#include <functional>
#include <optional>

class QLineEdit;
class QLabel;
class QPushButton;
class QTextDocument;
class NoteTextView;
class RichTextView;

// The editor dialog's working table: row 0 holds the column titles, the rows below the cells. A view
// over it makes editors only for the cell being edited, so a table of 10 000 rows opens at once.
class DraftTableModel : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit DraftTableModel(Note *work, QObject *parent = nullptr) : QAbstractTableModel(parent), work_(work) {}
    int rowCount(const QModelIndex &p = {}) const override;
    int columnCount(const QModelIndex &p = {}) const override;
    QVariant data(const QModelIndex &i, int role) const override;
    bool setData(const QModelIndex &i, const QVariant &v, int role) override;
    Qt::ItemFlags flags(const QModelIndex &i) const override;
    QVariant headerData(int section, Qt::Orientation o, int role) const override;
    void reset() {
        beginResetModel();
        endResetModel();
    }

private:
    Note *work_;
};

// The working table's view; commitOpenEditor() writes a cell being typed into the model.
class DraftTableView : public QTableView {
    Q_OBJECT
public:
    using QTableView::QTableView;
    void commitOpenEditor();
};

// Creates a note or edits a table note as a whole. Non-modal; several may be open, each saving its
// own note. Save hands the note to the completion (the caller stores it); Cancel hands nothing; the
// title-bar close hands nothing either.
class NoteEditorDialog : public QDialog {
    Q_OBJECT
public:
    using Completion = std::function<void(const std::optional<Note> &)>;
    NoteEditorDialog(const Note &note, bool isNew, Completion completion, QWidget *parent);
    static NoteEditorDialog *show(const Note &note, bool isNew, Completion completion, QWidget *parent);

    ~NoteEditorDialog() override;

    // Test hooks.
    QLineEdit *titleField() const { return titleF_; }
    QLineEdit *emojiField() const { return emojiF_; }
    // A text note's body, one view at every size.
    NoteTextView *bodyView() const { return bodyTV_; }
    // Whether the body's document is away on a worker (being built, pasted into or linked): the view
    // shows none meanwhile, and Save waits for it.
    bool bodyBuilding() const { return building_; }
    QTableView *tableView() const { return table_; }
    const Note &working() const { return work_; }
    void addColumn();
    void addRow();
    void deleteColumn(int c);
    void deleteRow(int r);
    void importTable();
    void insertLink();
    void detectUrls();
    // Returns true when the dialog saved and closed. A large note the store let go of while the
    // dialog was open is decoded on a worker first (to see whether it changed meanwhile): false then,
    // and the save goes on once it is in (savePending() meanwhile); so too while a rich paste into the
    // body is still being read: the note is saved with it once it is in.
    bool doSave();
    bool savePending() const { return waitingForNote_ || saveAfterPaste_; }
    void doCancel();

    static QString changedElsewhereText();

private:
    void commitEditor();
    // The body's document goes to a worker: the view shows none and takes nothing typed until
    // takeDocument() brings it back, with the caret at caret and, when top is given, the view
    // scrolled where it was (its scroll bar's value).
    QTextDocument *sendDocument();
    void takeDocument(QTextDocument *doc, int caret, int top = -1);
    void takeLongPaste(const QString &text, int from, int to);
    void updateTools();
    Note draft_;
    Note work_;
    bool isNew_;
    Completion completion_;
    bool done_ = false;
    bool waitingForNote_ = false, noteIn_ = false, saveAfterPaste_ = false;
    QLineEdit *emojiF_ = nullptr;
    QLineEdit *titleF_ = nullptr;
    NoteTextView *bodyTV_ = nullptr;
    QTextDocument *bodyDoc_ = nullptr; // the body's, while the view shows it
    bool building_ = false;
    QPushButton *saveBtn_ = nullptr, *insertLinkBtn_ = nullptr, *detectBtn_ = nullptr;
    DraftTableView *table_ = nullptr;
    DraftTableModel *model_ = nullptr;
    QLabel *emptyLbl_ = nullptr;
};

// The floating editor of one table cell, rich text with a format strip. It remembers the row and the
// column by id; Save writes only when both still exist, then calls onSaved.
class CellEditor : public QDialog {
    Q_OBJECT
public:
    CellEditor(const QString &noteID, int row, int col, const QString &value, QWidget *parent);
    std::function<void()> onSaved;
    RichTextView *textView() const { return tv_; }
    // Returns true when the cell was written, or will be: a large table the store let go of while the
    // editor was open is decoded on a worker first, and the cell written once it is in (the editor is
    // closed at once, and nothing is lost when another note is shown meanwhile).
    bool save();

private:
    QString noteID_;
    std::optional<std::pair<QString, QString>> ids_;
    RichTextView *tv_ = nullptr;
};
