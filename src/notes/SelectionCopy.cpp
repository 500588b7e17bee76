#include "notes/SelectionCopy.h"

#include <QTextDocument>
#include <condition_variable>
#include <mutex>

namespace {
const QString kText = QStringLiteral("text/plain");
const QString kRich = QStringLiteral("text/html");
} // namespace

struct SelectionCopy::Later {
    std::mutex m;
    std::condition_variable cv;
    bool done = false;
    std::optional<QString> text;
};

namespace {
// The making of a copy's text, handed to where its document is; told as done when dropped unrun.
struct TextJob {
    std::shared_ptr<SelectionCopy::Later> later;
    int from = 0, to = 0;
    SelectionCopy::Maker make;
    void run(const QTextDocument &doc) {
        QString text = make(doc, from, to);
        finish(std::move(text));
    }
    void finish(std::optional<QString> text) {
        {
            std::lock_guard l(later->m);
            if (later->done) return;
            later->text = std::move(text);
            later->done = true;
        }
        later->cv.notify_all();
    }
    ~TextJob() {
        if (later) finish(std::nullopt);
    }
};
} // namespace

SelectionCopy::SelectionCopy(QTextDocument *doc, int from, int to, Maker text, Maker rich)
    : doc_(doc), from_(from), to_(to), makeText_(std::move(text)), makeRich_(std::move(rich)) {
    // Told on the document's own thread as it changes, before anything can ask for the copy.
    watch_ =
        connect(doc, &QTextDocument::contentsChange, this, &SelectionCopy::changed, Qt::DirectConnection);
}

QStringList SelectionCopy::formats() const {
    QStringList out;
    if (lost_) return out;
    out << kText;
    if (rich_ || (doc_ && !richGone_)) out << kRich;
    return out;
}

bool SelectionCopy::hasFormat(const QString &mimeType) const {
    return formats().contains(mimeType);
}

bool SelectionCopy::standsOn(const QTextDocument *doc, int from, int to) const {
    return doc_ && doc_ == doc && from <= to_ && to >= from_;
}

void SelectionCopy::changed(int pos, int removed, int added) {
    if (!doc_) return;
    if (pos >= to_) return; // after the copied characters
    if (pos + removed <= from_) {
        // Before them: they moved.
        from_ += added - removed;
        to_ += added - removed;
        return;
    }
    // Changed before the copy was settled: its characters are no longer there to make what is not
    // made yet from.
    if (!rich_) richGone_ = true;
    lost_ = !text_;
    letGo();
}

void SelectionCopy::settle() {
    if (!doc_) return;
    if (!text_) text_ = makeText_(*doc_, from_, to_);
    if (!rich_) {
        if (to_ - from_ <= kKeptRichChars)
            rich_ = makeRich_(*doc_, from_, to_);
        else
            richGone_ = true;
    }
    letGo();
}

std::function<void(const QTextDocument &)> SelectionCopy::settleLater() {
    if (!doc_) return {};
    if (!rich_) {
        if (to_ - from_ <= kKeptRichChars)
            rich_ = makeRich_(*doc_, from_, to_);
        else
            richGone_ = true;
    }
    std::function<void(const QTextDocument &)> job;
    if (!text_) {
        later_ = std::make_shared<Later>();
        auto made = std::make_shared<TextJob>(); // made in its place: a job dropped unrun tells so
        made->later = later_;
        made->from = from_;
        made->to = to_;
        made->make = makeText_;
        job = [made](const QTextDocument &doc) { made->run(doc); };
    }
    letGo();
    return job;
}

void SelectionCopy::takeLater() const {
    if (!later_) return;
    std::unique_lock l(later_->m);
    later_->cv.wait(l, [this] { return later_->done; });
    if (later_->text) text_ = std::move(*later_->text);
    l.unlock();
    later_.reset();
}

void SelectionCopy::drop() {
    letGo();
    lost_ = true;
}

void SelectionCopy::letGo() {
    disconnect(watch_);
    doc_ = nullptr;
}

QVariant SelectionCopy::retrieveData(const QString &mimeType, QMetaType type) const {
    Q_UNUSED(type); // both forms are text, which the caller turns into what it asked for
    if (lost_) return {};
    if (mimeType == kText) {
        takeLater();
        if (!text_ && doc_) text_ = makeText_(*doc_, from_, to_);
        return text_ ? QVariant(*text_) : QVariant();
    }
    if (mimeType == kRich) {
        if (!rich_ && doc_ && !richGone_) rich_ = makeRich_(*doc_, from_, to_);
        return rich_ ? QVariant(*rich_) : QVariant();
    }
    return {};
}
