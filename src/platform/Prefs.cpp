#include "platform/Prefs.h"

#include "platform/DataNotices.h"
#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QThread>
#include <QTimer>
#include <cmath>
#include <limits>
#include <sqlite3.h>
#include <vector>

namespace {
Prefs *g_installed = nullptr;

// How long the final commit at quit keeps trying while another process holds the database locked
// (each try also waits the connection's busy time-out).
constexpr qint64 kFinalCommitRetryMs = 3000;

// A write that stores what is already there changes nothing; NaN counts as equal to NaN.
bool sameValue(const Prefs::Value &a, const Prefs::Value &b) {
    if (a.index() != b.index()) return false;
    if (auto da = std::get_if<double>(&a)) {
        const double db = std::get<double>(b);
        return (std::isnan(*da) && std::isnan(db)) || *da == db;
    }
    return a == b;
}

qint64 clampToInt(double d) {
    if (std::isnan(d)) return 0;
    if (d >= 9.2e18) return std::numeric_limits<qint64>::max();
    if (d <= -9.2e18) return std::numeric_limits<qint64>::min();
    return static_cast<qint64>(d); // cut towards zero, as the platform's integer read does
}

// Leading number of a string, as the platform's loose numeric read takes it ("12abc" is 12, "x" is 0).
double leadingNumber(const QString &s) {
    const QByteArray b = s.trimmed().toUtf8();
    if (b.isEmpty()) return 0;
    char *end = nullptr;
    double d = std::strtod(b.constData(), &end);
    if (end == b.constData()) return 0;
    return d;
}

struct Stmt {
    sqlite3_stmt *s = nullptr;
    Stmt(sqlite3 *db, const char *sql) { sqlite3_prepare_v2(db, sql, -1, &s, nullptr); }
    ~Stmt() { sqlite3_finalize(s); }
    explicit operator bool() const { return s != nullptr; }
};
} // namespace

const char *prefsTypeName(const Prefs::Value &v) {
    switch (v.index()) {
    case 0:
        return "bool";
    case 1:
        return "int";
    case 2:
        return "double";
    case 3:
        return "string";
    default:
        return "data";
    }
}

Prefs::Prefs(const QString &path, QObject *parent) : QObject(parent), path_(path) {
    if (!open(false)) {
        const int primary = lastError_ & 0xff;
        if (primary == SQLITE_NOTADB || primary == SQLITE_CORRUPT) {
            // Only a file that is not a readable database goes aside; a locked or read-only one is
            // the user's good data and stays where it is.
            moveAside();
            if (!open(false)) closeDb();
        } else if (!open(true)) {
            closeDb();
        }
        if (!db_)
            qWarning("mivo: cannot open the preferences database at %s; settings will not be kept",
                     qPrintable(path_));
        else if (readOnly_)
            qWarning("mivo: the preferences database at %s is read-only; changes will not be kept",
                     qPrintable(path_));
    }
    if (auto *app = QCoreApplication::instance())
        connect(app, &QCoreApplication::aboutToQuit, this, [this] { flush(); });
}

Prefs::~Prefs() {
    if (!close())
        qWarning("mivo: could not save settings to %s: %s", qPrintable(path_), qPrintable(lastErrorText_));
    if (g_installed == this) g_installed = nullptr;
}

Prefs &Prefs::get() {
    if (g_installed) return *g_installed;
    static Prefs *def = new Prefs(defaultPath()); // lives until exit; flushed on aboutToQuit
    return *def;
}

void Prefs::install(Prefs *prefs) {
    g_installed = prefs;
}

QString Prefs::defaultPath() {
    const QString base = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    return base + QStringLiteral("/mivo/mivo.sqlite3");
}

