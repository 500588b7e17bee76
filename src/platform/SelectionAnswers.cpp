#include "platform/SelectionAnswers.h"

#include "platform/StoreLoader.h"
#include <algorithm>

namespace {
// Megabytes no longer wanted are given back on a worker, not on this thread.
void letGoOf(QByteArray &bytes) {
    if (bytes.size() > SelectionAnswers::kChunk && bytes.isDetached())
        StoreLoader::freeLater([b = std::move(bytes)] {});
    bytes = QByteArray();
}
} // namespace

SelectionAnswers::SelectionAnswers(Transport &t)
    : t_(t), self_(std::make_shared<SelectionAnswers *>(this)) {
}

SelectionAnswers::~SelectionAnswers() {
    *self_ = nullptr;
}

int SelectionAnswers::waiting() const {
    int n = 0;
    for (const Making &m : makings_)
        n += int(m.asks.size());
    return n;
}

void SelectionAnswers::ask(const Request &r, const Make &make) {
    for (Making &m : makings_)
        if (m.selection == r.selection && m.target == r.target) {
            m.asks.push_back(r);
            return;
        }
    Making &m = makings_.emplace_back();
    m.id = ++ids_;
    m.selection = r.selection;
    m.target = r.target;
    m.asks.push_back(r);
    const int id = m.id;
    const std::weak_ptr<SelectionAnswers *> self = self_;
    t_.after(kMakeGiveUpMs, [self, id] {
        if (const auto s = self.lock(); s && *s) (*s)->made(id, std::nullopt);
    });
    // Last: make may hand its bytes over at once.
    make([self, id](std::optional<QByteArray> bytes) {
        const auto s = self.lock();
        if (s && *s)
            (*s)->made(id, std::move(bytes));
        else if (bytes)
            letGoOf(*bytes);
    });
}

void SelectionAnswers::made(int id, std::optional<QByteArray> bytes) {
    const auto it = std::find_if(makings_.begin(), makings_.end(), [id](const Making &m) { return m.id == id; });
    if (it == makings_.end()) {
        // Refused already (its selection changed, or it took too long).
        if (bytes) letGoOf(*bytes);
        return;
    }
    if (!bytes) {
        refuseMaking(it);
        return;
    }
    const std::vector<Request> asks = std::move(it->asks);
    makings_.erase(it);
    for (const Request &r : asks)
        send(r, *bytes); // shared, not copied
    letGoOf(*bytes);
}

void SelectionAnswers::refuseMaking(std::vector<Making>::iterator it) {
    const std::vector<Request> asks = std::move(it->asks);
    makings_.erase(it);
    for (const Request &r : asks)
        t_.notify(r, false);
}

void SelectionAnswers::answer(const Request &r, QByteArray bytes) {
    send(r, std::move(bytes));
}

void SelectionAnswers::send(const Request &r, QByteArray bytes) {
    if (bytes.size() <= kChunk) {
        t_.put(r.requestor, r.property, r.target, bytes);
        t_.notify(r, true);
        return;
    }
    const Key k{r.requestor, r.property};
    end(k, false); // one asked for in its place before was not taken whole: given up
    const bool watched = std::any_of(transfers_.begin(), transfers_.end(),
                                     [&](const auto &e) { return e.first.first == r.requestor; });
    if (!watched) t_.watch(r.requestor, true);
    t_.putIncr(r.requestor, r.property, quint32(std::min<qsizetype>(bytes.size(), 0xffffffff)));
    Transfer &tr = transfers_[k];
    tr.bytes = std::move(bytes);
    tr.type = r.target;
    t_.notify(r, true);
    watchSilence(k);
}

void SelectionAnswers::selectionChanged(quint32 selection) {
    for (auto it = makings_.begin(); it != makings_.end();) {
        if (it->selection != selection) {
            ++it;
            continue;
        }
        refuseMaking(it);
        it = makings_.begin(); // refusing may not add, but erased: start again
    }
}

bool SelectionAnswers::propertyChanged(quint32 window, quint32 property, bool deleted) {
    const auto it = transfers_.find({window, property});
    if (it == transfers_.end()) return false;
    if (!deleted || it->second.wanted) return true; // our own part landing
    it->second.wanted = true;
    due_.push_back(it->first);
    watchSilence(it->first);
    if (!sending_) {
        sending_ = true;
        const std::weak_ptr<SelectionAnswers *> self = self_;
        t_.after(0, [self] {
            if (const auto s = self.lock(); s && *s) (*s)->sendParts();
        });
    }
    return true;
}

// One part in a turn, whichever transfer it belongs to: a part is as much as is written to the
// server in one stretch.
void SelectionAnswers::sendParts() {
    sending_ = false;
    while (!due_.empty()) {
        const Key k = due_.front();
        due_.erase(due_.begin());
        const auto it = transfers_.find(k);
        if (it == transfers_.end() || !it->second.wanted) continue;
        Transfer &tr = it->second;
        tr.wanted = false;
        const qsizetype part = std::min(kChunk, tr.bytes.size() - tr.at);
        // The last, empty part tells the other program the bytes are whole.
        t_.put(k.first, k.second, tr.type, QByteArrayView(tr.bytes).sliced(tr.at, part));
        tr.at += part;
        if (part == 0) end(k, true);
        break;
    }
    if (!due_.empty()) {
        sending_ = true;
        const std::weak_ptr<SelectionAnswers *> self = self_;
        t_.after(0, [self] {
            if (const auto s = self.lock(); s && *s) (*s)->sendParts();
        });
    }
}

void SelectionAnswers::watchSilence(const Key &k) {
    const int stamp = ++stamps_;
    transfers_[k].stamp = stamp;
    const std::weak_ptr<SelectionAnswers *> self = self_;
    t_.after(kGiveUpMs, [self, k, stamp] {
        const auto s = self.lock();
        if (!s || !*s) return;
        const auto it = (*s)->transfers_.find(k);
        // The window may be gone with its program: it is not touched again.
        if (it != (*s)->transfers_.end() && it->second.stamp == stamp) (*s)->end(k, false);
    });
}

bool SelectionAnswers::windowGone(quint32 window) {
    bool ours = false;
    for (auto it = transfers_.begin(); it != transfers_.end();) {
        const Key k = it->first;
        ++it;
        if (k.first != window) continue;
        ours = true;
        end(k, false);
    }
    for (Making &m : makings_)
        std::erase_if(m.asks, [window](const Request &r) { return r.requestor == window; });
    return ours;
}

void SelectionAnswers::end(const Key &k, bool unwatch) {
    const auto it = transfers_.find(k);
    if (it == transfers_.end()) return;
    letGoOf(it->second.bytes);
    transfers_.erase(it);
    std::erase(due_, k);
    if (!unwatch) return;
    const bool more = std::any_of(transfers_.begin(), transfers_.end(),
                                  [&](const auto &e) { return e.first.first == k.first; });
    if (!more) t_.watch(k.first, false);
}
