#pragma once
#include <QByteArray>
#include <QObject>
#include <QString>
#include <QStringList>
#include <map>
#include <optional>
#include <variant>

struct sqlite3;

// The preferences domain: every setting, counter and store document of the app, kept in one SQLite
// database (table prefs(key, type, value), values stored natively). Reads come from an in-memory copy;
// the writes of one event-loop turn are committed together in one transaction, and flush() commits
// at once; close() is the final commit at quit. Reads follow the loose conversions callers rely on: a
// missing number reads 0, a missing Bool reads false, numeric strings read as numbers.
//
// A row whose type is none of "bool", "int", "double", "string", "data" is not shown to the app, and
// it is never lost: before anything replaces or removes it, it is copied aside byte for byte.
class Prefs : public QObject {
    Q_OBJECT
public:
    using Value = std::variant<bool, qint64, double, QString, QByteArray>;

    // Opens (or creates) the database at path. A file that is not a readable database is renamed aside
    // with a time stamp and a fresh one is started; the old file is never deleted.
    explicit Prefs(const QString &path, QObject *parent = nullptr);
    ~Prefs() override;

    // The process-wide domain, opened at defaultPath() on first use unless a test installed another.
    static Prefs &get();
    static void install(Prefs *prefs); // takes no ownership; nullptr returns to the default
    static QString defaultPath();      // $XDG_DATA_HOME/mivo/mivo.sqlite3
    // One string read straight from the file, opened read-only, creating and changing nothing: for a
    // process that must not open the domain (another instance owns it). Nothing when unreadable.
    static std::optional<QString> peekString(const QString &path, const QString &key);

    QString path() const { return path_; }
    bool isPersistent() const { return db_ != nullptr && !readOnly_; }
    QString setAsidePath() const { return setAside_; } // where an unreadable database went, if anywhere

    bool contains(const QString &key) const;
    std::optional<Value> value(const QString &key) const;
    bool isBool(const QString &key) const;
    bool boolValue(const QString &key) const;
    qint64 integer(const QString &key) const;
    double doubleValue(const QString &key) const;
    std::optional<QString> string(const QString &key) const;
    QByteArray data(const QString &key) const;
    // A switch: true unless a Boolean false is stored (missing or non-Boolean values count as on).
    bool switchOn(const QString &key) const;
    QStringList keys() const;

    void setValue(const QString &key, const Value &v);
    void setBool(const QString &key, bool v) { setValue(key, Value(v)); }
    void setInt(const QString &key, qint64 v) { setValue(key, Value(v)); }
    void setDouble(const QString &key, double v) { setValue(key, Value(v)); }
    void setString(const QString &key, const QString &v) { setValue(key, Value(v)); }
    void setData(const QString &key, const QByteArray &v) { setValue(key, Value(v)); }
    void remove(const QString &key);
    void clear();
    // Replaces the whole domain with these values in one transaction, committed at once.
    bool replace(const std::map<QString, Value> &values);

    // Copies the value of key to "<key>.unreadable-<stamp>" so a document that could not be decoded
    // survives the next save, and commits the copy at once. When an identical copy (same type, same
    // bytes) is already kept, no new one is made and its key is returned: a document that stays
    // unreadable launch after launch is kept once. Returns the key of the copy (empty when nothing
    // was stored); madeNew says whether this call made it.
    QString keepAside(const QString &key, bool *madeNew = nullptr);
    // True when key holds a row of a type the app does not know (unreadable, but kept).
    bool hasForeignRow(const QString &key) const { return foreign_.count(key) > 0; }

    // While frozen, writes are ignored (after erase or restore, until the app quits).
    void setFrozen(bool frozen) { frozen_ = frozen; }
    bool isFrozen() const { return frozen_; }

    // Commits pending writes now. False when the database refused them (they stay pending).
    bool flush();
    bool hasPending() const { return clearPending_ || !pending_.empty(); }

    // The final commit at quit: commits what is pending (retrying for a short while when another
    // process holds the database locked), then checkpoints and closes the database, so the main file
    // alone holds every value and the -wal and -shm files are gone. False when pending writes could
    // not be committed (lastError() says why). Values stay readable; later writes are refused.
    bool close();
    bool isClosed() const { return closed_; }
    QString lastError() const { return lastErrorText_; }

signals:
    void writeFailed(const QString &message);

private:
    bool open(bool readOnly);
    bool loadAll();
    void closeDb();
    void moveAside();
    void schedule();
    bool exec(const char *sql);
    bool commitPending();
    QString uniqueAsideKey(const QString &key) const;

    // A row the app cannot read, exactly as stored.
    struct RawRow {
        QByteArray type;
        int storage = 0; // SQLite storage class of the value
        QByteArray bytes;
        bool operator==(const RawRow &) const = default;
    };

    QString path_;
    QString setAside_;
    sqlite3 *db_ = nullptr;
    std::map<QString, Value> cache_;
    std::map<QString, RawRow> foreign_;
    std::map<QString, std::optional<Value>> pending_; // nullopt = remove
    bool clearPending_ = false;
    bool scheduled_ = false;
    bool frozen_ = false;
    bool readOnly_ = false;
    bool closed_ = false;
    int lastError_ = 0;
    QString lastErrorText_;
};

const char *prefsTypeName(const Prefs::Value &v);
