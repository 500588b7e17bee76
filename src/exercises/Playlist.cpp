#include "exercises/Playlist.h"

#include "platform/Document.h"
#include "platform/Keys.h"
#include "platform/Prefs.h"
#include "platform/RecordJson.h"
#include <algorithm>
#include <cmath>

using namespace RecordJson;

PlaylistEntry PlaylistEntry::make(const QString &exID) {
    return {newId(), exID};
}

namespace PlaylistJson {
QByteArray encode(const PlaylistSavedState &s) {
    QByteArray out;
    auto strings = [&out](const QStringList &list) {
        appendArray(out, list, [](QByteArray &o, const QString &s) { appendString(o, s); });
    };
    appendKey(out.append('{'), "entryExIDs");
    strings(s.entryExIDs);
    appendKey(out.append(','), "entryUIDs");
    strings(s.entryUIDs);
    appendKey(out.append(','), "completedCount");
    appendInt(out, s.completedCount);
    appendKey(out.append(','), "currentExIdx");
    appendInt(out, s.currentExIdx);
    appendKey(out.append(','), "currentStep");
    appendInt(out, s.currentStep);
    appendKey(out.append(','), "remainingSecs");
    appendInt(out, s.remainingSecs);
    out.append('}');
    return out;
}

std::optional<PlaylistSavedState> decode(const QByteArray &bytes) {
    const auto parsed = Parsed::parse(bytes);
    if (!parsed || !parsed->isObject()) return std::nullopt;
    const Value doc = parsed->root();
    PlaylistSavedState s;
    if (!readStrings(doc, "entryExIDs", s.entryExIDs) || !readStrings(doc, "entryUIDs", s.entryUIDs) ||
        !readInt(doc, "completedCount", s.completedCount) ||
        !readInt(doc, "currentExIdx", s.currentExIdx) || !readInt(doc, "currentStep", s.currentStep) ||
        !readInt(doc, "remainingSecs", s.remainingSecs))
        return std::nullopt;
    return s;
}
} // namespace PlaylistJson

namespace PlaylistRules {
int insertionIndex(double y, int entryCount) {
    if (entryCount < 1) return 0;
    const double r = std::round((y - kTopPad) / kPitch); // halves away from zero
    return int(std::clamp(r, 0.0, double(entryCount)));
}

void RowGesture::press(double x, double y) {
    downX_ = x;
    downY_ = y;
    dragStarted_ = false;
    pressed_ = true;
}

bool RowGesture::move(double x, double y) {
    if (!pressed_ || dragStarted_) return false;
    if (!startsDrag(std::hypot(x - downX_, y - downY_))) return false;
    dragStarted_ = true;
    return true;
}

bool RowGesture::release(double x, double y) const {
    return pressed_ && isTap(std::hypot(x - downX_, y - downY_), dragStarted_);
}

QString percentText(qsizetype entries, qint64 completed) {
    if (entries <= 0) return {};
    if (completed < 1) return QStringLiteral("0%");
    const qint64 pct = std::min<qint64>(entries, completed) * 100 / entries;
    return QString::number(pct) + QLatin1Char('%');
}
} // namespace PlaylistRules

PlaylistModel::PlaylistModel(Resolver resolve) : resolve_(std::move(resolve)) {}

bool PlaylistModel::hasSavedState() const {
    return Prefs::get().contains(QString::fromLatin1(kPlaylistState));
}

std::optional<PlaylistSavedState> PlaylistModel::stored() {
    const Prefs &p = Prefs::get();
    const QString key = QString::fromLatin1(kPlaylistState);
    const auto v = p.value(key);
    if (!v || !std::holds_alternative<QByteArray>(*v)) return std::nullopt;
    return PlaylistJson::decode(std::get<QByteArray>(*v));
}

namespace {
const auto decodeStored = [](const QByteArray &b) -> std::optional<std::optional<PlaylistSavedState>> {
    auto d = PlaylistJson::decode(b);
    if (!d) return std::nullopt;
    return d;
};
} // namespace

void PlaylistModel::load() {
    // Through the shared loader, so unreadable bytes are kept aside before a later save replaces them.
    if (const auto s = loadDocumentNow<std::optional<PlaylistSavedState>>(QString::fromLatin1(kPlaylistState),
                                                                          decodeStored))
        restore(*s);
}

