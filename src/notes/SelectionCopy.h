#pragma once
#include "notes/RtfCodec.h"
#include "platform/MadeOnAsk.h"
#include <QMimeData>
#include <QPointer>
#include <functional>
#include <memory>
#include <optional>

class QTextDocument;

// What a copy from a note's view puts on the clipboard: the selection's text and rich text, made
// only when a form is asked for and without holding the window. On Linux every change of the
// selection is offered as the primary selection, so a select-all in a long note must cost nothing at
// once; and another program may ask for the copy at any time, on the window's thread, and must be
// answered whole.
// Nothing is read when the copy is made. A short copy is read when it is asked for, and kept. A long
// one, asked for while its document still holds its characters, is made for that ask by a worker
// while the window's thread waits, touching nothing, and not kept: what it is handed to holds it as
// long as it needs it. Its text is made as UTF-8 (what other programs take), a slice at a time: never
// its UTF-16 whole beside it.
// Asked for through whenMade (another program's ask, this one's own paste), a long copy's form is
// made on the window's thread a slice a turn, and handed over once whole: the thread never waits for
// it, nor makes more of it at once than a slice. (A worker cannot read the document meanwhile: the
// window's thread goes on editing and laying it out.) Asks of one form share its making.
// A copy of at most kKeptRichChars offers its rich text as HTML; a longer one, given longRich, as
// RTF ("text/rtf"), which is written straight from the runs (HTML of megabytes would be made for
// seconds on the window's thread).
// Until it is settled the copy holds where the selection is in its document, and follows it as the
// text before it changes; the view settles it before an edit that would change its text, so what is
// pasted is always what was selected. Settled, a long copy makes its forms a slice at a time and
// keeps them deflated (a fraction of their size), never whole; each ask is given them whole. A
// change it was not settled before makes it offer nothing rather than other text.
class SelectionCopy : public QMimeData, public MadeOnAsk {
    Q_OBJECT
public:
    // Appends the text of from..to to out, going on from at, until to or about atMost characters
    // more; returns where to go on from, -1 once to is reached (see NoteDocument::appendStoredText).
    using Reader =
        std::function<int(QString &out, const QTextDocument &, int from, int at, int to, qsizetype atMost)>;
    // How the rich text is made from the document's characters from..to.
    using Maker = std::function<QString(const QTextDocument &, int from, int to)>;
    // longRich: how a long copy's RTF is written (none: a long copy offers its text alone).
    SelectionCopy(QTextDocument *doc, int from, int to, Reader text, Maker rich,
                  std::optional<RtfCodec::WriteAs> longRich = std::nullopt);
    // Another copy of the same selection (the primary selection's and the clipboard's): it shares
    // what is made of it, which is made once.
    explicit SelectionCopy(const SelectionCopy &same);
    ~SelectionCopy() override;

    QStringList formats() const override;
    bool hasFormat(const QString &mimeType) const override;

    // A long copy's text ("text/plain") and RTF ("text/rtf"), offered and not at hand.
    bool makesLater(const QString &mimeType) const override;
    void whenMade(const QString &mimeType, QObject *receiver, std::function<void(MadeOnAsk::Made)> done) const override;

    // Whether the copy still stands on doc's characters and an edit of from..to (both ends
    // included) would change them.
    bool standsOn(const QTextDocument *doc, int from, int to) const;
    // Whether it still stands on doc's characters from..to exactly.
    bool isOf(const QTextDocument *doc, int from, int to) const;
    // Whether it still stands on a document, nothing made of it kept apart.
    bool live() const;
    // Makes what is not made yet from the document as it is now and lets go of it: a long copy's
    // forms are made by a worker while this thread waits.
    void settle();
    // The same, but a long copy's forms are made by the function returned (none when they are made
    // already), run where the document is before anything changes it (on a worker, before an edit
    // there). Asked for meanwhile, it is waited for; a function dropped unrun leaves the copy
    // offering nothing.
    std::function<void(const QTextDocument &)> settleLater();
    // Which forms are kept (made, or being made elsewhere).
    bool textMade() const;
    bool richMade() const;
    // The most characters of the copy read from its document at once on the window's thread.
    qsizetype mostReadHere() const;

    static constexpr int kKeptRichChars = 16 * 1024;
    // Read at once on the window's thread: a copy this long is read there when asked for; a longer
    // one by a worker, a slice of this many characters (and the paragraph or piece it ends in) at a
    // time.
    static constexpr int kSliceChars = 64 * 1024;
    // What is made of a selection, shared by its copies.
    class Forms;

protected:
    QVariant retrieveData(const QString &mimeType, QMetaType type) const override;

private:
    std::shared_ptr<Forms> made_;
};
