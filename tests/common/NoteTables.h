#pragma once
#include "notes/Note.h"
#include <QList>
#include <QStringList>

// A table note with cols columns named C0, C1, … whose rows hold the given cells.
inline Note tableNote(const QString &id, int cols, const QList<QStringList> &rows) {
    Note n(NoteType::table, QStringLiteral("📊"), QStringLiteral("Table ") + id);
    n.id = id;
    for (int i = 0; i < cols; ++i) n.columns.emplace_back(QStringLiteral("C%1").arg(i));
    for (const QStringList &r : rows) n.rows.emplace_back(r);
    return n;
}
inline Note table(int cols, const QList<QStringList> &rows) { return tableNote(QStringLiteral("T"), cols, rows); }

// The cells of every row, in order.
inline QList<QStringList> cells(const Note &n) {
    QList<QStringList> out;
    for (const NoteRow &r : n.rows) out << r.cells;
    return out;
}
