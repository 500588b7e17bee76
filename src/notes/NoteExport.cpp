#include "notes/NoteExport.h"

#include "notes/NoteStore.h"
#include "notes/RtfCodec.h"
#include "platform/AtomicFile.h"
#include "platform/Background.h"
#include "ui/Lang.h"
#include <QAbstractTextDocumentLayout>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPdfWriter>
#include <QSaveFile>
#include <QTextBlock>
#include <QTextBoundaryFinder>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextDocumentFragment>
#include <QTextFragment>
#include <atomic>
#include <chrono>
#include <cmath>
#include <memory>
#include <mutex>

namespace NoteExport {
namespace {
WriteResult commitBytes(QSaveFile &f) {
    const AtomicFile::WriteResult r = AtomicFile::commit(f);
    return {r.ok, r.error};
}

bool isStopped(const Stopped &stopped) {
    return stopped && stopped();
}

WriteResult stoppedResult() {
    return {false, {}, true};
}

// Commits a written file, or leaves it uncommitted when the export is stopped.
using Commit = std::function<WriteResult(QSaveFile &)>;

Commit commitUnlessStopped(const Stopped &stopped) {
    return [stopped](QSaveFile &f) { return isStopped(stopped) ? stoppedResult() : commitBytes(f); };
}

std::function<void()> g_beforeCommit; // for tests

// How often the longer loops look at the stop flag: each step between two looks takes well under a
// millisecond.
constexpr int kStepsPerLook = 64;
constexpr int kBlocksPerLook = 16;

QTextCharFormat plainFormat(int px, double grey = 0.0, bool bold = false) {
    QTextCharFormat f;
    QFont font = QGuiApplication::font();
    font.setPixelSize(px); // at 72 dpi one pixel is one point
    font.setBold(bold);
    f.setFont(font);
    f.setForeground(QColor::fromRgbF(float(grey), float(grey), float(grey)));
    return f;
}

// The rich text with every character black; its own fonts stay. Nothing when it does not read.
std::optional<QTextDocumentFragment> blackRichText(const QByteArray &rtf) {
    QTextDocument doc;
    if (!RtfCodec::read(rtf, &doc)) return std::nullopt;
    QTextCursor all(&doc);
    all.select(QTextCursor::Document);
    QTextCharFormat black;
    black.setForeground(Qt::black);
    all.mergeCharFormat(black);
    return QTextDocumentFragment(&doc);
}
// Colour emoji come from bitmap fonts that the PDF writer cannot embed: drawn as text they would
// vanish from the page. Those that a note holds are drawn as pictures instead.
bool isColourGlyph(const QString &cluster) {
    for (char32_t u : cluster.toUcs4())
        if (u >= 0x1F000 || u == 0xFE0F || (u >= 0x2600 && u <= 0x27BF) || (u >= 0x2B00 && u <= 0x2BFF) ||
            u == 0x200D || u == 0x20E3)
            return true;
    return false;
}

constexpr int kGlyphScale = 4; // pictures at four times their size stay sharp when printed
} // namespace

QImage glyphPicture(const QString &cluster, QFont font, const QColor &pen, QSizeF *size) {
    // From the colour emoji font first: a text font that holds a symbol of the same code (a heart,
    // a sun) would draw it in outline, in the pen's colour.
    QStringList families = font.families();
    if (families.isEmpty()) families << font.family();
    families.prepend(QStringLiteral("Noto Color Emoji"));
    font.setFamilies(families);
    const QFontMetricsF fm(font);
    const QSizeF box(std::max(1.0, fm.horizontalAdvance(cluster)), fm.ascent() + fm.descent());
    if (size) *size = box;
    QImage img((box * kGlyphScale).toSize(), QImage::Format_ARGB32_Premultiplied);
    img.fill(Qt::transparent);
    QPainter p(&img);
    p.scale(kGlyphScale, kGlyphScale);
    p.setFont(font);
    p.setPen(pen);
    p.drawText(QPointF(0, fm.ascent()), cluster);
    return img;
}

namespace {

// False when asked to stop before every glyph was replaced; doc is then only fit to be thrown away.
bool inlineColourGlyphs(QTextDocument &doc, const Stopped &stopped) {
    struct Hit {
        int pos;
        int len;
        QString text;
        QTextCharFormat fmt;
    };
    std::vector<Hit> hits;
    int seen = 0;
    for (QTextBlock b = doc.begin(); b.isValid(); b = b.next()) {
        if (++seen % kBlocksPerLook == 0 && isStopped(stopped)) return false;
        for (auto it = b.begin(); !it.atEnd(); ++it) {
            const QTextFragment frag = it.fragment();
            const QString text = frag.text();
            QTextBoundaryFinder f(QTextBoundaryFinder::Grapheme, text);
            qsizetype start = 0;
            for (qsizetype end = f.toNextBoundary(); end >= 0; end = f.toNextBoundary()) {
                const QString cluster = text.mid(start, end - start);
                if (isColourGlyph(cluster))
                    hits.push_back(
                        {frag.position() + int(start), int(end - start), cluster, frag.charFormat()});
                start = end;
            }
        }
    }
    QTextCursor c(&doc);
    c.beginEditBlock();
    for (auto it = hits.rbegin(); it != hits.rend(); ++it) { // from the end, so positions stay valid
        // Stopped, the document is thrown away with its edit left open: ending it would first lay
        // out all that comes before the replaced glyphs, the colour glyphs still there included
        // (seconds for a note of megabytes).
        if ((it - hits.rbegin()) % kStepsPerLook == kStepsPerLook - 1 && isStopped(stopped)) return false;
        QFont font = it->fmt.font();
        if (font.pixelSize() <= 0) font.setPixelSize(12);
        const QColor pen =
            it->fmt.foreground().style() != Qt::NoBrush ? it->fmt.foreground().color() : QColor(Qt::black);
        QSizeF box;
        const QImage img = glyphPicture(it->text, font, pen, &box);
        const QUrl name(QStringLiteral("mivo-glyph:%1").arg(it->pos));
        doc.addResource(QTextDocument::ImageResource, name, img);
        QTextImageFormat pic;
        pic.setName(name.toString());
        pic.setWidth(box.width());
        pic.setHeight(box.height());
        pic.setVerticalAlignment(QTextCharFormat::AlignBottom);
        c.setPosition(it->pos);
        c.setPosition(it->pos + it->len, QTextCursor::KeepAnchor);
        c.insertImage(pic);
    }
    c.endEditBlock();
    return true;
}
} // namespace

QString proposedName(const Note &note, Format f) {
    QString base = note.title;
    base.replace(u'/', u'-');
    base.replace(u':', u'-');
    if (note.title.isEmpty()) base = QStringLiteral("note"); // never a hidden ".txt"
    switch (f) {
    case Format::txt:
        return base + QStringLiteral(".txt");
    case Format::csv:
        return base + QStringLiteral(".csv");
    case Format::pdf:
        return base + QStringLiteral(".pdf");
    }
    return base;
}

namespace {
WriteResult writeText(const QString &path, const Note &note, Format f, const Stopped &stopped,
                      const Commit &commit) {
    if (isStopped(stopped)) return stoppedResult();
    const QByteArray bytes =
        (f == Format::csv ? NoteStore::csvExport(note) : NoteStore::txtExport(note)).toUtf8();
    if (isStopped(stopped)) return stoppedResult();
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) return {false, file.errorString()};
    if (file.write(bytes) != bytes.size()) {
        const QString error = AtomicFile::writeError(file);
        file.cancelWriting();
        return {false, error};
    }
    return commit(file);
}
} // namespace

