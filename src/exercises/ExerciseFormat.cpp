#include "exercises/ExerciseFormat.h"

#include <QRegularExpression>

namespace ExerciseFormat {
QString durStr(qint64 s) {
    if (s < 0) s = 0;
    if (s < 60) return QString::number(s) + QStringLiteral(" sec");
    if (s % 60 == 0) return QString::number(s / 60) + QStringLiteral(" min");
    return QString::number(s / 60) + QStringLiteral(" min ") + QString::number(s % 60) + QStringLiteral(" s");
}

std::optional<QRgb> hexRgb(const QString &text) {
    qsizetype b = 0, e = text.size();
    while (b < e && !text[b].isLetterOrNumber())
        ++b;
    while (e > b && !text[e - 1].isLetterOrNumber())
        --e;
    QStringView v = QStringView(text).mid(b, e - b);
    if (v.size() > 2 && v[0] == QLatin1Char('0') && (v[1] == QLatin1Char('x') || v[1] == QLatin1Char('X')) &&
        isxdigit(v[2].toLatin1()))
        v = v.mid(2);
    quint64 value = 0;
    int digits = 0;
    bool overflow = false;
    for (QChar c : v) {
        const char l = c.toLatin1();
        if (c.unicode() > 127 || !isxdigit(l)) break;
        const int d = (l >= '0' && l <= '9') ? l - '0' : (l | 0x20) - 'a' + 10;
        if (value >> 60) overflow = true;
        value = (value << 4) | quint64(d);
        ++digits;
    }
    if (digits == 0) return std::nullopt;
    if (overflow) value = ~quint64(0); // a number too large reads as the largest, as a scanner gives it
    return qRgb(int((value >> 16) & 0xFF), int((value >> 8) & 0xFF), int(value & 0xFF));
}

namespace {
QString keepSlugChars(const QString &s) {
    QString out;
    out.reserve(s.size());
    for (qsizetype i = 0; i < s.size(); ++i) {
        const QChar c = s[i];
        if (c.isHighSurrogate() && i + 1 < s.size()) {
            const char32_t cp = QChar::surrogateToUcs4(c, s[i + 1]);
            if (QChar::isLetterOrNumber(cp)) out.append(s.mid(i, 2));
            ++i;
            continue;
        }
        if (c.isLetterOrNumber() || c == QLatin1Char('-')) out.append(c);
    }
    return out;
}
} // namespace

QString exportFileName(const QString &name, const QString &id) {
    static const QRegularExpression space(QStringLiteral("\\s"));
    QString part = keepSlugChars(name.split(space).join(QLatin1Char('-')).toLower());
    if (part.isEmpty()) part = keepSlugChars(id);
    const QString prefix = QStringLiteral("exercise-"), suffix = QStringLiteral(".json");
    const int budget = kMaxFileNameBytes - int(prefix.toUtf8().size() + suffix.toUtf8().size());
    int used = 0;
    qsizetype cut = 0;
    while (cut < part.size()) {
        const qsizetype len = (part[cut].isHighSurrogate() && cut + 1 < part.size()) ? 2 : 1;
        const int bytes = int(part.mid(cut, len).toUtf8().size());
        if (used + bytes > budget) break;
        used += bytes;
        cut += len;
    }
    return prefix + part.left(cut) + suffix;
}
} // namespace ExerciseFormat

namespace ExerciseFile {
ReadResult read(const QString &path, qint64 maxBytes) {
    return ImportFile::read(path, maxBytes);
}
} // namespace ExerciseFile
