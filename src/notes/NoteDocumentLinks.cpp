#include "notes/NoteDocument.h"

#include "notes/NoteDocumentParts.h"
#include "notes/RichTextView.h"
#include "ui/WebLinks.h"
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextFragment>
#include <algorithm>

namespace NoteDocument {
std::vector<FormatRun> formatRuns(const QTextDocument &doc, int from, int to) {
    std::vector<FormatRun> runs;
    for (QTextBlock b = doc.findBlock(from); b.isValid() && b.position() < to; b = b.next())
        for (auto it = b.begin(); !it.atEnd(); ++it) {
            const QTextFragment f = it.fragment();
            const int s = std::max(from, f.position()), e = std::min(to, f.position() + f.length());
            if (s < e) runs.push_back({s, e, f.charFormat()});
        }
    return runs;
}

QTextCharFormat unlinked(QTextCharFormat f) {
    if (!f.boolProperty(RichTextView::kAutoLinkProperty)) return f;
    f.clearProperty(QTextFormat::IsAnchor);
    f.clearProperty(QTextFormat::AnchorHref);
    f.clearProperty(RichTextView::kAutoLinkProperty);
    if (f.hasProperty(kLinkWasUnderline))
        f.setProperty(QTextFormat::TextUnderlineStyle, f.property(kLinkWasUnderline));
    else
        f.clearProperty(QTextFormat::TextUnderlineStyle);
    if (f.hasProperty(kLinkWasColour))
        f.setForeground(f.brushProperty(kLinkWasColour));
    else
        f.clearForeground();
    f.clearProperty(kLinkWasUnderline);
    f.clearProperty(kLinkWasColour);
    return f;
}

void markLink(QTextCursor &c, int start, int end, const QString &href, const QColor &colour) {
    for (const FormatRun &r : formatRuns(*c.document(), start, end)) {
        QTextCharFormat f = r.fmt;
        if (f.hasProperty(QTextFormat::TextUnderlineStyle))
            f.setProperty(kLinkWasUnderline, f.property(QTextFormat::TextUnderlineStyle));
        if (f.hasProperty(QTextFormat::ForegroundBrush))
            f.setProperty(kLinkWasColour, f.foreground());
        f.setAnchor(true);
        f.setAnchorHref(href);
        f.setProperty(RichTextView::kAutoLinkProperty, true);
        f.setForeground(colour);
        f.setFontUnderline(true);
        c.setPosition(r.start);
        c.setPosition(r.end, QTextCursor::KeepAnchor);
        c.setCharFormat(f);
    }
}

void markLinks(QTextCursor &c, int from, int to, const QColor &colour) {
    const QTextDocument &doc = *c.document();
    for (QTextBlock b = doc.findBlock(from); b.isValid() && b.position() <= to; b = b.next()) {
        const int base = b.position();
        for (const WebLinks::Match &m : WebLinks::find(b.text())) {
            const auto runs = formatRuns(doc, base + m.start, base + m.start + m.length);
            // A link put in on purpose keeps its text as it is.
            if (std::any_of(runs.begin(), runs.end(), [](const FormatRun &r) { return r.fmt.isAnchor(); }))
                continue;
            markLink(c, base + m.start, base + m.start + m.length, m.url.toString(QUrl::FullyEncoded), colour);
        }
    }
}

std::vector<FoundLink> findLinks(const QTextDocument &doc, int from, int to) {
    std::vector<FoundLink> out;
    for (QTextBlock b = doc.findBlock(from); b.isValid() && b.position() <= to; b = b.next()) {
        if (g_quitting) break;
        const QString text = b.text();
        for (const WebLinks::Match &m : WebLinks::find(text))
            out.push_back({b.position() + m.start, m.length, text.mid(m.start, m.length), m.url.toString(QUrl::FullyEncoded)});
    }
    return out;
}

namespace {
bool ownLink(const QTextCharFormat &f) {
    return f.isAnchor() && !f.boolProperty(RichTextView::kAutoLinkProperty);
}

// Whether the detected links of b differ from what its addresses ask for (see markLinks).
bool linksStale(const QTextDocument &doc, const QTextBlock &b, const QList<WebLinks::Match> &matches) {
    const int base = b.position();
    const std::vector<FormatRun> runs = formatRuns(doc, base, base + b.length() - 1);
    std::vector<QString> want(size_t(std::max(0, b.length())));
    for (const WebLinks::Match &m : matches) {
        const int s = base + m.start, e = s + m.length;
        if (std::any_of(runs.begin(), runs.end(),
                        [&](const FormatRun &r) { return r.start < e && r.end > s && ownLink(r.fmt); }))
            continue;
        std::fill(want.begin() + m.start, want.begin() + m.start + m.length,
                  m.url.toString(QUrl::FullyEncoded));
    }
    for (const FormatRun &r : runs) {
        if (ownLink(r.fmt)) continue;
        const QString has =
            r.fmt.boolProperty(RichTextView::kAutoLinkProperty) ? r.fmt.anchorHref() : QString();
        for (int i = r.start; i < r.end; ++i)
            if (want[size_t(i - base)] != has) return true;
    }
    return false;
}
} // namespace

bool relinkEdited(QTextDocument &doc, int from, int to, const QColor &colour) {
    QTextCursor c(&doc);
    bool editing = false;
    for (QTextBlock b = doc.findBlock(from); b.isValid() && b.position() <= to; b = b.next()) {
        if (!linksStale(doc, b, WebLinks::find(b.text()))) continue;
        if (!editing) c.joinPreviousEditBlock(), editing = true; // the link belongs to the keystroke
        // Found again from the text as it is, each detected link first given its own look back.
        const int base = b.position();
        for (const FormatRun &r : formatRuns(doc, base, base + b.length() - 1)) {
            if (!r.fmt.boolProperty(RichTextView::kAutoLinkProperty)) continue;
            c.setPosition(r.start);
            c.setPosition(r.end, QTextCursor::KeepAnchor);
            c.setCharFormat(unlinked(r.fmt));
        }
        markLinks(c, base, base, colour);
    }
    if (editing) c.endEditBlock();
    return editing;
}

bool linkAddresses(QTextDocument &doc, const QColor &linkColour, const QColor &textColour) {
    const bool undo = doc.isUndoRedoEnabled();
    doc.setUndoRedoEnabled(false);
    QTextCursor c(&doc);
    // One edit block: no paragraph is laid out on the way (see build).
    c.beginEditBlock();
    QTextCharFormat base;
    base.setForeground(textColour);
    base.setProperty(kShownColour, true);
    c.select(QTextCursor::Document);
    c.setCharFormat(base);
    QTextCharFormat link;
    link.setAnchor(true);
    link.setForeground(linkColour);
    link.setFontUnderline(true);
    bool whole = true;
    for (QTextBlock b = doc.firstBlock(); b.isValid(); b = b.next()) {
        if (g_quitting) {
            whole = false;
            break;
        }
        QTextBlockFormat plain;
        if (continues(b)) plain.setProperty(kContinues, true);
        if (b.blockFormat() != plain) {
            c.setPosition(b.position());
            c.setBlockFormat(plain);
        }
        for (const WebLinks::Match &m : WebLinks::find(b.text())) {
            link.setAnchorHref(m.url.toString(QUrl::FullyEncoded));
            c.setPosition(b.position() + m.start);
            c.setPosition(b.position() + m.start + m.length, QTextCursor::KeepAnchor);
            c.setCharFormat(link);
        }
    }
    c.endEditBlock();
    doc.setUndoRedoEnabled(undo);
    return whole;
}

void showTextColour(QTextDocument &doc, const QColor &colour, const QColor &links) {
    QTextCharFormat fg;
    fg.setForeground(colour);
    fg.setProperty(kShownColour, true);
    QTextCharFormat linkFg = fg;
    if (links.isValid()) linkFg.setForeground(links);
    QTextCursor c(&doc);
    const std::vector<FormatRun> runs = formatRuns(doc, 0, doc.characterCount());
    const auto coloured = [](const FormatRun &r) { return r.fmt.hasProperty(QTextFormat::ForegroundBrush); };
    const auto link = [](const FormatRun &r) { return r.fmt.isAnchor(); };
    const bool whole = std::none_of(runs.begin(), runs.end(), coloured);
    if (whole) {
        c.select(QTextCursor::Document);
        c.mergeCharFormat(fg);
    }
    for (const FormatRun &r : runs) {
        if (link(r) && links.isValid()) {
            // A link is drawn in the links' colour whatever colour it has; its own is kept for the save.
            QTextCharFormat own = linkFg;
            if (coloured(r) && !r.fmt.boolProperty(kShownColour))
                own.setProperty(kLinkOwnColour, r.fmt.foreground());
            c.setPosition(r.start);
            c.setPosition(r.end, QTextCursor::KeepAnchor);
            c.mergeCharFormat(own);
            continue;
        }
        if (coloured(r) || whole) continue;
        c.setPosition(r.start);
        c.setPosition(r.end, QTextCursor::KeepAnchor);
        c.mergeCharFormat(fg);
    }
}

QTextCharFormat storedFormat(const QTextCharFormat &shown) {
    QTextCharFormat f = unlinked(shown);
    if (f.boolProperty(kShownColour)) {
        f.clearForeground();
        f.clearProperty(kShownColour);
        if (f.isAnchor() && f.hasProperty(kLinkOwnColour)) f.setForeground(f.brushProperty(kLinkOwnColour));
    }
    f.clearProperty(kLinkOwnColour);
    return f;
}

bool mayCarryLooks(const QTextDocument &doc) {
    for (const QTextFormat &f : doc.allFormats()) {
        if (f.isCharFormat()) {
            if (f.hasProperty(kLayoutLook)) continue;
            QTextCharFormat stored = storedFormat(f.toCharFormat());
            stored.clearProperty(kGathered); // a paragraph break, which the text holds too
            if (!stored.properties().isEmpty()) return true;
        } else if (f.isBlockFormat()) {
            QTextBlockFormat line = f.toBlockFormat();
            line.clearProperty(kContinues); // a cut between pieces, not in what is stored
            if (!line.properties().isEmpty()) return true;
        } else if (!f.isFrameFormat() || f.isTableFormat()) {
            return true; // a list, a table, a picture; the document's own frame is no look
        }
    }
    return false;
}

} // namespace NoteDocument
