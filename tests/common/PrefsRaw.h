#pragma once
// The preferences database as another program sees it: its raw rows, a statement run on it, and its
// write lock held.
#include <QString>
#include <QStringList>
#include <sqlite3.h>

// Raw rows, as another program reading the file sees them: "key type typeof(value) value-bytes".
inline QStringList rawRows(const QString &path, const QString &like) {
    sqlite3 *db = nullptr;
    QStringList rows;
    if (sqlite3_open_v2(path.toUtf8().constData(), &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK)
        return rows;
    sqlite3_stmt *st = nullptr;
    sqlite3_prepare_v2(
        db, "SELECT key, type, typeof(value), CAST(value AS BLOB) FROM prefs WHERE key LIKE ?1 ORDER BY key",
        -1, &st, nullptr);
    const QByteArray l = like.toUtf8();
    sqlite3_bind_text(st, 1, l.constData(), -1, SQLITE_TRANSIENT);
    while (sqlite3_step(st) == SQLITE_ROW) {
        const auto *blob = static_cast<const char *>(sqlite3_column_blob(st, 3));
        rows << QStringLiteral("%1 %2 %3 %4")
                    .arg(reinterpret_cast<const char *>(sqlite3_column_text(st, 0)),
                         reinterpret_cast<const char *>(sqlite3_column_text(st, 1)),
                         reinterpret_cast<const char *>(sqlite3_column_text(st, 2)),
                         QString::fromUtf8(QByteArray(blob, sqlite3_column_bytes(st, 3))));
    }
    sqlite3_finalize(st);
    sqlite3_close(db);
    return rows;
}

inline bool rawExec(const QString &path, const char *sql) {
    sqlite3 *db = nullptr;
    bool ok = sqlite3_open(path.toUtf8().constData(), &db) == SQLITE_OK &&
              sqlite3_exec(db, sql, nullptr, nullptr, nullptr) == SQLITE_OK;
    sqlite3_close(db);
    return ok;
}

// Another program's connection holding the database's write lock until it goes.
struct HeldLock {
    sqlite3 *db = nullptr;
    bool held = false;
    HeldLock(const QString &path, const char *sql) {
        sqlite3_open(path.toUtf8().constData(), &db);
        held = sqlite3_exec(db, sql, nullptr, nullptr, nullptr) == SQLITE_OK;
    }
    void release() {
        if (db) sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
        sqlite3_close(db);
        db = nullptr;
    }
    ~HeldLock() { release(); }
};
