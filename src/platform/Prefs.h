#pragma once
#include "platform/Deadline.h"
#include "platform/PrefsBatch.h"
#include <QByteArray>
#include <QMutex>
#include <QObject>
#include <QString>
#include <QStringList>
#include <atomic>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <variant>

struct sqlite3;
struct PrefsCommitGate;
class PrefsWriter;

// The preferences domain: every setting, counter and store document of the app, kept in one SQLite
// database (table prefs(key, type, value), values stored natively). Reads come from memory; the writes
// of one event-loop turn are handed together to a writer thread (PrefsWriter), which commits them in
// order, one transaction per round, so the window's thread never waits on the disk or on a lock.
// flush() waits for the writer; close() is the final commit at quit. Reads follow the loose
// conversions callers rely on: a missing number reads 0, a missing Bool reads false, numeric strings
// read as numbers.
//
// Large data values (kLargeBytes and up) and documents a store has taken over (releaseBytes) are not
// held in memory once they are on disk: data() reads them back when asked. The reads (contains(),
// isData(), value(), data(), hasForeignRow() and the loose reads) may be called from any thread; every
// other call belongs to the thread that created the domain.
//
// A row whose type is none of "bool", "int", "double", "string", "data" is not shown to the app, and
// it is never lost: before anything replaces or removes it, it is copied aside byte for byte.
class Prefs : public QObject {
    Q_OBJECT
public:
    using Value = PrefsValue;
    static constexpr qsizetype kLargeBytes = 64 * 1024;

    // What this session may do with the database.
    enum class Access {
        Writable, // changes are saved
        ReadOnly, // the file or its folder cannot be written: data shown, changes kept in memory only
        Locked,   // another program holds the database locked: data shown, changes saved once it lets go
        None,     // nothing could be opened: changes live in memory only
    };

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
    bool isPersistent() const { return access_ == Access::Writable; }
    Access access() const { return access_; }
    QString setAsidePath() const { return setAside_; } // where an unreadable database went, if anywhere

    bool contains(const QString &key) const;
    std::optional<Value> value(const QString &key) const;
    bool isBool(const QString &key) const;
    bool boolValue(const QString &key) const;
    qint64 integer(const QString &key) const;
    double doubleValue(const QString &key) const;
    std::optional<QString> string(const QString &key) const;
    bool isData(const QString &key) const; // a data value, without reading its bytes
    // The newest bytes of key, whether pending, written or only on disk (read back from there).
    QByteArray data(const QString &key) const;
    // value(key) as it is now, to be had later on any thread, also after this object is gone: a value
    // held in memory is kept as it is (shared, not copied); one kept on disk is read when asked,
    // through a read-only connection opened for that read, so a worker loading a document neither
    // waits for nor holds up the domain's own reads. Nothing when key holds no value.
    std::function<std::optional<Value>()> readLater(const QString &key) const;
    // Which write last set key's value (0: as read at open); nothing when key holds no value. For a
    // store that reads parts of its own document back (readRange) instead of holding it.
    std::optional<quint64> version(const QString &key) const;
    // len bytes of key's data value from at, from memory or, held on disk, from the database (an
    // incremental blob read: the rest of the value is not read). Nothing unless key still holds the
    // value that write `version` set, and the range lies inside it.
    std::optional<QByteArray> readRange(const QString &key, qint64 at, qint64 len, quint64 version) const;
    // readRange() to be had later on any thread, also after this object is gone: what it gives then is
    // the range as it is now (a worker reading a note while the window goes on).
    std::function<std::optional<QByteArray>()> readRangeLater(const QString &key, qint64 at, qint64 len,
                                                              quint64 version) const;
    // Replaces parts of key's data value while the rest stays where it is: the writer puts the splices
    // into the stored value on its own thread, and reads meanwhile see the value with them. Only
    // while key still holds the value that write `version` set and every splice lies inside it;
    // nothing changes otherwise. A value held in memory is spliced there and written as any write.
    // The version of the new value, or nothing (also while frozen or closed: nothing is kept).
    std::optional<quint64> spliceData(const QString &key, quint64 version, std::vector<PrefsSplice> splices);
    // The bytes of key's data value exactly as write `version` left them, whatever part of them is on
    // disk: nothing when key holds another value by now, or when the stored bytes are not the ones this
    // session wrote or loaded there (another program wrote the value). For a store that takes its last
    // document back to copy the unchanged records from it.
    std::optional<QByteArray> dataAsWritten(const QString &key, quint64 version) const;
    // Every write up to the one returned is on disk, provided key still holds the value that write
    // `version` set, or held it when the stored value turned out to be another program's (then: up to
    // the writes before that); nothing otherwise. For a store that keeps its changes until they are on
    // disk.
    std::optional<quint64> committedUpTo(const QString &key, quint64 version) const;
    // A store read key's value (version `version`), whose digest is `digest`, and will splice it from
    // now on: the writer puts splices only into exactly these bytes. Ignored unless key still holds that
    // version as stored, with no writes of ours waiting.
    void recordLoaded(const QString &key, quint64 version, const PrefsDigest &digest);
    // Has the writer compare key's stored data value with the one this session wrote or loaded there:
    // when another program has written it, storedValueReplaced() follows. For a store whose read of
    // its document back did not give what it expected.
    void verifyStored(const QString &key);
    // Bytes of splices made for key's value that wait for the disk.
    qint64 pendingSpliceBytes(const QString &key) const;
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
    // What a replacement does with the rows of types the app does not know (and so with the copies
    // kept of them): erase them with everything else, or keep them (a row a value replaces is then
    // copied aside first, as any write does).
    enum class UnknownRows { erase, keep };
    // Replaces the whole domain with these values in one transaction, waiting (a few seconds at
    // most) until it is committed. False when it could not be: then nothing changed, in memory or on
    // disk, and nothing of it is written later.
    bool replace(const std::map<QString, Value> &values, UnknownRows unknown = UnknownRows::erase);
    // The same without waiting: done(ok, error) runs later on this object's thread, unless context
    // is gone by then. Until then the writes made meanwhile are held back: they are dropped when the
    // replacement is committed (it replaces everything) and saved when it fails. One at a time.
    void replaceLater(const std::map<QString, Value> &values, QObject *context,
                      std::function<void(bool ok, const QString &error)> done,
                      UnknownRows unknown = UnknownRows::erase);
    bool isReplacing() const { return replacing_; }
    // The store now holds key's document decoded: from now on its bytes are not kept in memory once
    // they are on disk (data() reads them back).
    void releaseBytes(const QString &key);

