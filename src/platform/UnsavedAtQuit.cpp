#include "platform/UnsavedAtQuit.h"

#include "platform/AtomicFile.h"
#include "platform/Keys.h"
#include <QDataStream>
#include <QIODevice>
#include <algorithm>
#include <functional>
#include <memory>

namespace {
constexpr quint32 kMagic = 0x4d49564f; // "MIVO"
// 2: the file carries a checksum over its whole content. A file of format 1 has none; it cannot be
// told from a damaged one and is never applied.
constexpr quint32 kFormat = 2;
// A value of the domain is at most what SQLite stores in one row (1 GB); a few of them at most.
constexpr qint64 kMaxFileBytes = qint64(2) << 30;

enum class Tag : quint8 { removed, boolean, integer, real, string, data };

// The timer's own position (its phase, time left, when that was saved, running, cycle) is written by
// the timer itself every few seconds and at every quit: kept and written again like the rest, but
// not a change of the user's to tell about.
bool isTimerPosition(const QString &key) {
    static const char *const timerPosition[] = {kPhase, kRemaining, kTimestamp, kWasRunning, kCycleCount};
    return std::any_of(std::begin(timerPosition), std::end(timerPosition),
                       [&](const char *k) { return key == QLatin1String(k); });
}
} // namespace

QString UnsavedAtQuit::pathFor(const QString &database) {
    return database + QStringLiteral(".unsaved");
}

// The file's bytes in order. A large data value is a part of its own, shared with the edit rather
// than copied in: a note of a hundred megabytes kept at quit would otherwise be copied once more
// into fresh memory, a second of the quit's deadline under load.
std::vector<QByteArray> UnsavedAtQuit::encodeParts() const {
    constexpr qsizetype kOwnPart = 1 << 20;
    std::vector<QByteArray> parts;
    QByteArray head;
    auto s = std::make_unique<QDataStream>(&head, QIODevice::WriteOnly);
    s->setVersion(QDataStream::Qt_6_0);
    *s << kMagic << kFormat << clear << quint64(edits.size());
    // What the stream writes for a data value: its length, then its bytes (here as parts of their own).
    const auto ownParts = [&](const std::vector<QByteArray> &bytes) {
        qsizetype size = 0;
        for (const QByteArray &b : bytes) size += b.size();
        *s << quint8(Tag::data) << quint32(size);
        s.reset();
        parts.push_back(std::exchange(head, QByteArray()));
        parts.insert(parts.end(), bytes.begin(), bytes.end());
        s = std::make_unique<QDataStream>(&head, QIODevice::WriteOnly);
        s->setVersion(QDataStream::Qt_6_0);
    };
    for (const Edit &e : edits) {
        *s << e.key;
        if (!e.parts.empty()) {
            ownParts(e.parts);
        } else if (!e.value) {
            *s << quint8(Tag::removed);
        } else {
            std::visit(
                [&](const auto &v) {
                    using V = std::decay_t<decltype(v)>;
                    if constexpr (std::is_same_v<V, bool>) {
                        *s << quint8(Tag::boolean) << v;
                    } else if constexpr (std::is_same_v<V, qint64>) {
                        *s << quint8(Tag::integer) << v;
                    } else if constexpr (std::is_same_v<V, double>) {
                        *s << quint8(Tag::real) << v;
                    } else if constexpr (std::is_same_v<V, QString>) {
                        *s << quint8(Tag::string) << v;
                    } else if (v.size() < kOwnPart) {
                        *s << quint8(Tag::data) << v;
                    } else {
                        ownParts({v});
                    }
                },
                *e.value);
        }
        *s << bool(e.base);
        if (e.base) *s << e.base->size << e.base->a << e.base->b;
    }
    s.reset();
    parts.push_back(std::move(head));
    return parts;
}

QByteArray UnsavedAtQuit::encode() const {
    const std::vector<QByteArray> parts = encodeParts();
    if (parts.size() == 1) return parts.front();
    qsizetype size = 0;
    for (const QByteArray &p : parts) size += p.size();
    QByteArray out;
    out.reserve(size);
    for (const QByteArray &p : parts) out.append(p);
    return out;
}

