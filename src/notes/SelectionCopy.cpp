#include "notes/SelectionCopy.h"

#include "platform/Background.h"
#include "platform/StoreLoader.h"
#include <QClipboard>
#include <QGuiApplication>
#include <QStringEncoder>
#include <QTextDocument>
#include <QThreadPool>
#include <QPointer>
#include <QTimer>
#include <algorithm>
#include <condition_variable>
#include <limits>
#include <mutex>

namespace {
const QString kText = QStringLiteral("text/plain");
const QString kRich = QStringLiteral("text/html");
const QString kRtf = QStringLiteral("text/rtf");
constexpr qsizetype kAll = std::numeric_limits<qsizetype>::max();

// Bytes held deflated, a part at a time as they are made: what a long copy keeps of a form once its
// document may no longer hold its characters (text and RTF are made of few distinct words and
// control words, and deflate to a fraction).
struct Packed {
    static constexpr qsizetype kPart = 256 * 1024;
    std::vector<QByteArray> parts;
    QByteArray pending; // added, not deflated yet
    qsizetype size = 0;
    // Off: the bytes are only gathered, for one ask (see take).
    bool deflate = true;
    void add(QByteArrayView bytes) {
        size += bytes.size();
        if (!deflate) {
            pending.append(bytes);
            return;
        }
        // Into one buffer of kPart, filled and deflated again and again: no buffer of each size a
        // part passes through is taken and left freed in the worker's heap.
        if (pending.isNull()) pending.reserve(kPart);
        while (!bytes.isEmpty()) {
            const qsizetype n = std::min(bytes.size(), kPart - pending.size());
            pending.append(bytes.first(n));
            bytes = bytes.sliced(n);
            if (pending.size() >= kPart) flush();
        }
    }
    void flush() {
        if (!deflate || pending.isEmpty()) return;
        QByteArray part = qCompress(pending, 1);
        // Forms in room for the most it could take (about kPart): only what it holds is kept.
        part.squeeze();
        parts.push_back(std::move(part));
        pending.resize(0);
    }
    // The bytes whole, after head.
    QByteArray unpack(const QByteArray &head = {}) const {
        QByteArray out;
        out.reserve(head.size() + size);
        out.append(head);
        for (const QByteArray &p : parts)
            out.append(qUncompress(p));
        if (!deflate) out.append(pending);
        return out;
    }
    // The bytes gathered without deflating them.
    QByteArray take() {
        pending.squeeze(); // shrunk where it lies
        return std::move(pending);
    }
};

// A long copy's text: its UTF-8, packed as it is read, and what was read and not yet put in it (a
// high surrogate waiting for its pair).
struct Reading {
    Packed utf8;
    QByteArray bytes; // of the slice being put in
    QString rest;
    // From the first slice with a surrogate UTF-8 cannot hold (a selection that begins or ends inside
    // a pair): the text as it is, and where it begins in bytes. The copy's text is given whole.
    QString odd;
    qsizetype oddFrom = -1;
    QString text(const QByteArray &all) const {
        if (oddFrom < 0) return QString::fromUtf8(all);
        return QString::fromUtf8(QByteArrayView(all).first(oddFrom)) + odd;
    }
};

bool holdsLoneSurrogate(QStringView v) {
    for (qsizetype i = 0; i < v.size(); ++i) {
        if (!v[i].isSurrogate()) continue;
        if (v[i].isHighSurrogate() && i + 1 < v.size() && v[i + 1].isLowSurrogate())
            ++i;
        else
            return true;
    }
    return false;
}

// Reads the next slice of from..to's text into r, going on from at (set to where to go on from, -1
// once to is reached), made UTF-8 as it comes and packed (deflate) or gathered. mostRead, when given,
// gets the most characters read at once.
void readSlice(Reading &r, const SelectionCopy::Reader &read, const QTextDocument &doc, int from, int &at, int to,
               qsizetype *mostRead) {
    const qsizetype was = r.rest.size();
    at = read(r.rest, doc, from, at, to, SelectionCopy::kSliceChars);
    if (mostRead) *mostRead = std::max(*mostRead, r.rest.size() - was);
    qsizetype n = r.rest.size();
    // A pair cut by the slice is made whole with the next one.
    if (at >= 0 && n > 0 && r.rest.at(n - 1).isHighSurrogate()) --n;
    const QStringView chars = QStringView(r.rest).first(n);
    if (r.oddFrom < 0 && holdsLoneSurrogate(chars)) r.oddFrom = r.utf8.size;
    if (r.oddFrom >= 0) r.odd += chars;
    r.bytes.resize(chars.size() * 3);
    QStringEncoder utf8(QStringEncoder::Utf8, QStringEncoder::Flag::Stateless);
    r.bytes.resize(utf8.appendToBuffer(r.bytes.data(), chars) - r.bytes.constData());
    r.utf8.add(r.bytes);
    r.rest.remove(0, n);
}

// Before the first slice: gathered, the room for the most the text can take (three bytes for a
// UTF-16 unit) is taken at once: only the bytes read are memory used, and the rest is given back
// once it is read whole.
void beginReading(Reading &r, int from, int to, bool deflate) {
    r.utf8.deflate = deflate;
    if (!deflate) r.utf8.pending.reserve(qsizetype(to - from) * 3);
}

void endReading(Reading &r) {
    r.utf8.flush();
    if (r.utf8.deflate) r.utf8.pending = QByteArray();
    r.bytes = QByteArray();
    r.rest = QString();
}

// Reads the text of from..to into r, a slice of kSliceChars at a time, each slice made UTF-8 as it
// comes, and packed (deflate) or gathered: the text is never held whole as UTF-16 beside it, nor
// whole when packed. mostRead, when given, gets the most characters read at once.
void readAll(Reading &r, const SelectionCopy::Reader &read, const QTextDocument &doc, int from, int to,
             bool deflate, qsizetype *mostRead) {
    beginReading(r, from, to, deflate);
    for (int at = from; at >= 0;)
        readSlice(r, read, doc, from, at, to, mostRead);
    endReading(r);
}

// A long copy's RTF: its tables and its body, packed as it is written.
struct PackedRtf {
    QByteArray head;
    Packed body;
};

void writeAll(PackedRtf &out, const RtfCodec::WriteAs &as, const QTextDocument &doc, int from, int to,
              qsizetype *mostWritten) {
    RtfCodec::RangeWriter w(from, as);
    while (w.at() >= 0) {
        const qsizetype n = w.write(doc, from, to, SelectionCopy::kSliceChars);
        if (mostWritten) *mostWritten = std::max(*mostWritten, n);
        out.body.add(w.drain());
    }
    out.head = w.head();
    out.body.add(w.drain());
    out.body.flush();
    out.body.pending = QByteArray();
}

struct Later {
    std::mutex m;
    std::condition_variable cv;
    bool done = false, made = false;
    std::optional<Reading> reading;
    std::optional<PackedRtf> rtf;
};

// The packing of a long copy's text and RTF, handed to where its document is; told as done when
// dropped unrun.
struct TextJob {
    std::shared_ptr<Later> later;
    int from = 0, to = 0;
    bool text = false;
    SelectionCopy::Reader read;
    std::optional<RtfCodec::WriteAs> rich;
    void run(const QTextDocument &doc) {
        std::optional<Reading> reading;
        if (text) readAll(reading.emplace(), read, doc, from, to, true, nullptr);
        std::optional<PackedRtf> rtf;
        if (rich) writeAll(rtf.emplace(), *rich, doc, from, to, nullptr);
        finish(true, std::move(reading), std::move(rtf));
    }
    void finish(bool made, std::optional<Reading> reading, std::optional<PackedRtf> rtf) {
        {
            std::lock_guard l(later->m);
            if (later->done) return;
            later->made = made;
            later->reading = std::move(reading);
            later->rtf = std::move(rtf);
            later->done = true;
        }
        later->cv.notify_all();
    }
    ~TextJob() {
        if (later) finish(false, std::nullopt, std::nullopt);
    }
};
} // namespace

