#include "platform/Prefs.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTimer>
#include <cmath>
#include <limits>
#include <sqlite3.h>

namespace {
Prefs *g_installed = nullptr;

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
    case 0: return "bool";
    case 1: return "int";
    case 2: return "double";
    case 3: return "string";
    default: return "data";
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
    flush();
    closeDb();
    if (g_installed == this) g_installed = nullptr;
}

Prefs &Prefs::get() {
    if (g_installed) return *g_installed;
    static Prefs *def = new Prefs(defaultPath()); // lives until exit; flushed on aboutToQuit
    return *def;
}

void Prefs::install(Prefs *prefs) { g_installed = prefs; }

QString Prefs::defaultPath() {
    const QString base = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    return base + QStringLiteral("/mivo/mivo.sqlite3");
}

bool Prefs::exec(const char *sql) {
    return db_ && sqlite3_exec(db_, sql, nullptr, nullptr, nullptr) == SQLITE_OK;
}

bool Prefs::open(bool readOnly) {
    closeDb();
    cache_.clear();
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
        if (!k || !t) continue;
        const QString key = QString::fromUtf8(k);
        const QByteArray type(t);
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
        }
        // Unknown types are left in the database untouched and not shown to the app.
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
    if (!setAside_.isEmpty())
        qWarning("mivo: the preferences database could not be read; kept as %s", qPrintable(setAside_));
}

bool Prefs::contains(const QString &key) const { return cache_.count(key) > 0; }

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
    for (const auto &kv : cache_) out << kv.first;
    return out;
}

void Prefs::setValue(const QString &key, const Value &v) {
    if (frozen_) return;
    cache_[key] = v;
    pending_[key] = v;
    schedule();
}

void Prefs::remove(const QString &key) {
    if (frozen_) return;
    cache_.erase(key);
    pending_[key] = std::nullopt;
    schedule();
}

void Prefs::clear() {
    if (frozen_) return;
    cache_.clear();
    pending_.clear();
    clearPending_ = true;
    schedule();
}

bool Prefs::replace(const std::map<QString, Value> &values) {
    if (frozen_) return false;
    cache_ = values;
    pending_.clear();
    for (const auto &kv : values) pending_[kv.first] = kv.second;
    clearPending_ = true;
    return flush();
}

QString Prefs::keepAside(const QString &key) {
    auto v = value(key);
    if (!v) return {};
    QString stamp = QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"));
    QString aside = key + QStringLiteral(".unreadable-") + stamp;
    for (int n = 2; contains(aside); ++n)
        aside = key + QStringLiteral(".unreadable-") + stamp + QLatin1Char('-') + QString::number(n);
    const bool wasFrozen = frozen_;
    frozen_ = false;
    setValue(aside, *v);
    frozen_ = wasFrozen;
    flush(); // the copy must be on disk before the store writes over the original
    return aside;
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
        emit writeFailed(QStringLiteral("the database could not be opened"));
        return false;
    }
    bool ok = exec("BEGIN IMMEDIATE");
    if (ok && clearPending_) ok = exec("DELETE FROM prefs");
    if (ok) {
        Stmt put(db_, "INSERT OR REPLACE INTO prefs(key, type, value) VALUES(?1, ?2, ?3)");
        Stmt del(db_, "DELETE FROM prefs WHERE key = ?1");
        ok = put && del;
        for (auto it = pending_.begin(); ok && it != pending_.end(); ++it) {
            const QByteArray k = it->first.toUtf8();
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
            case 0: sqlite3_bind_int64(put.s, 3, std::get<bool>(v) ? 1 : 0); break;
            case 1: sqlite3_bind_int64(put.s, 3, std::get<qint64>(v)); break;
            case 2: sqlite3_bind_double(put.s, 3, std::get<double>(v)); break;
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
        const QString msg = QString::fromUtf8(sqlite3_errmsg(db_));
        exec("ROLLBACK");
        qWarning("mivo: could not save settings: %s", qPrintable(msg));
        emit writeFailed(msg);
        return false;
    }
    pending_.clear();
    clearPending_ = false;
    return true;
}