namespace {
// Reads the edits of bytes up to the first that is not whole; each one read whole is given to took.
// False when the file is not whole.
bool decodeEdits(const QByteArray &bytes, bool *clear,
                 const std::function<void(UnsavedAtQuit::Edit &&)> &took) {
    using Edit = UnsavedAtQuit::Edit;
    QDataStream s(bytes);
    s.setVersion(QDataStream::Qt_6_0);
    quint32 magic = 0, format = 0;
    quint64 count = 0;
    s >> magic >> format >> *clear >> count;
    if (s.status() != QDataStream::Ok || magic != kMagic || format != kFormat) return false;
    // Every edit takes at least a few bytes: a count beyond that is damage, not a size to reserve.
    if (count > quint64(bytes.size())) return false;
    for (quint64 i = 0; i < count; ++i) {
        Edit e;
        quint8 tag = 0;
        s >> e.key >> tag;
        // Each value is made in place: GCC cannot tell which alternative of a temporary variant is set
        // and warns of its move (-Wmaybe-uninitialized).
        switch (Tag(tag)) {
        case Tag::removed:
            break;
        case Tag::boolean: {
            bool v = false;
            s >> v;
            e.value.emplace(std::in_place_type<bool>, v);
            break;
        }
        case Tag::integer: {
            qint64 v = 0;
            s >> v;
            e.value.emplace(std::in_place_type<qint64>, v);
            break;
        }
        case Tag::real: {
            double v = 0;
            s >> v;
            e.value.emplace(std::in_place_type<double>, v);
            break;
        }
        case Tag::string: {
            QString v;
            s >> v;
            e.value.emplace(std::in_place_type<QString>, std::move(v));
            break;
        }
        case Tag::data: {
            QByteArray v;
            s >> v;
            e.value.emplace(std::in_place_type<QByteArray>, std::move(v));
            break;
        }
        default:
            return false;
        }
        bool hasBase = false;
        s >> hasBase;
        if (hasBase) {
            PrefsDigest d;
            s >> d.size >> d.a >> d.b;
            e.base = d;
        }
        if (s.status() != QDataStream::Ok || e.key.isEmpty()) return false;
        took(std::move(e));
    }
    return s.atEnd();
}
} // namespace

std::optional<UnsavedAtQuit> UnsavedAtQuit::decode(const QByteArray &bytes) {
    UnsavedAtQuit out;
    if (!decodeEdits(bytes, &out.clear, [&](Edit &&e) { out.edits.push_back(std::move(e)); }))
        return std::nullopt;
    return out;
}

bool UnsavedAtQuit::write(const QString &path, QString *error, const Deadline *by) const {
    const std::vector<QByteArray> parts = encodeParts();
    const std::vector<QByteArrayView> views(parts.begin(), parts.end());
    const AtomicFile::WriteResult r = AtomicFile::writeSideFile(path, views, by);
    if (!r.ok && error) *error = r.error;
    return r.ok;
}

std::optional<UnsavedAtQuit> UnsavedAtQuit::read(const QString &path, bool *unreadable,
                                                 QStringList *seemedToHold) {
    if (unreadable) *unreadable = false;
    const AtomicFile::SideFile file = AtomicFile::readSideFile(path, kMaxFileBytes);
    if (file.state == AtomicFile::SideState::none) return std::nullopt;
    std::optional<UnsavedAtQuit> got =
        file.state == AtomicFile::SideState::ok ? decode(file.content) : std::nullopt;
    if (got) return got;
    if (unreadable) *unreadable = true;
    if (seemedToHold) {
        // Names only: nothing read here is applied. Values go as soon as their key is taken.
        const QByteArray &bytes = file.state == AtomicFile::SideState::ok ? file.content : file.unchecked;
        bool clear = false;
        decodeEdits(bytes, &clear, [&](Edit &&e) {
            if (!isTimerPosition(e.key) && !seemedToHold->contains(e.key)) seemedToHold->append(e.key);
        });
    }
    return std::nullopt;
}

bool UnsavedAtQuit::holdsUserChanges() const {
    return clear ||
           std::any_of(edits.begin(), edits.end(), [](const Edit &e) { return !isTimerPosition(e.key); });
}
