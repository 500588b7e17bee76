#include "notes/SelectionCopy.h"

#include "platform/Background.h"
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
constexpr qsizetype kAll = std::numeric_limits<qsizetype>::max();

// Other programs take a copy's text as UTF-8: a long one's is made where its text is made, not when
// it is asked for.
std::optional<QByteArray> bytesOf(const QString &text) {
    if (text.size() <= SelectionCopy::kSliceChars) return std::nullopt;
    return text.toUtf8();
}

struct Later {
    std::mutex m;
    std::condition_variable cv;
    bool done = false;
    std::optional<QString> text;
    std::optional<QByteArray> bytes;
};

// The reading of the rest of a copy's text, handed to where its document is; told as done when
// dropped unrun.
struct TextJob {
    std::shared_ptr<Later> later;
    int from = 0, at = 0, to = 0;
    QString text; // read so far
    SelectionCopy::Reader read;
    void run(const QTextDocument &doc) {
        read(text, doc, from, at, to, kAll);
        std::optional<QByteArray> bytes = bytesOf(text);
        finish(std::move(text), std::move(bytes));
    }
    void finish(std::optional<QString> made, std::optional<QByteArray> bytes) {
        {
            std::lock_guard l(later->m);
            if (later->done) return;
            later->text = std::move(made);
            later->bytes = std::move(bytes);
            later->done = true;
        }
        later->cv.notify_all();
    }
    ~TextJob() {
        if (later) finish(std::nullopt, std::nullopt);
    }
};
} // namespace

class SelectionCopy::Made : public QObject {
public:
    Made(QTextDocument *doc, int from, int to, Reader text, Maker rich);
    ~Made() override;
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
    bool textMade() const { return whole_ || later_; }
    bool richMade() const { return rich_.has_value(); }
    qsizetype mostHere() const { return mostHere_; }

private:
    void changed(int pos, int removed, int added);
    void letGo();
    void readSlice();
    void readHere(qsizetype atMost);
    void readRest();
    void madeWhole();
    void takeLater();
    void takeBytes();
    QPointer<QTextDocument> doc_;
    int from_ = 0, to_ = 0;
    Reader read_;
    Maker makeRich_;
    // The text read up to at_ (-1: whole), and its UTF-8 once whole.
    QString text_;
    int at_ = 0;
    bool whole_ = false;
    std::optional<QByteArray> bytes_;
    Background::JobPtr bytesJob_;
    std::shared_ptr<Later> later_;
    qsizetype mostHere_ = 0;
    std::optional<QString> rich_;
    bool offersRich_ = false, richGone_ = false, lost_ = false;
    QMetaObject::Connection watch_;
};

SelectionCopy::Made::Made(QTextDocument *doc, int from, int to, Reader text, Maker rich)
    : doc_(doc), from_(from), to_(to), read_(std::move(text)), makeRich_(std::move(rich)), at_(from),
      offersRich_(to - from <= kKeptRichChars) {
    // Told on the document's own thread as it changes, before anything can ask for the copy.
    watch_ = connect(doc, &QTextDocument::contentsChange, this, &Made::changed, Qt::DirectConnection);
    if (to - from > kSliceChars) QTimer::singleShot(0, this, &Made::readSlice);
}

SelectionCopy::Made::~Made() {
    // Megabytes given back on a worker, not on the window's thread.
    if (text_.size() > kSliceChars)
        Background::detached([text = std::move(text_), bytes = std::move(bytes_)] {});
}

QStringList SelectionCopy::Made::formats() const {
    QStringList out;
    if (lost_) return out;
    out << kText;
    if (offersRich_ && (rich_ || (doc_ && !richGone_))) out << kRich;
    return out;
}

void SelectionCopy::Made::changed(int pos, int removed, int added) {
    if (!doc_) return;
    if (pos >= to_) return; // after the copied characters
    if (pos + removed <= from_) {
        // Before them: they moved.
        from_ += added - removed;
        to_ += added - removed;
        if (at_ >= 0) at_ += added - removed;
        return;
    }
    // Changed before the copy was settled: its characters are no longer there to make what is not
    // made yet from.
    if (!rich_) richGone_ = true;
    if (!whole_) {
        lost_ = true;
        text_ = QString();
    }
    letGo();
}

void SelectionCopy::Made::readHere(qsizetype atMost) {
    if (text_.isNull()) text_.reserve(to_ - from_); // a break or a cut takes no more than its separator
    const qsizetype was = text_.size();
    at_ = read_(text_, *doc_, from_, at_, to_, atMost);
    mostHere_ = std::max(mostHere_, text_.size() - was);
    if (at_ < 0) madeWhole();
}

