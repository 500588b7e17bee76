#include "notes/SelectionCopy.h"

#include "platform/Background.h"
#include "platform/StoreLoader.h"
#include <QClipboard>
#include <QGuiApplication>
#include <QStringEncoder>
#include <QTextDocument>
#include <QThreadPool>
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

// A long copy's text being read: its UTF-8 so far, what was read and not yet put in it (a high
// surrogate waiting for its pair), and where to go on from in the document (-1: read whole).
struct Reading {
    QByteArray bytes;
    QString rest;
    // From the first slice with a surrogate UTF-8 cannot hold (a selection that begins or ends inside
    // a pair): the text as it is, and where it begins in bytes. The copy's text is given whole.
    QString odd;
    qsizetype oddFrom = -1;
    int at = 0;
    QString text() const {
        if (oddFrom < 0) return QString::fromUtf8(bytes);
        return QString::fromUtf8(QByteArrayView(bytes).first(oddFrom)) + odd;
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

// Reads about atMost characters more of from..to (all of them with kAll) into r, a slice of
// kSliceChars at a time, each slice made UTF-8 as it comes: the text is never held whole as UTF-16.
// mostRead, when given, gets the most characters read at once.
void readOn(Reading &r, const SelectionCopy::Reader &read, const QTextDocument &doc, int from, int to,
            qsizetype atMost, qsizetype *mostRead) {
    // Room for the most the text can take (three bytes for a UTF-16 unit), taken at once: it never
    // grows, as a growth copies what is read so far in one slice. Only the bytes read are memory
    // used; the rest is given back once the text is read whole.
    if (r.bytes.isNull()) r.bytes.reserve(qsizetype(to - from) * 3);
    for (qsizetype left = atMost; r.at >= 0 && left > 0;) {
        const qsizetype was = r.rest.size();
        r.at = read(r.rest, doc, from, r.at, to, std::min<qsizetype>(left, SelectionCopy::kSliceChars));
        const qsizetype got = r.rest.size() - was;
        if (mostRead) *mostRead = std::max(*mostRead, got);
        left -= std::max<qsizetype>(got, 1);
        qsizetype n = r.rest.size();
        // A pair cut by the slice is made whole with the next one.
        if (r.at >= 0 && n > 0 && r.rest.at(n - 1).isHighSurrogate()) --n;
        const QStringView chars = QStringView(r.rest).first(n);
        if (r.oddFrom < 0 && holdsLoneSurrogate(chars)) r.oddFrom = r.bytes.size();
        if (r.oddFrom >= 0) r.odd += chars;
        // Made UTF-8 where it is kept: a slice made apart first took and gave back fresh memory at
        // every turn.
        const qsizetype end = r.bytes.size();
        r.bytes.resize(end + chars.size() * 3);
        QStringEncoder utf8(QStringEncoder::Utf8, QStringEncoder::Flag::Stateless);
        r.bytes.resize(utf8.appendToBuffer(r.bytes.data() + end, chars) - r.bytes.constData());
        r.rest.remove(0, n);
    }
    if (r.at < 0) r.bytes.squeeze(); // shrunk where it lies
}

struct Later {
    std::mutex m;
    std::condition_variable cv;
    bool done = false, made = false;
    std::optional<Reading> reading;
    std::optional<QByteArray> rtf;
};

// The reading of the rest of a long copy's text, and the writing of the rest of its RTF, handed to
// where its document is; told as done when dropped unrun.
struct TextJob {
    std::shared_ptr<Later> later;
    int from = 0, to = 0;
    std::optional<Reading> reading; // read so far
    SelectionCopy::Reader read;
    std::shared_ptr<RtfCodec::RangeWriter> writer;
    void run(const QTextDocument &doc) {
        if (reading) readOn(*reading, read, doc, from, to, kAll, nullptr);
        std::optional<QByteArray> rtf;
        if (writer) {
            writer->write(doc, from, to, kAll);
            rtf = writer->take();
        }
        finish(true, std::move(reading), std::move(rtf));
    }
    void finish(bool made, std::optional<Reading> read, std::optional<QByteArray> rtf) {
        {
            std::lock_guard l(later->m);
            if (later->done) return;
            later->made = made;
            later->reading = std::move(read);
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

class SelectionCopy::Made : public QObject {
public:
    Made(QTextDocument *doc, int from, int to, Reader text, Maker rich,
         std::optional<RtfCodec::WriteAs> longRich);
    ~Made() override;
    QStringList formats() const;
    bool standsOn(const QTextDocument *doc, int from, int to) const {
        return doc_ && doc_ == doc && from <= to_ && to >= from_;
    }
    bool isOf(const QTextDocument *doc, int from, int to) const {
        return doc_ && doc_ == doc && from == from_ && to == to_;
    }
    bool live() const { return doc_ != nullptr; }
    // Put on the clipboard: a long copy is read from now on, a slice per turn.
    void readAhead();
    void settle();
    std::function<void(const QTextDocument &)> settleLater();
    QVariant retrieve(const QString &mimeType, QMetaType type);
    bool textMade() const { return whole_ || (later_ && laterText_); }
    bool richMade() const { return rich_ || rtf_ || (later_ && laterRich_); }
    qsizetype mostHere() const { return mostHere_; }

private:
    void changed(int pos, int removed, int added);
    void letGo();
    void readSlice();
    void readHere(qsizetype atMost);
    // Makes the rest of the text and (rich) of the RTF.
    void readRest(bool text, bool rich);
    bool rtfPending() const { return writer_ && !rtf_; }
    void writeHere(qsizetype atMost);
    void takeLater();
    QPointer<QTextDocument> doc_;
    int from_ = 0, to_ = 0;
    Reader read_;
    Maker makeRich_;
    const bool long_;
    // A short copy's text, once read; a long one's as it is read.
    QString text_;
    Reading reading_;
    bool whole_ = false, pacing_ = false;
    std::shared_ptr<Later> later_;
    bool laterText_ = false, laterRich_ = false;
    // A copy too long to be made HTML is offered as RTF, written a part at a time like its text.
    std::shared_ptr<RtfCodec::RangeWriter> writer_;
    std::optional<QByteArray> rtf_;
    qsizetype mostHere_ = 0;
    std::optional<QString> rich_;
    bool offersRich_ = false, richGone_ = false, lost_ = false;
    QMetaObject::Connection watch_;
};

SelectionCopy::Made::Made(QTextDocument *doc, int from, int to, Reader text, Maker rich,
                          std::optional<RtfCodec::WriteAs> longRich)
    : doc_(doc), from_(from), to_(to), read_(std::move(text)), makeRich_(std::move(rich)),
      long_(to - from > kSliceChars), offersRich_(to - from <= kKeptRichChars) {
    reading_.at = from;
    if (!offersRich_ && longRich) writer_ = std::make_shared<RtfCodec::RangeWriter>(from, *longRich);
    // Told on the document's own thread as it changes, before anything can ask for the copy.
    watch_ = connect(doc, &QTextDocument::contentsChange, this, &Made::changed, Qt::DirectConnection);
}

SelectionCopy::Made::~Made() {
    // Megabytes given back on a worker, not on the window's thread.
    if (reading_.bytes.capacity() > kSliceChars || rtf_ || writer_)
        StoreLoader::freeLater(
            [read = std::move(reading_), rtf = std::move(rtf_), writer = std::move(writer_)] {});
}

QStringList SelectionCopy::Made::formats() const {
    QStringList out;
    if (lost_) return out;
    out << kText;
    if (offersRich_ && (rich_ || (doc_ && !richGone_))) out << kRich;
    if (writer_ && (rtf_ || (later_ && laterRich_) || (doc_ && !richGone_))) out << kRtf;
    return out;
}

void SelectionCopy::Made::changed(int pos, int removed, int added) {
    if (!doc_) return;
    if (pos >= to_) return; // after the copied characters
    if (pos + removed <= from_) {
        // Before them: they moved.
        from_ += added - removed;
        to_ += added - removed;
        if (reading_.at >= 0) reading_.at += added - removed;
        if (rtfPending()) writer_->moved(added - removed);
        return;
    }
    // Changed before the copy was settled: its characters are no longer there to make what is not
    // made yet from.
    if (!rich_ && !rtf_) richGone_ = true;
    if (!whole_) {
        lost_ = true;
        reading_ = {};
    }
    letGo();
}

void SelectionCopy::Made::readAhead() {
    if (!long_ || pacing_ || !doc_ || (whole_ && !rtfPending()) || lost_) return;
    pacing_ = true;
    QTimer::singleShot(0, this, &Made::readSlice);
}

void SelectionCopy::Made::readHere(qsizetype atMost) {
    if (!long_) {
        text_.reserve(to_ - from_); // a break or a cut takes no more than its separator
        read_(text_, *doc_, from_, from_, to_, kAll);
        mostHere_ = std::max(mostHere_, text_.size());
        whole_ = true;
        return;
    }
    readOn(reading_, read_, *doc_, from_, to_, atMost, &mostHere_);
    whole_ = reading_.at < 0;
}

void SelectionCopy::Made::writeHere(qsizetype atMost) {
    mostHere_ = std::max(mostHere_, writer_->write(*doc_, from_, to_, atMost));
    if (writer_->at() < 0) rtf_ = writer_->take();
}

// The text first, then its RTF, a slice per turn.
void SelectionCopy::Made::readSlice() {
    if (!doc_ || lost_) return;
    if (!whole_)
        readHere(kSliceChars);
    else if (rtfPending() && !richGone_)
        writeHere(kRichSliceChars);
    if (!whole_ || (rtfPending() && !richGone_)) QTimer::singleShot(0, this, &Made::readSlice);
}

void SelectionCopy::Made::readRest(bool text, bool rich) {
    if (!doc_ || lost_) return;
    text = text && !whole_;
    rich = rich && rtfPending() && !richGone_;
    if (!text && !rich) return;
    QThreadPool &pool = Background::pool();
    if (!long_ || pool.activeThreadCount() >= pool.maxThreadCount()) {
        // Short, or every worker is busy, maybe for long: waiting would hold the window longer than
        // reading.
        if (text) readHere(kAll);
        if (rich) writeHere(kAll);
        return;
    }
    // A worker reads while this thread waits, touching nothing: the document stays as it is meanwhile.
    struct Taken {
        std::mutex m;
        std::condition_variable cv;
        bool yes = false;
    };
    auto taken = std::make_shared<Taken>();
    const QTextDocument *doc = doc_;
    const Background::JobPtr job =
        Background::start(this,
                          [this, doc, taken, text, rich] {
                              {
                                  std::lock_guard l(taken->m);
                                  taken->yes = true;
                              }
                              taken->cv.notify_all();
                              if (text) readOn(reading_, read_, *doc, from_, to_, kAll, nullptr);
                              if (rich) {
                                  writer_->write(*doc, from_, to_, kAll);
                                  rtf_ = writer_->take();
                              }
                          },
                          {}, {}, {QStringLiteral("a copied text"), {}, {}});
    {
        std::unique_lock l(taken->m);
        taken->cv.wait(l, [&taken] { return taken->yes; });
    }
    Background::finish(job);
    whole_ = reading_.at < 0;
}

void SelectionCopy::Made::settle() {
    if (!doc_) return;
    readRest(true, true);
    if (offersRich_ && !rich_ && !richGone_) rich_ = makeRich_(*doc_, from_, to_);
    letGo();
}

std::function<void(const QTextDocument &)> SelectionCopy::Made::settleLater() {
    if (!doc_) return {};
    if (offersRich_ && !rich_ && !richGone_) rich_ = makeRich_(*doc_, from_, to_);
    if (!long_) readRest(true, true);
    std::function<void(const QTextDocument &)> job;
    laterText_ = !whole_ && !lost_;
    laterRich_ = !lost_ && rtfPending() && !richGone_;
    if (laterText_ || laterRich_) {
        later_ = std::make_shared<Later>();
        auto made = std::make_shared<TextJob>(); // made in its place: a job dropped unrun tells so
        made->later = later_;
        made->from = from_;
        made->to = to_;
        if (laterText_) made->reading = std::exchange(reading_, {});
        made->read = read_;
        if (laterRich_) made->writer = writer_;
        job = [made](const QTextDocument &doc) { made->run(doc); };
    }
    letGo();
    return job;
}

void SelectionCopy::Made::takeLater() {
    if (!later_) return;
    std::unique_lock l(later_->m);
    later_->cv.wait(l, [this] { return later_->done; });
    if (later_->made) {
        if (later_->reading) {
            reading_ = std::move(*later_->reading);
            whole_ = true;
        }
        if (later_->rtf) rtf_ = std::move(*later_->rtf);
    } else {
        if (laterText_) lost_ = true;
        richGone_ = true;
    }
    l.unlock();
    later_.reset();
}

void SelectionCopy::Made::letGo() {
    disconnect(watch_);
    doc_ = nullptr;
}

QVariant SelectionCopy::Made::retrieve(const QString &mimeType, QMetaType type) {
    if (lost_) return {};
    if (mimeType == kText) {
        takeLater();
        readRest(true, false);
        if (!whole_) return {};
        if (!long_) return text_; // turned into what the caller asked for
        // Other programs ask for bytes, which a long text is held as; made text for this one's own
        // paste, and not kept.
        if (type.id() == QMetaType::QString) return reading_.text();
        return reading_.bytes;
    }
    if (mimeType == kRich && offersRich_) {
        if (!rich_ && doc_ && !richGone_) rich_ = makeRich_(*doc_, from_, to_);
        return rich_ ? QVariant(*rich_) : QVariant();
    }
    if (mimeType == kRtf && writer_) {
        takeLater();
        readRest(false, true);
        return rtf_ ? QVariant(*rtf_) : QVariant();
    }
    return {};
}

SelectionCopy::SelectionCopy(QTextDocument *doc, int from, int to, Reader text, Maker rich,
                             std::optional<RtfCodec::WriteAs> longRich)
    : made_(std::make_shared<Made>(doc, from, to, std::move(text), std::move(rich), std::move(longRich))) {
    watchClipboard();
}

SelectionCopy::SelectionCopy(const SelectionCopy &same) : made_(same.made_) {
    watchClipboard();
}

void SelectionCopy::watchClipboard() {
    // Offered only as the primary selection (at every change of the selection), the copy is read
    // only if it is asked for; put on the clipboard, it is likely to be pasted.
    QClipboard *clipboard = QGuiApplication::clipboard();
    connect(clipboard, &QClipboard::changed, this, [this, clipboard](QClipboard::Mode mode) {
        if (mode == QClipboard::Clipboard && clipboard->mimeData(mode) == this) made_->readAhead();
    });
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

QVariant SelectionCopy::retrieveData(const QString &mimeType, QMetaType type) const {
    return made_->retrieve(mimeType, type);
}
