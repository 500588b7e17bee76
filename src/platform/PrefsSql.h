#pragma once
// What the preferences domain and its writer share about the database: statements, result codes, the
// row types the app knows and the names of kept-aside copies. Private to Prefs and PrefsWriter.
#include "platform/PrefsBatch.h"
#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <limits>
#include <sqlite3.h>

namespace PrefsSql {

struct Stmt {
    sqlite3_stmt *s = nullptr;
    Stmt(sqlite3 *db, const char *sql) { sqlite3_prepare_v2(db, sql, -1, &s, nullptr); }
    ~Stmt() { sqlite3_finalize(s); }
    Stmt(const Stmt &) = delete;
    Stmt &operator=(const Stmt &) = delete;
    explicit operator bool() const { return s != nullptr; }
    void text(int i, const QByteArray &b) {
        sqlite3_bind_text(s, i, b.constData(), int(b.size()), SQLITE_TRANSIENT);
    }
    // Runs the statement to its first row or its end and makes it ready to run again.
    int step() {
        const int rc = sqlite3_step(s);
        sqlite3_reset(s);
        return rc;
    }
};

inline bool exec(sqlite3 *db, const char *sql) {
    return sqlite3_exec(db, sql, nullptr, nullptr, nullptr) == SQLITE_OK;
}

// Another connection holds the database: the work is kept and tried again.
inline bool isBusy(int code) {
    const int primary = code & 0xff;
    return primary == SQLITE_BUSY || primary == SQLITE_LOCKED;
}

// The type column of a value of ours.
template <class Value> const char *typeName(const Value &v) {
    static const char *const names[] = {"bool", "int", "double", "string", "data"};
    return names[v.index()];
}

inline bool knownType(const QByteArray &t) {
    return t == "bool" || t == "int" || t == "double" || t == "string" || t == "data";
}

// Column col of a row of a known type, as the app reads it whatever SQLite storage class another
// program stored it with: a data value is its bytes (a text's own, a number's text, NULL none), a
// string its text; SQLite keeps NaN as NULL.
inline PrefsValue storedValue(const QByteArray &type, sqlite3_stmt *s, int col) {
    if (type == "bool") return PrefsValue(sqlite3_column_int64(s, col) != 0);
    if (type == "int") return PrefsValue(qint64(sqlite3_column_int64(s, col)));
    if (type == "double")
        return PrefsValue(sqlite3_column_type(s, col) == SQLITE_NULL
                              ? std::numeric_limits<double>::quiet_NaN()
                              : sqlite3_column_double(s, col));
    if (type == "string") {
        const auto *v = reinterpret_cast<const char *>(sqlite3_column_text(s, col));
        return PrefsValue(QString::fromUtf8(v ? v : ""));
    }
    const void *blob = sqlite3_column_blob(s, col);
    return PrefsValue(QByteArray(static_cast<const char *>(blob), blob ? sqlite3_column_bytes(s, col) : 0));
}

// Copies of a row are named "<key>.unreadable-<yyyyMMdd-HHmmss>", with "-2", "-3"… when a copy made
// in the same second is there already.
inline QString keptAsidePrefix(const QString &key) {
    return key + QStringLiteral(".unreadable-");
}

inline bool isKeptAsideKey(const QString &key) {
    return key.contains(QLatin1String(".unreadable-"));
}

// The first free copy name for key now; taken(name) says whether a name is in use. Names are chosen
// through chooseAsideKey (PrefsGate.h), which sees every name the session has chosen.
template <class Taken> QString freeKeptAsideKey(const QString &key, Taken taken) {
    const QString stamp =
        keptAsidePrefix(key) + QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"));
    QString aside = stamp;
    for (int n = 2; taken(aside); ++n)
        aside = stamp + QLatin1Char('-') + QString::number(n);
    return aside;
}

} // namespace PrefsSql