class SelectionCopy::Forms : public QObject {
public:
    Forms(QTextDocument *doc, int from, int to, Reader text, Maker rich,
         std::optional<RtfCodec::WriteAs> longRich);
    ~Forms() override;
    QStringList formats() const;
    bool standsOn(const QTextDocument *doc, int from, int to) const {
        return doc_ && doc_ == doc && from <= to_ && to >= from_;
    }
    bool isOf(const QTextDocument *doc, int from, int to) const {
        return doc_ && doc_ == doc && from == from_ && to == to_;
    }
    bool live() const { return doc_ != nullptr; }
    void settle();
    std::function<void(const QTextDocument &)> settleLater();
    QVariant retrieve(const QString &mimeType, QMetaType type);
    bool textMade() const { return whole_ || packed_ || (later_ && laterText_); }
    bool richMade() const { return rich_ || rtf_ || packedRtf_ || (later_ && laterRich_); }
    qsizetype mostHere() const { return mostHere_; }
    bool makesLater(const QString &mimeType) const;
    void whenMade(const QString &mimeType, QObject *receiver, std::function<void(MadeOnAsk::Made)> done);

private:
    using Done = std::function<void(MadeOnAsk::Made)>;
    // A form made for asks, a slice a turn, from the document or from what is kept packed.
    struct Making {
        QString mime;
        std::vector<std::pair<QPointer<QObject>, Done>> asks;
        std::optional<Reading> reading; // the text read so far
        int at = -1;                    // where its reading goes on
        std::unique_ptr<RtfCodec::RangeWriter> writer;
        bool fromPacked = false;
        size_t part = 0; // the next packed part to unpack into out
        QByteArray out;
    };
    // One turn's slice of each form being made; those made (or refused) are handed over last.
    void step();
    // A slice of m; the form once made (or refused), nothing while it is not.
    std::optional<MadeOnAsk::Made> stepOne(Making &m);
    std::optional<MadeOnAsk::Made> stepText(Making &m);
    std::optional<MadeOnAsk::Made> stepRtf(Making &m);
    void stepLater(int ms);
    bool laterDone() const;
    std::vector<std::unique_ptr<Making>> makings_;
    bool stepping_ = false; // a turn's step is asked for
    void changed(int pos, int removed, int added);
    void letGo();
    // Runs make on a worker while this thread waits (the document stays as it is meanwhile), or here.
    void makeApart(const std::function<void(qsizetype *mostHere)> &make);
    // A copy that is not long: its text and RTF, made and kept.
    void makeShort(bool text, bool rich);
    // A long one: made packed, and kept, before its characters change.
    void pack(bool text, bool rich);
    void takeLater();
    bool rtfLeft() const { return writeAs_ && !rtf_ && !packedRtf_ && !richGone_; }
    QPointer<QTextDocument> doc_;
    int from_ = 0, to_ = 0;
    Reader read_;
    Maker makeRich_;
    const bool long_;
    // A short copy's text and RTF, once made.
    QString text_;
    bool whole_ = false;
    std::optional<QByteArray> rtf_;
    // A long copy's, made only when asked for while its document holds its characters, and not kept;
    // packed once they are to change.
    std::optional<Reading> packed_;
    std::optional<PackedRtf> packedRtf_;
    std::shared_ptr<Later> later_;
    bool laterText_ = false, laterRich_ = false;
    // A copy too long to be made HTML is offered as RTF, written as the note is saved.
    std::optional<RtfCodec::WriteAs> writeAs_;
    qsizetype mostHere_ = 0;
    std::optional<QString> rich_;
    bool offersRich_ = false, richGone_ = false, lost_ = false;
    QMetaObject::Connection watch_;
};

