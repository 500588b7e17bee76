#include "notes/NoteTextView.h"

#include "notes/HtmlText.h"
#include "notes/NoteDocumentParts.h"
#include "notes/PacedLayout.h"
#include "notes/PieceCuts.h"
#include "notes/RichPaste.h"
#include "notes/RtfCodec.h"
#include "platform/Background.h"
#include "platform/ClipboardReader.h"
#include "platform/MadeOnAsk.h"
#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QThread>
#include <limits>
#include <memory>

// The view's pastes: plain and rich, short ones put in at once, long ones read or put in on a worker.

void NoteTextView::insertFromMimeData(const QMimeData *source) {
    if (!isReadOnly()) settleCopiesAroundSelection(source);
    QString text = source && source->hasText() ? source->text() : QString();
    if (!isReadOnly() && source && source->hasHtml()) {
        // The bound is on what a rich paste takes in, the HTML's own text: a clipboard may offer
        // far more of it than plain text, or none. Past it, the paste is read on a worker (measured
        // only as far as the bound).
        const QString html = source->html();
        if (HtmlText::plainText(html, NoteDocument::kPieceChars).size() <= NoteDocument::kPieceChars)
            userEdit([this, &html] { insertRich(html); }, false, true);
        else
            pasteRichLater(html, {});
        return;
    }
    // A long copy from a note offers its rich text as RTF (see SelectionCopy).
    if (!isReadOnly() && source && source->hasFormat(QStringLiteral("text/rtf"))) {
        const QByteArray rtf = source->data(QStringLiteral("text/rtf"));
        if (!rtf.isEmpty()) {
            pasteRichLater({}, rtf);
            return;
        }
    }
    if (isReadOnly()) return;
    if (text.size() <= NoteDocument::kPieceChars) {
        // As a plain text editor pastes (in the look of the caret's text), but without placing the
        // view on the caret before the paste is cut into pieces.
        userEdit(
            [this, &text] {
                if (text.isEmpty()) return;
                QTextCursor c = textCursor();
                c.insertText(text);
            },
            false, true);
        return;
    }
    QTextCursor c = textCursor();
    if (onLongPaste && text.size() > NoteDocument::kPasteLaterChars) {
        const auto take = onLongPaste; // a copy: the handler may replace this view's document
        take(text, c.selectionStart(), c.selectionEnd());
        return;
    }
    // A long paste goes in as plain text, its long lines in pieces like those of an opened note: a
    // line of megabytes in one paragraph would take minutes to lay out. A carriage return would make
    // a paragraph of its own: a line ended the Windows way is one line.
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    text.replace(u'\r', u'\n');
    c.beginEditBlock();
    NoteDocument::removeSelection(c);
    const int pastedFrom = c.position();
    const QTextCharFormat chars = c.charFormat();
    QTextBlockFormat line = c.blockFormat(), piece = line;
    line.clearProperty(NoteDocument::kContinues);
    piece.setProperty(NoteDocument::kContinues, true);
    qsizetype at = 0;
    while (at <= text.size()) {
        qsizetype end = text.indexOf(u'\n', at);
        if (end < 0) end = text.size();
        const QString one = text.mid(at, end - at);
        qsizetype from = 0;
        for (const qsizetype cut : NoteDocument::pieceStarts(one)) {
            c.insertText(one.mid(from, cut - from), chars);
            c.insertBlock(piece, chars);
            from = cut;
        }
        c.insertText(one.mid(from), chars);
        if (end < text.size()) c.insertBlock(line, chars);
        at = end + 1;
    }
    QTextCursor mend(document());
    NoteDocument::mendCuts(mend, pastedFrom, c.position(), [] {});
    c.endEditBlock();
    setTextCursor(c);
    linkEdited(pastedFrom, c.position());
}

// Asked at every move of a drag over the view: a long copy of a note (the selection dragged from
// here, at its start) offers text it makes only when it is asked for, and is not read for this.
bool NoteTextView::canInsertFromMimeData(const QMimeData *source) const {
    if (const auto *later = dynamic_cast<const MadeOnAsk *>(source);
        later && later->makesLater(QStringLiteral("text/plain")))
        return true;
    return QPlainTextEdit::canInsertFromMimeData(source);
}