WriteResult writeText(const QString &path, const Note &note, Format f, const Stopped &stopped) {
    return writeText(path, note, f, stopped, commitUnlessStopped(stopped));
}

namespace {
// False when asked to stop before the document was whole.
bool buildPdf(const Note &note, QTextDocument &doc, const Stopped &stopped) {
    doc.clear();
    doc.setDocumentMargin(0);
    QFont base = QGuiApplication::font();
    base.setPixelSize(12);
    doc.setDefaultFont(base);
    QTextCursor c(&doc);
    const QString sep = QStringLiteral("  |  ");

    c.insertText(note.emoji + QStringLiteral("  ") + note.title + u'\n', plainFormat(16, 0.0, true));
    c.insertText(QString(40, QChar(0x2500)) + QStringLiteral("\n\n"), plainFormat(11, 0.5));

    if (note.type == NoteType::table) {
        QStringList titles;
        for (const NoteTableColumn &col : note.columns)
            titles << col.title;
        c.insertText(titles.join(sep) + u'\n', plainFormat(11, 0.0, true));
        c.insertText(QString(60, QChar(0x2500)) + u'\n', plainFormat(9, 0.6));
        int done = 0;
        for (const NoteRow &row : note.rows) {
            if (++done % kStepsPerLook == 0 && isStopped(stopped)) return false;
            for (qsizetype i = 0; i < row.cells.size(); ++i) {
                if (i) c.insertText(sep, plainFormat(11, 0.4));
                std::optional<QTextDocumentFragment> rich;
                if (auto it = row.cellsRTF.find(int(i)); it != row.cellsRTF.end())
                    rich = blackRichText(it->second);
                if (rich)
                    c.insertFragment(*rich);
                else
                    c.insertText(row.cells.at(i), plainFormat(11));
            }
            c.insertText(QStringLiteral("\n"), QTextCharFormat());
        }
    } else {
        std::optional<QTextDocumentFragment> rich;
        if (note.bodyRTF) rich = blackRichText(*note.bodyRTF);
        if (isStopped(stopped)) return false;
        if (rich) {
            c.insertFragment(*rich);
        } else {
            QTextBlockFormat para = c.blockFormat();
            para.setLineHeight(2, QTextBlockFormat::LineDistanceHeight);
            para.setBottomMargin(8);
            c.setBlockFormat(para);
            c.insertText(note.body, plainFormat(12));
        }
    }
    return true;
}

// Lays the document out block by block, as painting would lay it out at once, so that a stop is
// seen in between. False when asked to stop.
bool layOut(QTextDocument &doc, const Stopped &stopped) {
    QAbstractTextDocumentLayout *layout = doc.documentLayout();
    int seen = 0;
    for (QTextBlock b = doc.begin(); b.isValid(); b = b.next()) {
        if (++seen % kBlocksPerLook == 0) {
            if (isStopped(stopped)) return false;
            layout->blockBoundingRect(b);
        }
    }
    return !isStopped(stopped);
}
} // namespace