SelectionCopy::Forms::Forms(QTextDocument *doc, int from, int to, Reader text, Maker rich,
                          std::optional<RtfCodec::WriteAs> longRich)
    : doc_(doc), from_(from), to_(to), read_(std::move(text)), makeRich_(std::move(rich)),
      long_(to - from > kSliceChars), offersRich_(to - from <= kKeptRichChars) {
    if (!offersRich_) writeAs_ = std::move(longRich);
    // Told on the document's own thread as it changes, before anything can ask for the copy.
    watch_ = connect(doc, &QTextDocument::contentsChange, this, &Forms::changed, Qt::DirectConnection);
}

SelectionCopy::Forms::~Forms() {
    // Asks not answered yet are refused, from the event loop, as they would have been answered.
    for (const auto &m : makings_)
        for (auto &[receiver, done] : m->asks)
            if (receiver)
                QMetaObject::invokeMethod(
                    receiver, [done = std::move(done)] { done(MadeOnAsk::Made{true, {}, -1, {}}); },
                    Qt::QueuedConnection);
    // Megabytes given back on a worker, not on the window's thread.
    if (packed_ || packedRtf_ || rtf_)
        StoreLoader::freeLater(
            [text = std::move(packed_), rtf = std::move(rtf_), packed = std::move(packedRtf_)] {});
}

QStringList SelectionCopy::Forms::formats() const {
    QStringList out;
    if (lost_) return out;
    out << kText;
    if (offersRich_ && (rich_ || (doc_ && !richGone_))) out << kRich;
    if (writeAs_ && (rtf_ || packedRtf_ || (later_ && laterRich_) || (doc_ && !richGone_))) out << kRtf;
    return out;
}