void NoteTextView::pastePlain() {
    pasteClipboard(true);
}

// Another program's clipboard is read on a worker (a long text read here held the window as long as
// it took to take in), and what it held goes in once read, where the selection went meanwhile, as a
// rich paste read on a worker does: a save waits for it. One that offers rich text is read here, as
// the clipboard's own data is, and measured before it is taken in.
void NoteTextView::pasteClipboard(bool plain) {
    if (isReadOnly()) return;
    ClipboardReader &reader = ClipboardReader::get();
    const auto here = [this, plain] {
        if (plain)
            insertPlain(QGuiApplication::clipboard()->text());
        else
            paste();
    };
    // This program's own long copy is made without holding the window, as for another program.
    const MadeOnAsk *own = nullptr;
    QString form;
    if (!reader.readsApart()) {
        own = dynamic_cast<const MadeOnAsk *>(QGuiApplication::clipboard()->mimeData());
        const QString rtf = QStringLiteral("text/rtf"), text = QStringLiteral("text/plain");
        form = own && !plain && own->makesLater(rtf) ? rtf : text;
        if (!own || !own->makesLater(form)) {
            here();
            return;
        }
    }
    putPendingPaste(); // one read before goes in first
    richPasteAt_ = textCursor();
    richPastePending_ = true;
    putRichPaste_ = nullptr;
    const quint64 paste = ++richPastes_;
    const auto arrived = [this, plain, here, paste](ClipboardReader::Read r, QByteArray rtf) {
        if (paste != richPastes_ || !richPastePending_) return;
        putRichPaste_ = [this, plain, here, r = std::move(r), rtf = std::move(rtf)] {
            {
                const NoteDocument::PacedLayout::Pacing pacing(document(), this);
                setTextCursor(richPasteAt_);
            }
            if (!rtf.isEmpty()) {
                QMimeData m;
                m.setData(QStringLiteral("text/rtf"), rtf);
                insertFromMimeData(&m);
            } else if (r.kind == ClipboardReader::Read::Kind::asQt) {
                here();
            } else if (r.kind == ClipboardReader::Read::Kind::text && plain) {
                insertPlain(r.text);
            } else if (r.kind == ClipboardReader::Read::Kind::text) {
                QMimeData m;
                m.setText(r.text);
                insertFromMimeData(&m);
            }
        };
        putPendingPaste();
    };
    if (!own) {
        reader.readLater(this, [arrived](ClipboardReader::Read r) { arrived(std::move(r), {}); });
        return;
    }
    own->whenMade(form, this, [this, arrived, rich = form != QLatin1String("text/plain")](MadeOnAsk::Made m) {
        using Kind = ClipboardReader::Read::Kind;
        if (m.refused) {
            arrived({Kind::nothing, {}}, {});
        } else if (rich) {
            arrived({Kind::nothing, {}}, std::move(m.bytes));
        } else {
            // Megabytes of UTF-8 are made text on a worker.
            Background::run<QString>(
                this, [m = std::move(m)] { return m.text(); },
                [arrived](QString text) { arrived({Kind::text, std::move(text)}, {}); },
                {QStringLiteral("the clipboard being read")});
        }
    });
}

void NoteTextView::insertPlain(QString text) {
    if (isReadOnly() || text.isEmpty()) return;
    settleCopiesAroundSelection();
    if (text.size() > NoteDocument::kPieceChars) {
        // A long paste goes in as plain text anyway, its long lines in pieces.
        QMimeData plain;
        plain.setText(text);
        insertFromMimeData(&plain);
        return;
    }
    // A line ended the Windows way is one line, not a line and an empty one.
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    text.replace(u'\r', u'\n');
    userEdit(
        [this, &text] {
            QTextCursor c = textCursor();
            c.removeSelectedText();
            c.insertText(text, NoteDocument::plainLook(c.charFormat()));
        },
        false, true);
}

void NoteTextView::insertRich(const QString &html) {
    QTextDocument pasted;
    RichPaste::read(pasted, html, document()->defaultFont());
    QTextCursor c = textCursor();
    RichPaste::put(c, pasted, {document()->defaultFont(), QGuiApplication::palette().link(), autoLinks_});
}