    // Copies the value of key to "<key>.unreadable-<stamp>" so a document that could not be decoded
    // survives the next save, and commits the copy at once. When an identical copy (same type, same
    // bytes) is already kept, no new one is made and its key is returned: a document that stays
    // unreadable launch after launch is kept once. Returns the key of the copy (empty when nothing
    // was stored); madeNew says whether this call made it.
    QString keepAside(const QString &key, bool *madeNew = nullptr);
    // Stores bytes under a new "<key>.unreadable-<stamp>" key (a store's changes that could not go
    // into key's value) and returns that key; empty when nothing can be written now.
    QString keepAsideData(const QString &key, const QByteArray &bytes);
    // True when key holds a row of a type the app does not know (unreadable, but kept).
    bool hasForeignRow(const QString &key) const;

    // While frozen, writes are ignored (after erase or restore, until the app quits).
    void setFrozen(bool frozen) { frozen_ = frozen; }
    bool isFrozen() const { return frozen_; }

    // Hands pending writes to the writer and waits until they are committed. False when the database
    // refused them (they stay pending and are tried again).
    bool flush();
    bool hasPending() const;

    // The final commit at quit: waits for the writer, commits what is pending (retrying while another
    // process holds the database locked, until shortly before the deadline), then checkpoints and
    // closes the database, so the main file alone holds every value and the -wal and -shm files are
    // gone. False when pending writes could not be committed (lastError() says why); a session that
    // could never write (ReadOnly) has nothing to report. Values stay readable; later writes are
    // refused. Changes held as splices of a value on disk are made whole first: what another
    // program writes meanwhile can no longer take them from the user.
    bool close();
    bool close(const Deadline &deadline);
    // The quit has begun and close() comes next: a value whose splices pile up is no longer read whole
    // on a worker, as close() reads each such value itself (a second read beside it would double the
    // work its deadline has to cover, and its result would come after the close).
    void beginClosing() { closing_ = true; }
    bool isClosed() const { return closed_; }
    QString lastError() const { return lastErrorText_; }
    // Where close() kept the changes it could not commit (UnsavedAtQuit), to be written when the
    // database is next opened; empty when it kept none. Opening the database writes them before
    // anything else (a data value another program wrote meanwhile is kept aside first, and told),
    // tells the user once they are committed, and removes the file then.
    QString keptUnsavedIn() const { return unsavedKept_; }
    // The mark a quit leaves beside the database while its changes are neither committed nor kept:
    // found at the next start, the user is told that they were lost.
    static QString quitMarkFor(const QString &database);

    // True while changes wait because another program holds the database: they are kept in memory
    // and saved once it lets go. saveWaiting() tells each change.
    bool isSaveWaiting() const { return saveWaiting_; }

signals:
    // The database refused a write for another reason than a lock (a full disk, no permission); the
    // changes stay in memory and are tried again. Always delivered on this object's thread.
    void writeFailed(const QString &message);
    // Changes wait for another program's lock (true), or everything is saved again (false). Always
    // delivered on this object's thread.
    void saveWaiting(bool waiting);
    // Another program wrote key's data value in place of ours: the splices of ours made for the value
    // before went nowhere (what is stored stays as the other program wrote it, and key's version has
    // changed). The store of key saves its records whole or reads the value again. Delivered on this
    // object's thread, from the event loop, or from within flush() and close(), which wait for the
    // store's writes too.
    void storedValueReplaced(const QString &key);

private:
    using PendingSplices = std::shared_ptr<const std::vector<PrefsPendingSplices>>;
    struct Entry {
        Value v;             // a data value held on disk only has empty bytes here
        bool onDisk = false; // its bytes are read back from the database when asked
        quint64 seq = 0;     // the write that set it; 0 when it was read at open
        qint64 size = 0;     // of a data value on disk, pending splices included
        PendingSplices pending; // splices of an on-disk value the disk may not hold yet, oldest first
        quint64 replacedAt = 0; // the version given when the value was found to be another program's
        quint64 committedBefore = 0; // every write up to this one was on disk when it was found
        // The digest of the stored value a store has just read (recordLoaded), until the writer has
        // taken it: the stored bytes are those, though the writer still knows the ones before.
        std::optional<PrefsDigest> loaded = std::nullopt;
    };
    // A row the app cannot read, exactly as stored.
    struct RawRow {
        QByteArray type;
        int storage = 0; // SQLite storage class of the value
        QByteArray bytes;
        bool operator==(const RawRow &) const = default;
    };