void SelectionCopy::Forms::changed(int pos, int removed, int added) {
    if (!doc_) return;
    if (pos >= to_) return; // after the copied characters
    if (pos + removed <= from_) {
        // Before them: they moved.
        const int by = added - removed;
        from_ += by;
        to_ += by;
        for (const auto &m : makings_) {
            if (m->at >= 0) m->at += by;
            if (m->writer) m->writer->moved(by);
        }
        return;
    }
    // Changed before the copy was settled: its characters are no longer there to make what is not
    // made yet from.
    if (!rich_ && !rtf_ && !packedRtf_) richGone_ = true;
    if (!whole_ && !packed_) lost_ = true;
    letGo();
}

void SelectionCopy::Forms::makeApart(const std::function<void(qsizetype *)> &make) {
    QThreadPool &pool = Background::pool();
    if (!long_ || pool.activeThreadCount() >= pool.maxThreadCount()) {
        // Short, or every worker is busy, maybe for long: waiting would hold the window longer than
        // making it.
        make(&mostHere_);
        return;
    }
    struct Taken {
        std::mutex m;
        std::condition_variable cv;
        bool yes = false;
    };
    auto taken = std::make_shared<Taken>();
    const Background::JobPtr job = Background::start(this,
                                                     [make, taken] {
                                                         {
                                                             std::lock_guard l(taken->m);
                                                             taken->yes = true;
                                                         }
                                                         taken->cv.notify_all();
                                                         make(nullptr);
                                                     },
                                                     {}, {}, {QStringLiteral("a copied text"), {}, {}});
    {
        std::unique_lock l(taken->m);
        taken->cv.wait(l, [&taken] { return taken->yes; });
    }
    Background::finish(job);
}

void SelectionCopy::Forms::makeShort(bool text, bool rich) {
    if (!doc_ || lost_) return;
    const QTextDocument &doc = *doc_;
    if (text && !whole_) {
        text_.reserve(to_ - from_); // a break or a cut takes no more than its separator
        read_(text_, doc, from_, from_, to_, kAll);
        mostHere_ = std::max(mostHere_, text_.size());
        whole_ = true;
    }
    if (rich && rtfLeft()) {
        RtfCodec::RangeWriter w(from_, *writeAs_);
        mostHere_ = std::max(mostHere_, w.write(doc, from_, to_, kAll));
        rtf_ = w.take();
    }
}

void SelectionCopy::Forms::pack(bool text, bool rich) {
    if (!doc_ || lost_) return;
    text = text && !packed_;
    rich = rich && rtfLeft();
    if (!text && !rich) return;
    const QTextDocument *doc = doc_;
    makeApart([this, doc, text, rich](qsizetype *mostHere) {
        if (text) readAll(packed_.emplace(), read_, *doc, from_, to_, true, mostHere);
        if (rich) writeAll(packedRtf_.emplace(), *writeAs_, *doc, from_, to_, mostHere);
    });
    // What was read and written on the way lies freed in a heap: given back.
    StoreLoader::trimHeapLater();
}

void SelectionCopy::Forms::settle() {
    if (!doc_) return;
    if (long_)
        pack(true, true);
    else
        makeShort(true, true);
    if (offersRich_ && !rich_ && !richGone_) rich_ = makeRich_(*doc_, from_, to_);
    letGo();
}

std::function<void(const QTextDocument &)> SelectionCopy::Forms::settleLater() {
    if (!doc_) return {};
    if (offersRich_ && !rich_ && !richGone_) rich_ = makeRich_(*doc_, from_, to_);
    if (!long_) makeShort(true, true);
    std::function<void(const QTextDocument &)> job;
    laterText_ = long_ && !packed_ && !lost_;
    laterRich_ = long_ && !lost_ && rtfLeft();
    if (laterText_ || laterRich_) {
        later_ = std::make_shared<Later>();
        auto made = std::make_shared<TextJob>(); // made in its place: a job dropped unrun tells so
        made->later = later_;
        made->from = from_;
        made->to = to_;
        made->text = laterText_;
        made->read = read_;
        if (laterRich_) made->rich = writeAs_;
        job = [made](const QTextDocument &doc) { made->run(doc); };
    }
    letGo();
    return job;
}

void SelectionCopy::Forms::takeLater() {
    if (!later_) return;
    std::unique_lock l(later_->m);
    later_->cv.wait(l, [this] { return later_->done; });
    if (later_->made) {
        if (later_->reading) packed_ = std::move(later_->reading);
        if (later_->rtf) packedRtf_ = std::move(later_->rtf);
    } else {
        if (laterText_) lost_ = true;
        richGone_ = true;
    }
    l.unlock();
    later_.reset();
}