void PlaylistModel::checkStored() {
    // Checked off the window's thread; an unreadable document is kept aside when the check comes in.
    loadDocument<std::optional<PlaylistSavedState>>(
        QString::fromLatin1(kPlaylistState), decodeStored,
        [](std::optional<PlaylistSavedState> &&, const DocumentLoad &) {});
}

void PlaylistModel::restore(const PlaylistSavedState &s) {
    entries_.clear();
    const qsizetype n = std::min(s.entryUIDs.size(), s.entryExIDs.size());
    for (qsizetype i = 0; i < n; ++i)
        entries_.push_back({s.entryUIDs[i], s.entryExIDs[i]});
    completed_ = std::clamp<qint64>(s.completedCount, 0, qint64(entries_.size()));
}

std::vector<Exercise> PlaylistModel::resolvedRun() const {
    std::vector<Exercise> run;
    for (const PlaylistEntry &e : entries_)
        if (const Exercise *x = resolve_(e.exID)) run.push_back(*x);
    return run;
}

void PlaylistModel::save(qint64 currentExIdx, qint64 remainingSecs) {
    if (entries_.empty()) return;
    PlaylistSavedState s;
    for (const PlaylistEntry &e : entries_) {
        s.entryExIDs << e.exID;
        s.entryUIDs << e.uid;
    }
    s.completedCount = completed_;
    s.currentExIdx = currentExIdx;
    s.currentStep = 0;
    s.remainingSecs = remainingSecs;
    Prefs::get().setData(QString::fromLatin1(kPlaylistState), PlaylistJson::encode(s));
}

void PlaylistModel::drop(const QString &exID) {
    entries_.push_back(PlaylistEntry::make(exID));
    saveAtCompleted();
}

bool PlaylistModel::reorder(const QString &uid, int k) {
    auto it =
        std::find_if(entries_.begin(), entries_.end(), [&](const PlaylistEntry &e) { return e.uid == uid; });
    if (it == entries_.end()) return false;
    const int i = int(it - entries_.begin());
    const PlaylistEntry moved = *it;
    entries_.erase(it);
    int target = i < k ? k - 1 : k;
    target = std::clamp(target, 0, int(entries_.size()));
    entries_.insert(entries_.begin() + target, moved);
    saveAtCompleted();
    return true;
}

void PlaylistModel::remove(const QString &uid) {
    std::erase_if(entries_, [&](const PlaylistEntry &e) { return e.uid == uid; });
    completed_ = std::min<qint64>(completed_, qint64(entries_.size()));
    if (entries_.empty())
        Prefs::get().remove(QString::fromLatin1(kPlaylistState));
    else
        saveAtCompleted();
}

void PlaylistModel::clear() {
    entries_.clear();
    completed_ = 0;
    Prefs::get().remove(QString::fromLatin1(kPlaylistState));
}

namespace {
qint64 firstStepSecs(const std::vector<Exercise> &run, qint64 idx) {
    if (idx < 0 || idx >= qint64(run.size()) || run[size_t(idx)].steps.empty()) return 0;
    return run[size_t(idx)].steps.front().durationSecs;
}
} // namespace

std::vector<Exercise> PlaylistModel::startRun() {
    std::vector<Exercise> run = resolvedRun();
    if (run.empty()) return run;
    completed_ = 0;
    save(0, firstStepSecs(run, 0));
    return run;
}

void PlaylistModel::exerciseFinished(const std::vector<Exercise> &run, bool resumed) {
    completed_ = std::min<qint64>(qint64(entries_.size()), completed_ + 1);
    save(completed_, resumed ? 0 : firstStepSecs(run, completed_));
}

std::optional<PlaylistResume> PlaylistModel::resume() {
    const auto s = stored();
    if (!s) return std::nullopt;
    restore(*s);
    const qsizetype runLength = qsizetype(resolvedRun().size());
    if (s->currentExIdx < 0 || s->currentExIdx >= runLength) return std::nullopt;
    return PlaylistResume{qsizetype(s->currentExIdx), std::max<qint64>(s->currentStep, 0),
                          std::max<qint64>(s->remainingSecs, 0)};
}
