// The note store's text renderings: rich text in marked form, the text export and the CSV export.
#include "notes/NoteStore.h"
#include "notes/RtfCodec.h"
#include "platform/Clock.h"

#include <QTextBlock>
#include <QTextBoundaryFinder>
#include <QTextDocument>
#include <QTextFragment>

namespace {
struct MarkRun {
    QString text;
    QTextCharFormat fmt;
};

void addRun(std::vector<MarkRun> &runs, const QString &text, const QTextCharFormat &fmt) {
    // Attribute runs are longest stretches of equal attributes, across paragraph ends too (their
    // markers are set line by line).
    if (!runs.empty() && runs.back().fmt == fmt)
        runs.back().text += text;
    else
        runs.push_back({text, fmt});
}

qsizetype graphemeCount(const QString &s) {
    QTextBoundaryFinder f(QTextBoundaryFinder::Grapheme, s);
    qsizetype n = 0;
    while (f.toNextBoundary() >= 0)
        ++n;
    return n;
}

QString csvField(QString s) {
    s.replace(u'"', QStringLiteral("\"\""));
    return u'"' + s + u'"';
}
} // namespace

QString NoteStore::attrStringToMarkdown(const QTextDocument &doc) {
    std::vector<MarkRun> runs;
    QTextCharFormat lastFmt;
    for (QTextBlock b = doc.begin(); b.isValid(); b = b.next()) {
        if (b != doc.begin())
            addRun(runs, QStringLiteral("\n"), lastFmt); // the paragraph end keeps the format before it
        lastFmt = b.charFormat();
        for (auto it = b.begin(); !it.atEnd(); ++it) {
            const QTextFragment frag = it.fragment();
            if (!frag.isValid()) continue;
            lastFmt = frag.charFormat();
            QString text = frag.text();
            text.replace(QChar(QChar::LineSeparator), u'\n');
            addRun(runs, text, lastFmt);
        }
    }
    QString out;
    for (const MarkRun &r : runs) {
        const bool bold = r.fmt.fontWeight() >= QFont::Bold, italic = r.fmt.fontItalic(),
                   underline = r.fmt.fontUnderline();
        // The markers close before each line end and open again after it: a line of marked text reads
        // whole on its own, and no marker starts a line it does not belong to.
        qsizetype at = 0;
        for (;;) {
            qsizetype end = r.text.indexOf(u'\n', at);
            if (end < 0) end = r.text.size();
            if (end > at) {
                const QStringView t = QStringView(r.text).mid(at, end - at);
                if (underline) out += QStringLiteral("__");
                if (italic) out += u'_';
                if (bold) out += QStringLiteral("**");
                out += t;
                if (bold) out += QStringLiteral("**");
                if (italic) out += u'_';
                if (underline) out += QStringLiteral("__");
            }
            if (end == r.text.size()) break;
            out += u'\n';
            at = end + 1;
        }
    }
    return out;
}

std::optional<QString> NoteStore::rtfToMarkdown(const QByteArray &rtf) {
    QTextDocument doc;
    if (!RtfCodec::read(rtf, &doc)) return std::nullopt;
    return attrStringToMarkdown(doc);
}

QString NoteStore::txtExport(const Note &note) {
    QStringList lines;
    lines << QStringLiteral("Mivo — Notes") << note.emoji + u' ' + note.title << QString(40, QChar(0x2500))
          << QString();
    if (note.type == NoteType::table) {
        QStringList titles;
        for (const NoteTableColumn &c : note.columns)
            titles << c.title;
        const QString titleLine = titles.join(QStringLiteral(" | "));
        lines << titleLine << QString(std::max<qsizetype>(40, graphemeCount(titleLine)), u'-');
        for (const NoteRow &r : note.rows) {
            QStringList cells;
            for (qsizetype i = 0; i < r.cells.size(); ++i) {
                std::optional<QString> md;
                if (auto it = r.cellsRTF.find(int(i)); it != r.cellsRTF.end()) md = rtfToMarkdown(it->second);
                cells << (md ? *md : r.cells.at(i));
            }
            lines << cells.join(QStringLiteral(" | "));
        }
    } else {
        std::optional<QString> md;
        if (note.bodyRTF) md = rtfToMarkdown(*note.bodyRTF);
        if (md)
            lines << *md;
        else if (!note.body.isEmpty())
            lines << note.body;
        if (!note.link.isEmpty()) lines << QString() << QStringLiteral("🔗 ") + note.link;
    }
    lines << QString()
          << QStringLiteral("Created: ") + Clock::fromRefSeconds(note.createdInterval)
                                               .toLocalTime()
                                               .toString(QStringLiteral("dd.MM.yyyy HH:mm"));
    return lines.join(u'\n');
}

QString NoteStore::csvExport(const Note &note) {
    QStringList lines;
    if (note.type == NoteType::table) {
        QStringList titles;
        for (const NoteTableColumn &c : note.columns)
            titles << csvField(c.title);
        lines << titles.join(u',');
        for (const NoteRow &r : note.rows) {
            QStringList cells;
            for (const QString &c : r.cells)
                cells << csvField(c);
            lines << cells.join(u',');
        }
    } else {
        lines << QStringLiteral("\"Title\",\"Body\",\"Link\"")
              << csvField(note.title) + u',' + csvField(note.body) + u',' + csvField(note.link);
    }
    return lines.join(u'\n');
}
