#pragma once
#include <QByteArray>
#include <QString>
#include <optional>
#include <span>
#include <string_view>

// Texts too long to take in. A file to import or a backup to restore may hold a title of 50 MB: that
// is no one's title, and every display of it would cost by its length. So imports and restores refuse
// a document with a text longer than kMaxChars (the bound of a table cell) and say which field holds
// it. Members that hold data rather than a line of text (an image, rich text in Base64, a note's body)
// are named by the caller as exempt; the file's size cap bounds those.
namespace LongText {
inline constexpr qsizetype kMaxChars = 1024 * 1024;

struct Found {
    QString field;      // the member's name after those of the members it sits in: "steps › title"
    qsizetype item = 0; // the record's position in the document's list, from 1; 0 in a single object
    bool operator==(const Found &) const = default;
};

// The members of a notes document that hold data, not a line of text.
inline constexpr std::string_view kNoteData[] = {"body", "bodyRTF", "imageBase64", "cellsRTF"};

// The first string in the JSON document (a list of records or one object) with more than max
// characters (UTF-16 units), outside members named in exempt. Nothing when there is none, and also
// when the bytes are not JSON: the decoder refuses those. Walks the document without recursion.
std::optional<Found> find(const QByteArray &bytes, std::span<const std::string_view> exempt = {},
                          qsizetype max = kMaxChars);

// The alert text that names the field, in the interface language: "Nothing was imported: “title” in
// item 3 holds more than 1048576 characters." (without the item for a single object).
QString message(const Found &f);
} // namespace LongText