// A long rich paste is read on a worker, and put in on one too when the view has its document edited
// there (past a piece's characters, putting it in here held the window 20-70 ms); otherwise here once
// read, where the selection it replaces has gone meanwhile. Its formats and lines are kept whatever
// its length: only where the work is done depends on it. Either way its undo and redo are done where
// it was put in.
void NoteTextView::pasteRichLater(const QString &html, const QByteArray &rtf) {
    putPendingPaste(); // one read before goes in first
    const RichPaste::Look look{document()->defaultFont(), QGuiApplication::palette().link(), autoLinks_};
    const auto read = [html, rtf, scale = RtfCodec::sizeScale(*document())](QTextDocument &pasted,
                                                                             const QFont &font) {
        if (!rtf.isEmpty())
            RichPaste::readRtf(pasted, rtf, font, scale);
        else
            RichPaste::read(pasted, html, font);
    };
    const QTextCursor sel = textCursor();
    if (onLongEdit) {
        // What was copied of the text is made there too, before the paste changes it.
        std::vector<std::function<void(const QTextDocument &)>> copies;
        settleCopies(0, std::numeric_limits<int>::max(), nullptr, &copies);
        const auto take = onLongEdit; // a copy: the handler replaces this view's document
        take([read, look, from = sel.selectionStart(), to = sel.selectionEnd(),
              copies = std::move(copies)](QTextDocument &doc) {
            for (const auto &make : copies)
                make(doc);
            QTextDocument pasted;
            read(pasted, look.font);
            return NoteDocument::longStep(doc, [&] { return RichPaste::paste(doc, from, to, pasted, look); });
        });
        return;
    }
    richPasteAt_ = sel;
    richPastePending_ = true;
    putRichPaste_ = nullptr;
    struct Read {
        std::unique_ptr<QTextDocument> pasted; // of no thread on its way back
    };
    Background::run<Read>(
        this,
        [read, font = look.font] {
            Read r{std::make_unique<QTextDocument>()};
            read(*r.pasted, font);
            r.pasted->moveToThread(nullptr);
            return r;
        },
        [this, look, paste = ++richPastes_](Read r) {
            r.pasted->moveToThread(QThread::currentThread());
            // A paste started before the last one is not put in: the last one settles.
            if (paste != richPastes_ || !richPastePending_) return;
            putRichPaste_ = [this, look, pasted = std::shared_ptr<QTextDocument>(std::move(r.pasted))] {
                {
                    const NoteDocument::PacedLayout::Pacing pacing(document(), this);
                    setTextCursor(richPasteAt_);
                }
                settleCopiesAroundSelection();
                userEdit(
                    [this, &pasted, &look] {
                        QTextCursor c = textCursor();
                        RichPaste::put(c, *pasted, look);
                    },
                    false, true);
            };
            putPendingPaste();
        },
        {QStringLiteral("a rich paste being read"), Background::AtQuit::end, {}});
}

// The paste read goes in once the view is editable again on the document it was made in (one lent
// to a worker for a long edit comes back). It is given up only with that document: gone, or another
// one edited, or with the edit it was for (dropPendingPaste); a save waits for it.
void NoteTextView::putPendingPaste() {
    if (!putRichPaste_) return;
    // Read-only, the view shows none of its document or is not to be edited for now.
    if (!richPasteAt_.isNull() && isReadOnly()) return;
    const auto put = std::exchange(putRichPaste_, nullptr);
    const quint64 started = richPastes_;
    if (!richPasteAt_.isNull() && richPasteAt_.document() == document()) put();
    // What was read started a read of its own (a rich paste past a piece's characters): that one settles.
    if (richPastes_ != started) return;
    richPasteAt_ = QTextCursor();
    richPastePending_ = false;
    emit pasteSettled();
}

void NoteTextView::putPendingPasteLater() {
    if (putRichPaste_) QMetaObject::invokeMethod(this, &NoteTextView::putPendingPaste, Qt::QueuedConnection);
}

void NoteTextView::dropPendingPaste() {
    if (!richPastePending_) return;
    ++richPastes_; // one still being read is not put in
    putRichPaste_ = nullptr;
    if (document()) richPasteAt_ = QTextCursor(); // a document lent to a worker keeps it until back
    richPastePending_ = false;
    emit pasteSettled();
}
