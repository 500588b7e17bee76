#include "notes/TableImport.h"

#include "notes/XlsxReader.h"
#include "platform/ImportFile.h"
#include <QFileInfo>
#include <QStringDecoder>
#include <new>

namespace TableImport {
namespace {
bool isBlank(const QString &s) {
    for (QChar c : s)
        if (c != u'\t' && c.category() != QChar::Separator_Space) return false;
    return true;
}

Result readBytes(const QString &path, QByteArray &out) {
    ImportFile::Result file = ImportFile::read(path);
    switch (file.error) {
    case ImportFile::Error::none:
        out = std::move(file.bytes);
        return {};
    case ImportFile::Error::notAFile:
        return {{}, Failure::notAFile};
    case ImportFile::Error::tooLarge:
        return {{}, Failure::tooLarge};
    case ImportFile::Error::unreadable:
        break;
    }
    return {{}, Failure::couldNotRead};
}
} // namespace

Kind kindForPath(const QString &path) {
    const QString ext = QFileInfo(path).suffix().toLower();
    return ext == u"xlsx" || ext == u"xls" ? Kind::xlsx : Kind::csv;
}

Result parseCsv(const QByteArray &bytes) {
    if (bytes.size() > kMaxCsvBytes) return {{}, Failure::tooLarge};
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = utf8.decode(bytes);
    if (utf8.hasError()) return {{}, Failure::couldNotRead};
    if (text.startsWith(QChar(0xFEFF))) text.remove(0, 1);

    Result res;
    QStringList record;
    QString field;
    bool inQuotes = false;
    bool fieldStarted = false; // a quote opens a field only at its very start
    bool recordQuoted = false;
    bool overCap = false;

    auto endField = [&] {
        record << field;
        field.clear();
        fieldStarted = false;
        if (record.size() > kMaxColumns) overCap = true;
    };
    auto endRecord = [&] {
        endField();
        const bool blank = record.size() == 1 && !recordQuoted && isBlank(record.first());
        if (!blank) res.rows.push_back(record);
        if (res.rows.size() > size_t(kMaxDataRows) + 1) overCap = true;
        record.clear();
        recordQuoted = false;
    };

    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n && !overCap; ++i) {
        const QChar ch = text.at(i);
        const bool crlf = ch == u'\r' && i + 1 < n && text.at(i + 1) == u'\n';
        if (field.size() > kMaxCellChars) return {{}, Failure::cellTooLarge};
        if (inQuotes) {
            if (ch == u'"') {
                if (i + 1 < n && text.at(i + 1) == u'"') {
                    field += u'"';
                    ++i;
                } else {
                    inQuotes = false;
                }
            } else if (crlf) {
                field += u'\n';
                ++i;
            } else {
                field += ch;
            }
            continue;
        }
        if (ch == u'"') {
            if (!fieldStarted) {
                inQuotes = true;
                fieldStarted = true;
                recordQuoted = true;
            } else {
                field += ch;
            }
        } else if (ch == u',') {
            endField();
        } else if (ch == u'\n' || crlf) {
            endRecord();
            if (crlf) ++i;
        } else {
            field += ch;
            fieldStarted = true;
        }
    }
    if (field.size() > kMaxCellChars) return {{}, Failure::cellTooLarge};
    if (!overCap && (!record.isEmpty() || fieldStarted || !field.isEmpty())) endRecord();
    if (overCap) return {{}, Failure::tooLarge};
    if (res.rows.empty()) res.failure = Failure::nothingToImport;
    return res;
}

Result readCsvFile(const QString &path) {
    QByteArray bytes;
    Result r = readBytes(path, bytes);
    if (r.failure != Failure::none) return r;
    return parseCsv(bytes);
}

Result readFile(const QString &path) {
    if (kindForPath(path) == Kind::csv) return readCsvFile(path);
    QByteArray bytes;
    Result r = readBytes(path, bytes);
    if (r.failure != Failure::none) return r;
    return XlsxReader::parse(bytes);
}

Failure importFile(const QString &path, Table &out) {
    try {
        const Result r = readFile(path);
        if (r.failure != Failure::none) return r.failure;
        out = tableFromRows(r.rows);
        return Failure::none;
    } catch (const std::bad_alloc &) {
        // What was built so far is freed on the way out; the app and the note stay as they were.
        out = {};
        return Failure::outOfMemory;
    }
}

Table tableFromRows(const Rows &rows) {
    Table t;
    if (rows.empty()) return t;
    for (const QString &title : rows.front())
        t.columns.emplace_back(title);
    const qsizetype n = std::max<qsizetype>(1, rows.front().size());
    t.rows.reserve(rows.size() - 1);
    for (size_t i = 1; i < rows.size(); ++i) {
        QStringList cells = rows[i];
        while (cells.size() < n)
            cells << QString();
        t.rows.emplace_back(cells);
    }
    return t;
}

QString alertMessage(Failure f) {
    switch (f) {
    case Failure::couldNotRead:
        return QStringLiteral("Could not read file");
    case Failure::notAFile:
        return ImportFile::message(ImportFile::Error::notAFile);
    case Failure::noData:
        return QStringLiteral("No data found in XLSX");
    case Failure::xlsxFailed:
        return QStringLiteral("XLSX import failed");
    case Failure::tooLarge:
        return QStringLiteral("File too large to import");
    case Failure::cellTooLarge:
        return QStringLiteral("A cell is too large to import");
    case Failure::outOfMemory:
        return QStringLiteral("Not enough memory to import this file");
    case Failure::none:
    case Failure::nothingToImport:
        break;
    }
    return {};
}

QString alertInformative(Failure f) {
    switch (f) {
    case Failure::xlsxFailed:
        return QStringLiteral("Try saving as .csv first and import that.");
    case Failure::cellTooLarge:
        return QStringLiteral("One cell holds more than %1 characters. In a CSV file, a quote that is never "
                              "closed makes the rest of the file one cell.")
            .arg(kMaxCellChars);
    case Failure::outOfMemory:
        return QStringLiteral("Nothing was imported. Close other programs or import a smaller file.");
    default:
        return QString();
    }
}

QString openPanelMessage() {
    return QStringLiteral("Choose a .csv or .xlsx file to import");
}
} // namespace TableImport