    void openDatabase();
    void applyUnsaved();
    bool keepUnwritten(const PrefsBatch &unwritten);
    qint64 keepShareMs(const Deadline &deadline) const;
    bool lockHeldElsewhere() const;
    void tellCommittedToWal() const;
    qint64 unwrittenBytes() const;
    qint64 heldWholeBytes() const;
    bool loadRows(sqlite3 *db, bool holdLarge);
    bool loadSnapshot();
    void moveAside();
    void startWriter(sqlite3 *db);
    void afterCommit(const PrefsBatch &b, const PrefsCommit &c);
    void markReplaced(const QString &key, Entry &e, qint64 storedSize, quint64 committedBefore,
                      const std::optional<Value> &other = std::nullopt);
    bool settleReplaced();
    enum class Read { ok, failed, notOurs };
    Read readAsWritten(const QString &key, const PendingSplices &pending,
                       const std::optional<PrefsDigest> &loaded, QByteArray &out) const;
    static Read readAsWrittenOn(sqlite3 *db, const QString &key, PrefsCommitGate &gate,
                                const PendingSplices &pending, const std::optional<PrefsDigest> &loaded,
                                QByteArray &out);
    void holdWholeLater(const QString &key);
    void holdWholeNow(bool inParts = false);
    Read readPartsAsWritten(const QString &key, const PendingSplices &pending,
                            const std::optional<PrefsDigest> &loaded, std::vector<QByteArray> &parts,
                            qint64 &storedSize) const;
    void holdParts(const QString &key, quint64 version, Read got, qint64 storedSize,
                   std::vector<QByteArray> &&parts);
    void tellLostAtQuit();
    void holdWhole(const QString &key, quint64 version, Read got, QByteArray &&bytes);
    void reportFailure(const PrefsCommit &c);
    void setSaveWaiting(bool waiting);
    void schedule();
    void handOver();
    void stage(const QString &key, const std::optional<Value> &v, quint64 seq);
    QByteArray readFromDisk(const QString &key, const PendingSplices &pending) const;
    template <class F> auto withEntry(const QString &key, F f) const;
    QString uniqueAsideKey(const QString &key) const;
    void dropIfOnDisk(const QString &key, Entry &e, quint64 committed) const;
    PrefsBatch replacementOf(const std::map<QString, Value> &values, UnknownRows unknown);
    void adoptReplacement(const PrefsBatch &b, const PrefsCommit &c);

    QString path_;
    QString setAside_;
    mutable QMutex lock_; // guards cache_, foreign_ and released_: read from any thread
    std::map<QString, Entry> cache_;
    std::map<QString, RawRow> foreign_;
    std::set<QString> released_;
    std::set<QString> replaced_; // keys found to hold another program's value, not yet told (lock_)
    std::set<QString> holding_;  // keys whose value a worker reads to hold it whole (this thread only)
    // Values read at quit in the parts they are made of, by the version they hold (this thread only).
    std::map<QString, std::pair<quint64, std::vector<QByteArray>>> heldParts_;
    std::shared_ptr<PrefsCommitGate> gate_;
    mutable QMutex readerLock_;
    sqlite3 *reader_ = nullptr; // reads bytes back from disk
    std::unique_ptr<PrefsWriter> writer_;
    PrefsBatch staged_; // this turn's writes, not yet handed to the writer
    std::atomic<quint64> seq_ = 0; // the newest version given (also on the writer's thread)
    std::atomic<Access> access_ = Access::None;
    std::atomic<bool> canDrop_ = false; // bytes on disk can be read back
    bool scheduled_ = false;
    bool replacing_ = false;
    bool saveWaiting_ = false;
    std::atomic<bool> lockMet_ = false; // a round met a lock since the last drained commit
    bool frozen_ = false;
    bool closing_ = false;
    bool closed_ = false;
    int openError_ = 0;
    QString lastErrorText_;
    QString unsavedKept_;
    // The changes the last session kept at quit: written with the round up to this version (writer's
    // thread once set), the file they came from, and whether the user is told once they are in.
    std::atomic<quint64> unsavedSeq_ = 0;
    QString unsavedFrom_;
    bool unsavedTold_ = false;
};

const char *prefsTypeName(const Prefs::Value &v);