bool SelectionCopy::Forms::laterDone() const {
    std::lock_guard l(later_->m);
    return later_->done;
}

bool SelectionCopy::Forms::makesLater(const QString &mimeType) const {
    if (!long_ || lost_) return false;
    return (mimeType == kText || mimeType == kRtf) && formats().contains(mimeType);
}

void SelectionCopy::Forms::whenMade(const QString &mimeType, QObject *receiver, Done done) {
    for (const auto &m : makings_)
        if (m->mime == mimeType) {
            m->asks.emplace_back(receiver, std::move(done));
            return;
        }
    auto &m = makings_.emplace_back(std::make_unique<Making>());
    m->mime = mimeType;
    m->asks.emplace_back(receiver, std::move(done));
    stepLater(0);
}

void SelectionCopy::Forms::stepLater(int ms) {
    if (stepping_) return;
    stepping_ = true;
    QTimer::singleShot(ms, this, [this] {
        stepping_ = false;
        step();
    });
}

void SelectionCopy::Forms::step() {
    std::vector<std::pair<std::unique_ptr<Making>, MadeOnAsk::Made>> ready;
    for (auto it = makings_.begin(); it != makings_.end();) {
        if (std::optional<MadeOnAsk::Made> made = stepOne(**it)) {
            ready.emplace_back(std::move(*it), std::move(*made));
            it = makings_.erase(it);
        } else {
            ++it;
        }
    }
    if (!makings_.empty()) stepLater(later_ ? 10 : 0); // a worker's making is looked for now and then
    // Last: what is handed over may change the document, take this copy off the clipboard, or ask
    // again.
    for (auto &[m, made] : ready)
        for (auto &[receiver, done] : m->asks)
            if (receiver) done(made);
}

std::optional<MadeOnAsk::Made> SelectionCopy::Forms::stepOne(Making &m) {
    const MadeOnAsk::Made refused{true, {}, -1, {}};
    if (lost_ || !formats().contains(m.mime)) return refused;
    if (later_) {
        if (!laterDone()) return std::nullopt; // being made where the document is
        takeLater();
        return stepOne(m);
    }
    if (long_ && m.mime == kText) return stepText(m);
    if (long_ && m.mime == kRtf) return stepRtf(m);
    // Made at once: short, or a form a long copy does not make at length.
    const QVariant v = retrieve(m.mime, QMetaType(QMetaType::QByteArray));
    if (!v.isValid()) return refused;
    MadeOnAsk::Made made;
    made.bytes = v.typeId() == QMetaType::QString ? v.toString().toUtf8() : v.toByteArray();
    return made;
}

std::optional<MadeOnAsk::Made> SelectionCopy::Forms::stepText(Making &m) {
    if (packed_) {
        // Kept packed (settled meanwhile, maybe): unpacked a part a turn.
        if (!m.fromPacked) {
            m.fromPacked = true;
            m.reading.reset();
            m.at = -1;
            m.out.reserve(packed_->utf8.size);
        }
        if (m.part < packed_->utf8.parts.size()) {
            m.out.append(qUncompress(packed_->utf8.parts[m.part++]));
            return std::nullopt;
        }
        return MadeOnAsk::Made{false, std::move(m.out), packed_->oddFrom, packed_->odd};
    }
    if (!doc_) return MadeOnAsk::Made{true, {}, -1, {}};
    if (!m.reading) {
        beginReading(m.reading.emplace(), from_, to_, false);
        m.at = from_;
    }
    readSlice(*m.reading, read_, *doc_, from_, m.at, to_, &mostHere_);
    if (m.at >= 0) return std::nullopt;
    endReading(*m.reading);
    MadeOnAsk::Made made{false, m.reading->utf8.take(), m.reading->oddFrom, std::move(m.reading->odd)};
    m.reading.reset();
    return made;
}