std::optional<QString> Prefs::peekString(const QString &path, const QString &key) {
    if (!QFileInfo(path).isFile()) return std::nullopt;
    sqlite3 *db = nullptr;
    std::optional<QString> out;
    if (sqlite3_open_v2(path.toUtf8().constData(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
        sqlite3_busy_timeout(db, 200);
        Stmt q(db, "SELECT value FROM prefs WHERE key = ?1 AND type = 'string'");
        const QByteArray k = key.toUtf8();
        if (q) {
            sqlite3_bind_text(q.s, 1, k.constData(), int(k.size()), SQLITE_TRANSIENT);
            if (sqlite3_step(q.s) == SQLITE_ROW)
                if (const auto *v = reinterpret_cast<const char *>(sqlite3_column_text(q.s, 0)))
                    out = QString::fromUtf8(v);
        }
    }
    sqlite3_close_v2(db);
    return out;
}

bool Prefs::exec(const char *sql) {
    return db_ && sqlite3_exec(db_, sql, nullptr, nullptr, nullptr) == SQLITE_OK;
}

bool Prefs::open(bool readOnly) {
    closeDb();
    cache_.clear();
    foreign_.clear();
    readOnly_ = readOnly;
    lastError_ = SQLITE_OK;
    if (!readOnly) QDir().mkpath(QFileInfo(path_).absolutePath());
    const int flags = (readOnly ? SQLITE_OPEN_READONLY : SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE) |
                      SQLITE_OPEN_FULLMUTEX;
    if (sqlite3_open_v2(path_.toUtf8().constData(), &db_, flags, nullptr) != SQLITE_OK) {
        lastError_ = db_ ? sqlite3_extended_errcode(db_) : SQLITE_CANTOPEN;
        closeDb();
        return false;
    }
    sqlite3_busy_timeout(db_, 2000);
    bool ok = readOnly || (exec("PRAGMA journal_mode=WAL") && exec("PRAGMA synchronous=FULL") &&
                           exec("CREATE TABLE IF NOT EXISTS prefs(key TEXT PRIMARY KEY NOT NULL, "
                                "type TEXT NOT NULL, value)"));
    ok = ok && loadAll();
    if (!ok) {
        lastError_ = sqlite3_extended_errcode(db_);
        closeDb();
    }
    return ok;
}

bool Prefs::loadAll() {
    Stmt q(db_, "SELECT key, type, value FROM prefs");
    if (!q) return false;
    int rc;
    while ((rc = sqlite3_step(q.s)) == SQLITE_ROW) {
        const auto *k = reinterpret_cast<const char *>(sqlite3_column_text(q.s, 0));
        const auto *t = reinterpret_cast<const char *>(sqlite3_column_text(q.s, 1));
        if (!k) continue; // no key: nothing of ours can ever replace it
        const QString key = QString::fromUtf8(k);
        const QByteArray type(t ? t : "");
        const int ct = sqlite3_column_type(q.s, 2);
        if (type == "bool") {
            cache_[key] = Value(sqlite3_column_int64(q.s, 2) != 0);
        } else if (type == "int") {
            cache_[key] = Value(static_cast<qint64>(sqlite3_column_int64(q.s, 2)));
        } else if (type == "double") {
            // SQLite keeps NaN as NULL.
            cache_[key] = Value(ct == SQLITE_NULL ? std::numeric_limits<double>::quiet_NaN()
                                                  : sqlite3_column_double(q.s, 2));
        } else if (type == "string") {
            const auto *v = reinterpret_cast<const char *>(sqlite3_column_text(q.s, 2));
            cache_[key] = Value(QString::fromUtf8(v ? v : ""));
        } else if (type == "data") {
            const void *blob = sqlite3_column_blob(q.s, 2);
            const int n = sqlite3_column_bytes(q.s, 2);
            cache_[key] = Value(QByteArray(static_cast<const char *>(blob), blob ? n : 0));
        } else {
            // A type we do not know ("json", "DATA", "blob", written by something else): not shown to
            // the app, and copied aside before anything of ours replaces it.
            const void *blob = sqlite3_column_blob(q.s, 2);
            const int n = sqlite3_column_bytes(q.s, 2);
            foreign_[key] = RawRow{type, ct, QByteArray(static_cast<const char *>(blob), blob ? n : 0)};
        }
    }
    return rc == SQLITE_DONE;
}

void Prefs::closeDb() {
    if (db_) sqlite3_close_v2(db_);
    db_ = nullptr;
}

void Prefs::moveAside() {
    closeDb();
    const QString stamp = QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"));
    const QString target = path_ + QStringLiteral(".unreadable-") + stamp;
    if (QFile::exists(path_) && QFile::rename(path_, target)) setAside_ = target;
    for (const char *sfx : {"-wal", "-shm"}) {
        const QString side = path_ + QString::fromLatin1(sfx);
        if (QFile::exists(side)) QFile::rename(side, target + QString::fromLatin1(sfx));
    }
    if (!setAside_.isEmpty()) {
        qWarning("mivo: the preferences database could not be read; kept as %s", qPrintable(setAside_));
        DataNotices::get().add({QString(), setAside_, path_});
    }
}

bool Prefs::contains(const QString &key) const {
    return cache_.count(key) > 0;
}

std::optional<Prefs::Value> Prefs::value(const QString &key) const {
    auto it = cache_.find(key);
    if (it == cache_.end()) return std::nullopt;
    return it->second;
}

bool Prefs::isBool(const QString &key) const {
    auto it = cache_.find(key);
    return it != cache_.end() && std::holds_alternative<bool>(it->second);
}

bool Prefs::boolValue(const QString &key) const {
    auto it = cache_.find(key);
    if (it == cache_.end()) return false;
    const Value &v = it->second;
    if (auto b = std::get_if<bool>(&v)) return *b;
    if (auto i = std::get_if<qint64>(&v)) return *i != 0;
    if (auto d = std::get_if<double>(&v)) return *d != 0 && !std::isnan(*d);
    if (auto s = std::get_if<QString>(&v)) {
        const QString t = s->trimmed().toLower();
        if (t == QLatin1String("yes") || t == QLatin1String("true")) return true;
        return leadingNumber(t) != 0;
    }
    return false;
}

double Prefs::doubleValue(const QString &key) const {
    auto it = cache_.find(key);
    if (it == cache_.end()) return 0;
    const Value &v = it->second;
    if (auto b = std::get_if<bool>(&v)) return *b ? 1 : 0;
    if (auto i = std::get_if<qint64>(&v)) return static_cast<double>(*i);
    if (auto d = std::get_if<double>(&v)) return *d;
    if (auto s = std::get_if<QString>(&v)) return leadingNumber(*s);
    return 0;
}

qint64 Prefs::integer(const QString &key) const {
    auto it = cache_.find(key);
    if (it == cache_.end()) return 0;
    if (auto i = std::get_if<qint64>(&it->second)) return *i;
    return clampToInt(doubleValue(key));
}

std::optional<QString> Prefs::string(const QString &key) const {
    auto it = cache_.find(key);
    if (it == cache_.end()) return std::nullopt;
    const Value &v = it->second;
    if (auto s = std::get_if<QString>(&v)) return *s;
    if (auto b = std::get_if<bool>(&v)) return QString::number(*b ? 1 : 0);
    if (auto i = std::get_if<qint64>(&v)) return QString::number(*i);
    if (auto d = std::get_if<double>(&v)) return QString::number(*d, 'g', 17);
    return std::nullopt;
}

QByteArray Prefs::data(const QString &key) const {
    auto it = cache_.find(key);
    if (it == cache_.end()) return {};
    if (auto b = std::get_if<QByteArray>(&it->second)) return *b;
    return {};
}

bool Prefs::switchOn(const QString &key) const {
    auto it = cache_.find(key);
    if (it == cache_.end()) return true;
    if (auto b = std::get_if<bool>(&it->second)) return *b;
    return true;
}

QStringList Prefs::keys() const {
    QStringList out;
    out.reserve(int(cache_.size()));
    for (const auto &kv : cache_)
        out << kv.first;
    return out;
}

void Prefs::setValue(const QString &key, const Value &v) {
    if (frozen_) return;
    if (closed_) {
        qWarning("mivo: %s written after the final commit; not kept", qPrintable(key));
        return;
    }
    // The timer, steppers and switches store values that often have not changed: nothing to write.
    if (auto it = cache_.find(key); it != cache_.end() && sameValue(it->second, v)) return;
    cache_[key] = v;
    pending_[key] = v;
    schedule();
}

void Prefs::remove(const QString &key) {
    if (frozen_ || closed_) return;
    if (!cache_.count(key) && !foreign_.count(key)) return; // nothing stored, nothing to delete
    cache_.erase(key);
    pending_[key] = std::nullopt;
    schedule();
}

void Prefs::clear() {
    if (frozen_ || closed_) return;
    // Erasing everything is what the user asked for: unknown rows go too.
    foreign_.clear();
    cache_.clear();
    pending_.clear();
    clearPending_ = true;
    schedule();
}

bool Prefs::replace(const std::map<QString, Value> &values) {
    if (frozen_ || closed_) return false;
    foreign_.clear();
    cache_ = values;
    pending_.clear();
    for (const auto &kv : values)
        pending_[kv.first] = kv.second;
    clearPending_ = true;
    return flush();
}

QString Prefs::uniqueAsideKey(const QString &key) const {
    const QString stamp = QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"));
    QString aside = key + QStringLiteral(".unreadable-") + stamp;
    for (int n = 2; contains(aside) || foreign_.count(aside); ++n)
        aside = key + QStringLiteral(".unreadable-") + stamp + QLatin1Char('-') + QString::number(n);
    return aside;
}

QString Prefs::keepAside(const QString &key, bool *madeNew) {
    if (madeNew) *madeNew = false;
    const QString prefix = key + QStringLiteral(".unreadable-");
    if (auto f = foreign_.find(key); f != foreign_.end()) {
        for (auto it = foreign_.lower_bound(prefix); it != foreign_.end() && it->first.startsWith(prefix);
             ++it)
            if (it->second == f->second) return it->first;
        if (!db_ || readOnly_ || closed_) return {};
        // Copied inside the database, so type and value stay exactly as they were stored.
        const QString aside = uniqueAsideKey(key);
        Stmt copy(db_,
                  "INSERT INTO prefs(key, type, value) SELECT ?1, type, value FROM prefs WHERE key = ?2");
        const QByteArray a = aside.toUtf8(), k = key.toUtf8();
        if (!copy) return {};
        sqlite3_bind_text(copy.s, 1, a.constData(), int(a.size()), SQLITE_TRANSIENT);
        sqlite3_bind_text(copy.s, 2, k.constData(), int(k.size()), SQLITE_TRANSIENT);
        if (sqlite3_step(copy.s) != SQLITE_DONE) {
            qWarning("mivo: could not keep %s aside: %s", qPrintable(key), sqlite3_errmsg(db_));
            return {};
        }
        foreign_[aside] = f->second;
        if (madeNew) *madeNew = true;
        return aside;
    }
    auto v = value(key);
    if (!v) return {};
    for (auto it = cache_.lower_bound(prefix); it != cache_.end() && it->first.startsWith(prefix); ++it)
        if (sameValue(it->second, *v)) return it->first;
    const QString aside = uniqueAsideKey(key);
    const bool wasFrozen = frozen_;
    frozen_ = false;
    setValue(aside, *v);
    frozen_ = wasFrozen;
    flush(); // the copy must be on disk before the store writes over the original
    if (madeNew) *madeNew = contains(aside);
    return contains(aside) ? aside : QString();
}

void Prefs::schedule() {
    if (scheduled_) return;
    scheduled_ = true;
    QTimer::singleShot(0, this, [this] {
        scheduled_ = false;
        flush();
    });
}

bool Prefs::flush() {
    if (!hasPending()) return true;
    if (!db_) {
        // Nowhere to write: the values live in memory only, and the user is told.
        pending_.clear();
        clearPending_ = false;
        lastErrorText_ = QStringLiteral("the database could not be opened");
        emit writeFailed(lastErrorText_);
        return false;
    }
    if (commitPending()) return true;
    qWarning("mivo: could not save settings: %s", qPrintable(lastErrorText_));
    emit writeFailed(lastErrorText_);
    return false;
}

bool Prefs::commitPending() {
    bool ok = exec("BEGIN IMMEDIATE");
    if (ok && clearPending_) ok = exec("DELETE FROM prefs");
    std::vector<std::pair<QString, QString>> copied; // unknown row -> its copy
    if (ok) {
        Stmt put(db_, "INSERT OR REPLACE INTO prefs(key, type, value) VALUES(?1, ?2, ?3)");
        Stmt del(db_, "DELETE FROM prefs WHERE key = ?1");
        Stmt copy(db_,
                  "INSERT INTO prefs(key, type, value) SELECT ?1, type, value FROM prefs WHERE key = ?2");
        ok = put && del && copy;
        for (auto it = pending_.begin(); ok && it != pending_.end(); ++it) {
            const QByteArray k = it->first.toUtf8();
            // A row of a type we do not know is copied aside in the same transaction that replaces
            // it, unless an identical copy is already kept.
            if (auto f = foreign_.find(it->first); f != foreign_.end() && !clearPending_) {
                const QString prefix = it->first + QStringLiteral(".unreadable-");
                bool kept = false;
                for (auto c = foreign_.lower_bound(prefix);
                     c != foreign_.end() && c->first.startsWith(prefix); ++c)
                    kept = kept || c->second == f->second;
                if (!kept) {
                    const QString aside = uniqueAsideKey(it->first);
                    const QByteArray a = aside.toUtf8();
                    sqlite3_bind_text(copy.s, 1, a.constData(), int(a.size()), SQLITE_TRANSIENT);
                    sqlite3_bind_text(copy.s, 2, k.constData(), int(k.size()), SQLITE_TRANSIENT);
                    ok = sqlite3_step(copy.s) == SQLITE_DONE;
                    sqlite3_reset(copy.s);
                    if (!ok) break;
                    copied.emplace_back(it->first, aside);
                }
            }
            if (!it->second) {
                sqlite3_bind_text(del.s, 1, k.constData(), int(k.size()), SQLITE_TRANSIENT);
                ok = sqlite3_step(del.s) == SQLITE_DONE;
                sqlite3_reset(del.s);
                continue;
            }
            const Value &v = *it->second;
            sqlite3_bind_text(put.s, 1, k.constData(), int(k.size()), SQLITE_TRANSIENT);
            sqlite3_bind_text(put.s, 2, prefsTypeName(v), -1, SQLITE_STATIC);
            QByteArray buf;
            switch (v.index()) {
            case 0:
                sqlite3_bind_int64(put.s, 3, std::get<bool>(v) ? 1 : 0);
                break;
            case 1:
                sqlite3_bind_int64(put.s, 3, std::get<qint64>(v));
                break;
            case 2:
                sqlite3_bind_double(put.s, 3, std::get<double>(v));
                break;
            case 3:
                buf = std::get<QString>(v).toUtf8();
                sqlite3_bind_text(put.s, 3, buf.constData(), int(buf.size()), SQLITE_TRANSIENT);
                break;
            default:
                buf = std::get<QByteArray>(v);
                sqlite3_bind_blob(put.s, 3, buf.constData(), int(buf.size()), SQLITE_TRANSIENT);
                break;
            }
            ok = sqlite3_step(put.s) == SQLITE_DONE;
            sqlite3_reset(put.s);
            sqlite3_clear_bindings(put.s);
        }
    }
    if (ok) ok = exec("COMMIT");
    if (!ok) {
        lastError_ = sqlite3_extended_errcode(db_);
        lastErrorText_ = QString::fromUtf8(sqlite3_errmsg(db_));
        exec("ROLLBACK");
        return false;
    }
    for (const auto &[key, aside] : copied) {
        qWarning("mivo: %s had a type this version cannot read; kept as %s", qPrintable(key),
                 qPrintable(aside));
        foreign_[aside] = foreign_[key];
    }
    for (const auto &kv : pending_)
        foreign_.erase(kv.first);
    if (clearPending_) foreign_.clear();
    pending_.clear();
    clearPending_ = false;
    lastErrorText_.clear();
    return true;
}

bool Prefs::close() {
    if (closed_) return true;
    bool ok = true;
    if (hasPending()) {
        if (!db_) {
            ok = false;
            lastErrorText_ = QStringLiteral("the database could not be opened");
        } else {
            // A lock held by another process (a backup tool, a viewer) usually goes within moments.
            QElapsedTimer waited;
            waited.start();
            while (!(ok = commitPending())) {
                const int primary = lastError_ & 0xff;
                if ((primary != SQLITE_BUSY && primary != SQLITE_LOCKED) ||
                    waited.elapsed() > kFinalCommitRetryMs)
                    break;
                QThread::msleep(100);
            }
        }
    }
    if (db_ && !readOnly_) {
        // Moves everything from the -wal file into the main file; closing the last connection then
        // removes the side files, so copying mivo.sqlite3 alone copies all of it.
        if (sqlite3_wal_checkpoint_v2(db_, nullptr, SQLITE_CHECKPOINT_TRUNCATE, nullptr, nullptr) !=
            SQLITE_OK)
            qWarning("mivo: could not move the last changes into %s: %s", qPrintable(path_),
                     sqlite3_errmsg(db_));
    }
    closeDb();
    pending_.clear();
    clearPending_ = false;
    closed_ = true;
    return ok;
}
