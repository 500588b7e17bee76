#pragma once
// The words of a PDF where a reader places them, through pdftotext -bbox (poppler-utils), so that tests
// pin a PDF's layout (margins, font size, line spacing) and its text, not only that a file exists.
#include <QList>
#include <QProcess>
#include <QRegularExpression>
#include <QTextDocumentFragment>
#include <algorithm>
#include <cmath>
#include <optional>
#include <tuple>

struct PdfWord {
    int page = 0; // from 0
    double x0 = 0, y0 = 0, x1 = 0, y1 = 0; // points from the page's top left
    QString text;
};

// Nothing when pdftotext cannot be run or fails.
inline std::optional<QList<PdfWord>> pdfWords(const QString &path) {
    QProcess p;
    p.start(QStringLiteral("pdftotext"), {QStringLiteral("-bbox"), path, QStringLiteral("-")});
    if (!p.waitForFinished(30000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0)
        return std::nullopt;
    const QString html = QString::fromUtf8(p.readAllStandardOutput());
    static const QRegularExpression re(
        QStringLiteral(R"re(<page |<word xMin="([\d.]+)" yMin="([\d.]+)" xMax="([\d.]+)" yMax="([\d.]+)">([^<]*)</word>)re"));
    QList<PdfWord> out;
    int page = -1;
    for (auto it = re.globalMatch(html); it.hasNext();) {
        const auto m = it.next();
        if (m.captured(0).startsWith(QLatin1String("<page"))) {
            ++page;
            continue;
        }
        out.append({page, m.captured(1).toDouble(), m.captured(2).toDouble(), m.captured(3).toDouble(),
                    m.captured(4).toDouble(), QTextDocumentFragment::fromHtml(m.captured(5)).toPlainText()});
    }
    return out;
}

// What a test pins of a PDF's layout: the left edge of its first page's text, the first word's top edge
// and height (it follows the font size), the distance between the tops of the first two lines, and the text line by
// line (words joined by one space).
struct PdfLayout {
    double left = 0, top = 0, height = 0, pitch = 0;
    QStringList lines;
    QString describe() const {
        return QStringLiteral("left %1 top %2 height %3 pitch %4 lines %5")
            .arg(left).arg(top).arg(height).arg(pitch).arg(lines.join(QLatin1Char('|')));
    }
};

inline std::optional<PdfLayout> pdfLayout(const QString &path) {
    auto words = pdfWords(path);
    if (!words || words->isEmpty()) return std::nullopt;
    // Reading order: a reader may list a line's words out of order (a run after a picture comes last).
    std::stable_sort(words->begin(), words->end(), [](const PdfWord &a, const PdfWord &b) {
        return std::tuple(a.page, qRound(a.y0), a.x0) < std::tuple(b.page, qRound(b.y0), b.x0);
    });
    PdfLayout l;
    const PdfWord &first = words->front();
    l.left = first.x0, l.top = first.y0, l.height = first.y1 - first.y0;
    for (const PdfWord &w : *words)
        if (w.page == 0) l.left = std::min(l.left, w.x0);
    QList<double> tops;
    int page = -1;
    for (const PdfWord &w : *words) {
        if (w.page != page || qRound(w.y0) != qRound(tops.last())) {
            l.lines << w.text;
            tops << w.y0;
            page = w.page;
        } else {
            l.lines.last() += QLatin1Char(' ') + w.text;
        }
    }
    if (tops.size() > 1) l.pitch = tops[1] - tops[0];
    return l;
}

// The document's title as a PDF viewer shows it (pdfinfo, poppler-utils); nothing when it cannot be read.
inline std::optional<QString> pdfTitle(const QString &path) {
    QProcess p;
    p.start(QStringLiteral("pdfinfo"), {QStringLiteral("-enc"), QStringLiteral("UTF-8"), path});
    if (!p.waitForFinished(30000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0)
        return std::nullopt;
    for (const QString &line : QString::fromUtf8(p.readAllStandardOutput()).split(QLatin1Char('\n')))
        if (line.startsWith(QLatin1String("Title:"))) return line.mid(6).trimmed();
    return QString();
}

// Within tolerance points of the expected position or size.
inline bool nearPt(double got, double expected, double tolerance = 0.3) {
    return std::abs(got - expected) <= tolerance;
}