void buildPdfDocument(const Note &note, QTextDocument &doc) {
    buildPdf(note, doc, nullptr);
}

namespace {
WriteResult writePdf(const QString &path, const Note &note, const Stopped &stopped, const Commit &commit) {
    if (isStopped(stopped)) return stoppedResult();
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) return {false, file.errorString()};
    // A stopped export is never committed: the save file removes what it wrote.
    {
        QPdfWriter pdf(&file);
        pdf.setResolution(72); // device units are points
        pdf.setTitle(note.title);
        pdf.setCreator(QStringLiteral("Mivo"));
        pdf.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait,
                                      QMarginsF(kMarginX, kMarginY, kMarginX, kMarginY), QPageLayout::Point));
        QTextDocument doc;
        // Built before the layout for the page is set: each insertion into a document with that
        // layout costs it a relayout of what it touched (a 1 MB note's body took seconds to go in,
        // which no stop could break into). The pages come out the same.
        if (!buildPdf(note, doc, stopped)) return stoppedResult();
        doc.documentLayout()->setPaintDevice(&pdf);
        if (!inlineColourGlyphs(doc, stopped)) return stoppedResult();
        const double pageH = kPageHeight - 2 * kMarginY;
        doc.setPageSize(QSizeF(kTextWidth, pageH));
        if (!layOut(doc, stopped)) return stoppedResult();
        QPainter p;
        if (!p.begin(&pdf)) {
            file.cancelWriting();
            return {false, QStringLiteral("Could not start the PDF.")};
        }
        const int pages = std::max(1, doc.pageCount());
        for (int i = 0; i < pages; ++i) {
            if (isStopped(stopped)) {
                p.end();
                return stoppedResult();
            }
            if (i) pdf.newPage();
            p.save();
            p.translate(0, -i * pageH);
            doc.drawContents(&p, QRectF(0, i * pageH, kTextWidth, pageH));
            p.restore();
        }
        p.end();
    }
    return commit(file);
}

