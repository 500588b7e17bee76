#pragma once
#include <QColor>
#include <QList>
#include <QString>
#include <QUrl>
#include <QVariant>
#include <optional>

class QTextDocument;

// Web links found in, or attached to, text the app shows. Anything that reaches the default browser
// goes through here: text from user data and from the news document is untrusted, so only web and
// mail addresses are ever opened (no file:, no custom schemes that start other programs).
namespace WebLinks {
// http and https with a host, or mailto with an address.
bool isOpenable(const QUrl &url);
// The address a link value stands for: a QUrl, or a string read as a strict URL. None when it is
// neither or when the address may not be opened.
std::optional<QUrl> fromLinkValue(const QVariant &value);

// Our detection rule for plain text: "http://" or "https://" followed by the address, or a host
// that starts with "www." followed by at least one more dot-separated label (opened as https).
// Neither may be glued to a preceding letter, digit, "@", "/" or "."; trailing sentence punctuation
// and an unbalanced closing bracket are not part of the link.
struct Match {
    int start = 0;
    int length = 0;
    QUrl url;
};
QList<Match> find(const QString &text);

// Marks every detected link in the document as an anchor in linkColor, underlined.
void applyDetected(QTextDocument *doc, const QColor &linkColor);

// Opens the address in the default browser; false (and nothing opened) unless isOpenable.
bool open(const QUrl &url);
} // namespace WebLinks

// The seam behind WebLinks::open. The app uses the desktop's default browser; tests record.
class LinkOpener {
public:
    virtual ~LinkOpener() = default;
    virtual void openUrl(const QUrl &url) = 0;
    static void install(LinkOpener *opener); // takes no ownership; nullptr returns to the desktop
};

class RecordingLinks : public LinkOpener {
public:
    QList<QUrl> opened;
    RecordingLinks() { LinkOpener::install(this); }
    ~RecordingLinks() override { LinkOpener::install(nullptr); }
    void openUrl(const QUrl &url) override { opened << url; }
};
