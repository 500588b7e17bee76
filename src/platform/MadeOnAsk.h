#pragma once
#include <QByteArray>
#include <QString>
#include <functional>

class QObject;

// Clipboard data whose forms take long to make (a copy of megabytes): asked for them, it makes them
// without holding the window's thread and hands them over in a later turn of its event loop.
class MadeOnAsk {
public:
    struct Made {
        bool refused = false; // the data offers the form no more (what it stood on changed)
        QByteArray bytes;     // as another program takes the form: text as UTF-8
        // Text whose UTF-16 UTF-8 cannot hold whole (a selection beginning or ending inside a pair):
        // from this byte on, the text is odd instead.
        qsizetype oddFrom = -1;
        QString odd;
        // The form as text (may be called on any thread).
        QString text() const {
            if (oddFrom < 0) return QString::fromUtf8(bytes);
            return QString::fromUtf8(QByteArrayView(bytes).first(oddFrom)) + odd;
        }
    };
    // Whether mimeType, asked for now, would be made at length: such a form is asked for through
    // whenMade.
    virtual bool makesLater(const QString &mimeType) const = 0;
    // Makes mimeType and hands it to done on receiver's thread from a later turn of its event loop,
    // once (nothing when receiver is gone by then). Asks of one form made at once share the work.
    virtual void whenMade(const QString &mimeType, QObject *receiver, std::function<void(Made)> done) const = 0;

protected:
    ~MadeOnAsk() = default;
};