std::optional<MadeOnAsk::Made> SelectionCopy::Forms::stepRtf(Making &m) {
    if (packedRtf_) {
        if (!m.fromPacked) {
            m.fromPacked = true;
            m.writer.reset();
            m.out.reserve(packedRtf_->head.size() + packedRtf_->body.size);
            m.out.append(packedRtf_->head);
        }
        if (m.part < packedRtf_->body.parts.size()) {
            m.out.append(qUncompress(packedRtf_->body.parts[m.part++]));
            return std::nullopt;
        }
        return MadeOnAsk::Made{false, std::move(m.out), -1, {}};
    }
    if (!doc_ || richGone_ || !writeAs_) return MadeOnAsk::Made{true, {}, -1, {}};
    if (!m.writer) m.writer = std::make_unique<RtfCodec::RangeWriter>(from_, *writeAs_);
    mostHere_ = std::max(mostHere_, m.writer->write(*doc_, from_, to_, kSliceChars));
    if (m.writer->at() >= 0) return std::nullopt;
    MadeOnAsk::Made made{false, m.writer->take(), -1, {}};
    m.writer.reset();
    return made;
}

void SelectionCopy::Forms::letGo() {
    disconnect(watch_);
    doc_ = nullptr;
}

QVariant SelectionCopy::Forms::retrieve(const QString &mimeType, QMetaType type) {
    if (lost_) return {};
    if (mimeType == kText) {
        takeLater();
        if (!long_) {
            makeShort(true, false);
            return whole_ ? QVariant(text_) : QVariant(); // turned into what the caller asked for
        }
        // Forms for this ask while the document holds it (what would be kept is what is handed
        // over); other programs ask for bytes, this one's own paste for text.
        Reading made;
        QByteArray bytes;
        if (packed_) {
            bytes = packed_->utf8.unpack();
        } else if (doc_) {
            const QTextDocument *doc = doc_;
            makeApart([this, doc, &made](qsizetype *mostHere) {
                readAll(made, read_, *doc, from_, to_, false, mostHere);
            });
            bytes = made.utf8.take();
        } else {
            return {};
        }
        if (type.id() == QMetaType::QString) return (packed_ ? *packed_ : made).text(bytes);
        return bytes;
    }
    if (mimeType == kRich && offersRich_) {
        if (!rich_ && doc_ && !richGone_) rich_ = makeRich_(*doc_, from_, to_);
        return rich_ ? QVariant(*rich_) : QVariant();
    }
    if (mimeType == kRtf && writeAs_) {
        takeLater();
        if (!long_) {
            makeShort(false, true);
            return rtf_ ? QVariant(*rtf_) : QVariant();
        }
        if (packedRtf_) return packedRtf_->body.unpack(packedRtf_->head);
        if (!doc_ || richGone_) return {};
        QByteArray rtf;
        const QTextDocument *doc = doc_;
        makeApart([this, doc, &rtf](qsizetype *mostHere) {
            RtfCodec::RangeWriter w(from_, *writeAs_);
            const qsizetype n = w.write(*doc, from_, to_, kAll);
            if (mostHere) *mostHere = std::max(*mostHere, n);
            rtf = w.take();
        });
        return rtf;
    }
    return {};
}

SelectionCopy::SelectionCopy(QTextDocument *doc, int from, int to, Reader text, Maker rich,
                             std::optional<RtfCodec::WriteAs> longRich)
    : made_(std::make_shared<Forms>(doc, from, to, std::move(text), std::move(rich), std::move(longRich))) {
}

SelectionCopy::SelectionCopy(const SelectionCopy &same) : made_(same.made_) {
}

SelectionCopy::~SelectionCopy() = default;

QStringList SelectionCopy::formats() const {
    return made_->formats();
}

bool SelectionCopy::hasFormat(const QString &mimeType) const {
    return formats().contains(mimeType);
}

bool SelectionCopy::standsOn(const QTextDocument *doc, int from, int to) const {
    return made_->standsOn(doc, from, to);
}

bool SelectionCopy::isOf(const QTextDocument *doc, int from, int to) const {
    return made_->isOf(doc, from, to);
}

bool SelectionCopy::live() const {
    return made_->live();
}

void SelectionCopy::settle() {
    made_->settle();
}

std::function<void(const QTextDocument &)> SelectionCopy::settleLater() {
    return made_->settleLater();
}

bool SelectionCopy::textMade() const {
    return made_->textMade();
}

bool SelectionCopy::richMade() const {
    return made_->richMade();
}

qsizetype SelectionCopy::mostReadHere() const {
    return made_->mostHere();
}

bool SelectionCopy::makesLater(const QString &mimeType) const {
    return made_->makesLater(mimeType);
}

void SelectionCopy::whenMade(const QString &mimeType, QObject *receiver, std::function<void(MadeOnAsk::Made)> done) const {
    made_->whenMade(mimeType, receiver, std::move(done));
}

QVariant SelectionCopy::retrieveData(const QString &mimeType, QMetaType type) const {
    return made_->retrieve(mimeType, type);
}
