#include "platform/PrefsGate.h"

#include "platform/PrefsSql.h"

#include <algorithm>
#include <memory>

namespace {
std::mutex g_hookLock;
std::shared_ptr<const std::function<void(bool)>> g_hook; // guarded by g_hookLock
std::shared_ptr<const std::function<void(int)>> g_lookHook; // guarded by g_hookLock
} // namespace

PrefsGateLook PrefsGateLook::underLock(const PrefsCommitGate &gate, const QString &key) {
    PrefsGateLook look;
    look.settled = gate.settled;
    look.committed = gate.committed;
    if (const auto k = gate.known.find(key); k != gate.known.end()) look.known = k->second.digest;
    if (const auto &f = gate.flight) {
        look.inFlight = true;
        look.flightSeq = f->seq;
        look.flightRowsTell = f->rowsTell;
        if (const auto r = f->rows.find(key); r != f->rows.end()) {
            look.flightWritesKey = true;
            look.flightRow = r->second;
        }
        if (const auto k = f->known.find(key); k != f->known.end()) look.flightKnown = k->second.digest;
    }
    return look;
}

PrefsGateLook PrefsGateLook::of(PrefsCommitGate &gate, const QString &key) {
    std::lock_guard g(gate.lock);
    return underLock(gate, key);
}

std::optional<PrefsSnapshot> snapshotBetween(const PrefsGateLook &before, const PrefsGateLook &after,
                                             std::optional<qint64> row) {
    // A commit published in between may or may not be in the snapshot, and its rowids may have been
    // written over by a later one: nothing to tell by.
    if (before.settled != after.settled) return std::nullopt;
    const PrefsSnapshot published{after.committed, after.known};
    // A commit that does not write the key leaves its row as it was: the snapshot reads as one taken
    // just before it.
    if (!after.inFlight || !after.flightWritesKey) return published;
    if (!after.flightRowsTell) return std::nullopt;
    if (row != after.flightRow) return published;
    return PrefsSnapshot{std::max(after.committed, after.flightSeq), after.flightKnown};
}

void setPrefsCommitHookForTests(std::function<void(bool made)> hook) {
    std::lock_guard g(g_hookLock);
    g_hook = hook ? std::make_shared<const std::function<void(bool)>>(std::move(hook)) : nullptr;
}

void runPrefsCommitHook(bool made) {
    std::shared_ptr<const std::function<void(bool)>> hook;
    {
        std::lock_guard g(g_hookLock);
        hook = g_hook;
    }
    if (hook) (*hook)(made);
}

void publishCommit(PrefsCommitGate &gate, quint64 seq) {
    std::lock_guard g(gate.lock);
    if (!gate.flight || gate.flight->seq != seq) return;
    gate.committed = std::max(gate.committed, seq);
    gate.known = std::move(gate.flight->known);
    gate.dataVersion = gate.flight->dataVersion;
    gate.flight.reset();
    ++gate.settled;
    gate.settledChanged.notify_all();
}

quint64 committedSeq(PrefsCommitGate &gate) {
    std::lock_guard g(gate.lock);
    return gate.committed;
}

QString chooseAsideKey(PrefsCommitGate &gate, const QString &key,
                       const std::function<bool(const QString &)> &taken) {
    std::lock_guard g(gate.lock);
    const QString aside = PrefsSql::freeKeptAsideKey(
        key, [&](const QString &name) { return gate.asideKeys.count(name) || taken(name); });
    gate.asideKeys.insert(aside);
    return aside;
}

bool copyStagedAside(sqlite3 *db, PrefsCommitGate &gate, const QString &key, const QString &aside,
                     std::vector<std::pair<QString, QString>> *renamed) {
    using PrefsSql::Stmt;
    Stmt there(db, "SELECT o.key IS NOT NULL, c.type IS o.type AND typeof(c.value) = typeof(o.value) AND "
                   "c.value IS o.value FROM prefs c LEFT JOIN prefs o ON o.key = ?2 WHERE c.key = ?1");
    Stmt taken(db, "SELECT 1 FROM prefs WHERE key = ?1");
    Stmt copy(db, "INSERT INTO prefs(key, type, value) SELECT ?1, type, value FROM prefs WHERE key = ?2");
    if (!there || !taken || !copy) return false;
    there.text(1, aside.toUtf8());
    there.text(2, key.toUtf8());
    const int rc = sqlite3_step(there.s);
    if (rc != SQLITE_ROW && rc != SQLITE_DONE) return false;
    const bool occupied = rc == SQLITE_ROW;
    const bool source = occupied && sqlite3_column_int(there.s, 0);
    const bool same = occupied && sqlite3_column_int(there.s, 1);
    sqlite3_reset(there.s);
    QString name = aside;
    if (occupied) {
        if (same || !source) return true;
        name = chooseAsideKey(gate, key, [&](const QString &n) {
            taken.text(1, n.toUtf8());
            return taken.step() == SQLITE_ROW;
        });
        renamed->emplace_back(aside, name);
    }
    copy.text(1, name.toUtf8());
    copy.text(2, key.toUtf8());
    return copy.step() == SQLITE_DONE;
}

void setPrefsLookHookForTests(std::function<void(int look)> hook) {
    std::lock_guard g(g_hookLock);
    g_lookHook = hook ? std::make_shared<const std::function<void(int)>>(std::move(hook)) : nullptr;
}

void runPrefsLookHook(int look) {
    std::shared_ptr<const std::function<void(int)>> hook;
    {
        std::lock_guard g(g_hookLock);
        hook = g_lookHook;
    }
    if (hook) (*hook)(look);
}

void PrefsBatch::append(PrefsBatch &&later) {
    if (later.clear) {
        *this = std::move(later);
        return;
    }
    copies.insert(copies.end(), later.copies.begin(), later.copies.end());
    for (auto &kv : later.writes) {
        splices.erase(kv.first); // replaced by the later write, whole
        writes[kv.first] = std::move(kv.second);
    }
    for (auto &kv : later.bases) {
        splices.erase(kv.first); // made for the value before: void
        bases[kv.first] = kv.second;
    }
    for (auto &[key, list] : later.splices) {
        auto &mine = splices[key];
        mine.insert(mine.end(), std::make_move_iterator(list.begin()), std::make_move_iterator(list.end()));
    }
    seq = std::max(seq, later.seq);
}
