#pragma once
#include <QMimeData>
#include <QPointer>
#include <functional>
#include <memory>
#include <optional>

class QTextDocument;

// What a copy from a note's view puts on the clipboard: the selection's text and rich text, made
// only when a program asks for one of them. On Linux every change of the selection is offered as the
// primary selection, so a select-all in a long note must cost nothing until something is pasted.
// Until then the copy holds where the selection is in its document, and follows it as the text
// before it changes; the view settles it (makes it from the document as it still is) before an
// edit that would change its text, so what is pasted is always what was selected. A change it was
// not settled before makes it offer nothing rather than other text.
class SelectionCopy : public QMimeData {
    Q_OBJECT
public:
    // How each form is made from the document's characters from..to.
    using Maker = std::function<QString(const QTextDocument &, int from, int to)>;
    SelectionCopy(QTextDocument *doc, int from, int to, Maker text, Maker rich);

    QStringList formats() const override;
    bool hasFormat(const QString &mimeType) const override;

    // Whether the copy still stands on doc's characters and an edit of from..to (both ends
    // included) would change them.
    bool standsOn(const QTextDocument *doc, int from, int to) const;
    // Whether it still stands on a document, nothing made of it kept apart.
    bool live() const { return doc_ != nullptr; }
    // Makes what is not made yet from the document as it is now and lets go of it. The rich text of
    // a copy longer than kKeptRichChars is not made here but given up (a copy that long is pasted as
    // plain text here, and making it would hold the window for seconds before the edit).
    void settle();
    // The same, but the text is made by the function returned (none when it is made already), run
    // where the document is before anything changes it (on a worker, before an edit there): a
    // long text is not copied on the window's thread. Asked for meanwhile, it is waited for; a
    // function dropped unrun leaves the copy offering nothing.
    std::function<void(const QTextDocument &)> settleLater();
    // Lets go of the document and offers nothing any more.
    void drop();
    // Which forms have been made so far.
    bool textMade() const { return text_.has_value() || later_; }
    bool richMade() const { return rich_.has_value(); }

    static constexpr int kKeptRichChars = 16 * 1024;
    // A text being made elsewhere (see settleLater).
    struct Later;

protected:
    QVariant retrieveData(const QString &mimeType, QMetaType type) const override;

private:
    void changed(int pos, int removed, int added);
    void letGo();
    void takeLater() const;
    mutable std::shared_ptr<Later> later_;
    QPointer<QTextDocument> doc_;
    int from_ = 0, to_ = 0;
    Maker makeText_, makeRich_;
    mutable std::optional<QString> text_, rich_;
    bool richGone_ = false, lost_ = false;
    QMetaObject::Connection watch_;
};