WriteResult write(const QString &path, const Note &note, Format f, const Stopped &stopped,
                  const Commit &commit) {
    return f == Format::pdf ? writePdf(path, note, stopped, commit)
                            : writeText(path, note, f, stopped, commit);
}
} // namespace

WriteResult writePdf(const QString &path, const Note &note, const Stopped &stopped) {
    return writePdf(path, note, stopped, commitUnlessStopped(stopped));
}

WriteResult write(const QString &path, const Note &note, Format f, const Stopped &stopped) {
    return write(path, note, f, stopped, commitUnlessStopped(stopped));
}

void setBeforeCommitHookForTests(std::function<void()> hook) {
    g_beforeCommit = std::move(hook);
}

namespace {
// An export handed to a worker. Its stop and its commit are decided under its lock: a stop either
// comes first, and the file is never committed, or waits for the commit under way and counts it as
// written.
struct Running {
    std::mutex m;
    std::atomic<bool> stop{false};
    bool committed = false; // under m
    bool ended = false;     // under m: nothing left to stop
};
} // namespace

void writeLater(const QString &path, const Note &note, Format f, QObject *receiver,
                std::function<void(const WriteResult &)> done) {
    // The note goes by value: the worker reads a copy of its own whatever the store does meanwhile.
    writeLater(path, [note]() mutable { return std::optional<Note>(std::move(note)); }, f, receiver, std::move(done));
}

void writeLater(const QString &path, std::function<std::optional<Note>()> read, Format f, QObject *receiver,
                std::function<void(const WriteResult &)> done) {
    auto running = std::make_shared<Running>();
    const QString unread = L::t({.en = "The note could not be read.", .es = "No se pudo leer la nota.",
                                 .de = "Die Notiz konnte nicht gelesen werden.", .fr = "La note n'a pas pu être lue.",
                                 .uk = "Не вдалося прочитати нотатку.", .pl = "Nie udało się odczytać notatki."});
    // Stopped by quitting only, and then it has nothing to tell.
    const auto stop = [running] {
        std::lock_guard commit(running->m); // waits for a commit under way
        if (running->committed || running->ended) return false;
        running->stop = true;
        return true;
    };
    // A layout must not run on once the application is gone: it would find no fonts.
    Background::run<WriteResult>(
        receiver,
        [path, read = std::move(read), f, running, unread]() mutable {
            const auto stopped = [&running] { return running->stop.load(std::memory_order_relaxed); };
            const auto commit = [&running](QSaveFile &file) {
                if (g_beforeCommit) g_beforeCommit();
                std::lock_guard l(running->m);
                if (running->stop) return stoppedResult();
                const WriteResult r = commitBytes(file);
                running->committed = true;
                return r;
            };
            std::optional<Note> note = read ? read() : std::nullopt;
            read = {};
            WriteResult r;
            if (!note)
                r.error = unread;
            else if (stopped())
                r = stoppedResult();
            else
                r = write(path, *note, f, stopped, commit);
            note.reset(); // megabytes of text freed here, not on the window's thread
            std::lock_guard l(running->m);
            running->ended = true;
            return r;
        },
        [done = std::move(done)](const WriteResult &r) {
            if (!r.stopped) done(r);
        },
        {QStringLiteral("export"), Background::AtQuit::end, stop});
}

int stopAll() {
    return Background::stopAll();
}

bool settle(int waitMs) {
    return settle(Deadline(waitMs));
}

bool settle(const Deadline &deadline) {
    return Background::finishAll(deadline, Background::AtQuit::end).isEmpty();
}

QString formatAlertTitle() {
    return L::t(Tr{.en = "Export format",
                   .es = "Formato de exportación",
                   .de = "Format wählen",
                   .fr = "Format d'export",
                   .uk = "Формат експорту",
                   .pl = "Format eksportu"});
}

QString noSelectionText() {
    return L::t(Tr{.en = "No note selected",
                   .es = "Ninguna nota seleccionada",
                   .de = "Keine Notiz ausgewählt",
                   .fr = "Aucune note sélectionnée",
                   .uk = "Нотатку не вибрано",
                   .pl = "Nie wybrano notatki"});
}
} // namespace NoteExport