void SelectionCopy::Made::madeWhole() {
    whole_ = true;
    if (text_.size() <= kSliceChars || bytes_) return;
    // Its own copy of the text, which no one changes any more.
    bytesJob_ = Background::run<QByteArray>(
        this, [text = text_] { return text.toUtf8(); },
        [this](QByteArray bytes) { bytes_ = std::move(bytes); }, {QStringLiteral("a copied text"), {}, {}});
}

void SelectionCopy::Made::readSlice() {
    if (!doc_ || whole_ || lost_) return;
    readHere(kSliceChars);
    if (!whole_) QTimer::singleShot(0, this, &Made::readSlice);
}

void SelectionCopy::Made::readRest() {
    if (!doc_ || whole_ || lost_) return;
    if (to_ - from_ <= kSliceChars) {
        readHere(kAll);
        return;
    }
    QThreadPool &pool = Background::pool();
    if (pool.activeThreadCount() >= pool.maxThreadCount()) {
        // Every worker is busy, maybe for long: waiting would hold the window longer than reading.
        readHere(kAll);
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
    const Background::JobPtr job = Background::start(this,
                                                     [this, doc, taken] {
                                                         {
                                                             std::lock_guard l(taken->m);
                                                             taken->yes = true;
                                                         }
                                                         taken->cv.notify_all();
                                                         at_ = read_(text_, *doc, from_, at_, to_, kAll);
                                                         bytes_ = bytesOf(text_);
                                                     },
                                                     {}, {}, {QStringLiteral("a copied text"), {}, {}});
    {
        std::unique_lock l(taken->m);
        taken->cv.wait(l, [&taken] { return taken->yes; });
    }
    Background::finish(job);
    whole_ = at_ < 0;
}

void SelectionCopy::Made::settle() {
    if (!doc_) return;
    readRest();
    if (offersRich_ && !rich_ && !richGone_) rich_ = makeRich_(*doc_, from_, to_);
    letGo();
}

std::function<void(const QTextDocument &)> SelectionCopy::Made::settleLater() {
    if (!doc_) return {};
    if (offersRich_ && !rich_ && !richGone_) rich_ = makeRich_(*doc_, from_, to_);
    std::function<void(const QTextDocument &)> job;
    if (!whole_ && !lost_) {
        later_ = std::make_shared<Later>();
        auto made = std::make_shared<TextJob>(); // made in its place: a job dropped unrun tells so
        made->later = later_;
        made->from = from_;
        made->at = at_;
        made->to = to_;
        made->text = std::exchange(text_, QString());
        made->read = read_;
        job = [made](const QTextDocument &doc) { made->run(doc); };
    }
    letGo();
    return job;
}

void SelectionCopy::Made::takeLater() {
    if (!later_) return;
    std::unique_lock l(later_->m);
    later_->cv.wait(l, [this] { return later_->done; });
    if (later_->text) {
        text_ = std::move(*later_->text);
        bytes_ = std::move(later_->bytes);
        whole_ = true;
    } else {
        lost_ = true;
    }
    l.unlock();
    later_.reset();
}

void SelectionCopy::Made::takeBytes() {
    if (bytes_ || !bytesJob_) return;
    Background::finish(bytesJob_); // waited for, or made here when no worker has taken it up yet
    bytesJob_.reset();
}

void SelectionCopy::Made::letGo() {
    disconnect(watch_);
    doc_ = nullptr;
}

QVariant SelectionCopy::Made::retrieve(const QString &mimeType, QMetaType type) {
    if (lost_) return {};
    if (mimeType == kText) {
        takeLater();
        readRest();
        if (!whole_) return {};
        // Other programs ask for bytes: a long text's are made already.
        if (type.id() == QMetaType::QByteArray) {
            takeBytes();
            if (bytes_) return *bytes_;
        }
        return text_; // a short one's turned into what the caller asked for
    }
    if (mimeType == kRich && offersRich_) {
        if (!rich_ && doc_ && !richGone_) rich_ = makeRich_(*doc_, from_, to_);
        return rich_ ? QVariant(*rich_) : QVariant();
    }
    return {};
}

SelectionCopy::SelectionCopy(QTextDocument *doc, int from, int to, Reader text, Maker rich)
    : made_(std::make_shared<Made>(doc, from, to, std::move(text), std::move(rich))) {}

SelectionCopy::SelectionCopy(const SelectionCopy &same) : made_(same.made_) {}

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
