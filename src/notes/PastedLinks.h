#pragma once
#include "notes/NoteDocument.h"
#include <QColor>
#include <QObject>
#include <QPointer>
#include <vector>

class QPlainTextEdit;
class QTextDocument;
class QTimer;

// Makes the web addresses of a long paste, found on a worker (NoteDocument::pasteInto), links in the
// document a view shows, as the view marks the others (detected, never stored), a few paragraphs per
// event-loop turn so that a paste of megabytes holds the window no longer than a key does. The
// links join the undo step before them (the paste's, unless the user edited since). An edit made
// meanwhile moves the addresses still to be marked; one it went through or next to is left as it is
// (the editor links what is typed as it is typed), and each address is marked only when the text
// there still reads as it did when it was found. Ends when the view shows another document, or when
// all are marked; dies with the view.
class PastedLinks : public QObject {
    Q_OBJECT
public:
    // Starts marking links in the document view shows now.
    static PastedLinks *start(QPlainTextEdit *view, std::vector<NoteDocument::FoundLink> links, const QColor &colour);
private:
    PastedLinks(QPlainTextEdit *view, std::vector<NoteDocument::FoundLink> links, const QColor &colour);
    void textChanged(int pos, int removed, int added);
    void markSome();
    bool stillThere(const NoteDocument::FoundLink &l) const;

    QPointer<QPlainTextEdit> view_;
    QPointer<QTextDocument> doc_;
    std::vector<NoteDocument::FoundLink> links_; // in document order; those before next_ are done
    size_t next_ = 0;
    QColor colour_;
    QTimer *turns_ = nullptr;
    bool marking_ = false; // our own format changes, which move nothing
};
