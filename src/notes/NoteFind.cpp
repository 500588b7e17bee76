#include "notes/NoteFind.h"
#include <QStringMatcher>

#include "notes/RtfCodec.h"
#include "ui/Lang.h"
#include <QTextBlock>
#include <QTextDocument>

namespace NoteFind {
namespace {
std::optional<QString> rtfText(const QByteArray &rtf) {
    QTextDocument doc;
    if (!RtfCodec::read(rtf, &doc)) return std::nullopt;
    return doc.toPlainText();
}
} // namespace

QString shownText(const Note &note) {
    if (note.bodyRTF)
        if (auto t = rtfText(*note.bodyRTF)) return *t;
    return note.body;
}

QString shownCellText(const NoteRow &row, int col) {
    if (auto it = row.cellsRTF.find(col); it != row.cellsRTF.end())
        if (auto t = rtfText(it->second)) return *t;
    return col >= 0 && col < row.cells.size() ? row.cells.at(col) : QString();
}

std::vector<Range> textMatches(const QString &text, const QString &query, int cap) {
    std::vector<Range> out;
    if (query.isEmpty()) return out;
    qsizetype from = 0;
    // Qt compares case-insensitively unit by unit, so the ranges are ranges of the text itself.
    while (int(out.size()) < cap) {
        const qsizetype at = text.indexOf(query, from, Qt::CaseInsensitive);
        if (at < 0) break;
        out.push_back({int(at), int(query.size())});
        from = at + query.size();
    }
    return out;
}

DocSearch::DocSearch(const QTextDocument *doc, const QString &query, std::function<bool(const QTextBlock &)> joined, int cap,
                     int from, int to)
    : doc_(doc), query_(query), joined_(std::move(joined)), cap_(cap), next_(std::max(0, from)), from_(next_), to_(to) {
    done_ = !doc || query.isEmpty() || cap <= 0 || (to >= 0 && to <= from_);
}

bool DocSearch::run(QDeadlineTimer until) {
    if (done_) return true;
    if (!doc_) return done_ = true;
    const qsizetype q = query_.size();
    QTextBlock b = doc_->findBlock(next_);
    // The first paragraph of a search, or one after a document change moved the position, starts a
    // line of its own unless it continues one.
    while (b.isValid()) {
        // The first paragraph of a search that begins within it is searched from there, as a line.
        const bool first = from_ > b.position();
        if (first || !(joined_ && b.position() > 0 && joined_(b))) {
            carry_.clear();
            carryPos_.clear();
        }
        const QString hay = carry_ + b.text();
        const qsizetype carried = carry_.size();
        const int blockPos = b.position();
        const auto posOf = [&](qsizetype i) { return i < carried ? carryPos_[size_t(i)] : blockPos + int(i - carried); };
        qsizetype from = first ? std::min<qsizetype>(from_ - blockPos, hay.size()) : 0;
        from_ = 0;
        while (int(matches_.size()) < cap_) {
            const qsizetype at = hay.indexOf(query_, from, Qt::CaseInsensitive);
            if (at < 0) break;
            const int start = posOf(at);
            if (to_ >= 0 && start >= to_) return done_ = true;
            matches_.push_back({start, posOf(at + q - 1) + 1 - start});
            from = at + q;
        }
        if (int(matches_.size()) >= cap_) return done_ = true;
        // What a match across the cut to the next paragraph may start with.
        const qsizetype keep = std::min(q - 1, hay.size() - from);
        std::vector<int> pos;
        pos.reserve(size_t(keep));
        for (qsizetype i = hay.size() - keep; i < hay.size(); ++i) pos.push_back(posOf(i));
        carry_ = hay.right(keep);
        carryPos_ = std::move(pos);
        b = b.next();
        next_ = b.isValid() ? b.position() : doc_->characterCount();
        // Past the end, a paragraph is searched only for the end of a match begun before it.
        if (to_ >= 0 && next_ >= to_ && (carry_.isEmpty() || !(b.isValid() && joined_ && joined_(b)))) break;
        if (b.isValid() && until.hasExpired()) return false;
    }
    return done_ = true;
}

std::vector<TableClipboard::CellPos> tableMatches(const Note &note, const QString &query) {
    std::vector<TableClipboard::CellPos> out;
    if (query.isEmpty()) return out;
    // One matcher for every cell, and no copy of a plain cell's text: a large table's hundreds of
    // thousands of cells are searched in a few milliseconds. Matching goes unit by unit, as
    // QString::contains does, so a cell shorter than the query cannot hold it.
    const QStringMatcher matcher(query, Qt::CaseInsensitive);
    const auto holds = [&](QStringView text) { return text.size() >= query.size() && matcher.indexIn(text) >= 0; };
    const int colCount = int(note.columns.size());
    for (size_t ri = 0; ri < note.rows.size(); ++ri) {
        const NoteRow &row = note.rows[ri];
        for (int ci = 0; ci < colCount; ++ci) {
            const bool found = row.cellsRTF.empty() ? ci < row.cells.size() && holds(row.cells.at(ci))
                                                    : holds(shownCellText(row, ci));
            if (found) out.push_back({int(ri), ci});
        }
    }
    for (int ci = 0; ci < colCount; ++ci)
        if (holds(note.columns[size_t(ci)].title)) out.push_back({-1, ci});
    return out;
}

int step(int index, int delta, int count) {
    if (count <= 0) return 0;
    return ((index + delta) % count + count) % count;
}

QString countText(int index, int count) {
    return QString::number(index + 1) + QStringLiteral(" / ") + QString::number(count);
}

QString noResultsText() {
    return L::t(Tr{.en = "No results",
                   .es = "Sin resultados",
                   .de = "Kein Ergebnis",
                   .fr = "Aucun résultat",
                   .uk = "Немає збігів",
                   .pl = "Brak wyników"});
}

QString placeholderText() {
    return L::t(Tr{.en = "Find in note…",
                   .es = "Buscar…",
                   .de = "In Notiz suchen…",
                   .fr = "Rechercher…",
                   .uk = "Пошук у нотатці…",
                   .pl = "Szukaj w notatce…"});
}
} // namespace NoteFind
