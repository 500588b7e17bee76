#include "notes/XlsxReader.h"

#include <QDir>
#include <QXmlStreamReader>
#include <sys/stat.h>
#include <zip.h>

namespace XlsxReader {
namespace {
using TableImport::Failure;
using TableImport::Result;

enum class Got { ok, missing, failed };

class Archive {
public:
    explicit Archive(const QByteArray &bytes) {
        zip_error_t err;
        zip_error_init(&err);
        zip_source_t *src = zip_source_buffer_create(bytes.constData(), zip_uint64_t(bytes.size()), 0, &err);
        if (src) {
            za_ = zip_open_from_source(src, ZIP_RDONLY, &err);
            if (!za_) zip_source_free(src);
        }
        errorCode_ = zip_error_code_zip(&err);
        zip_error_fini(&err);
    }
    ~Archive() {
        if (za_) zip_discard(za_);
    }
    Archive(const Archive &) = delete;
    Archive &operator=(const Archive &) = delete;

    bool isOpen() const { return za_ != nullptr; }
    int errorCode() const { return errorCode_; }

    // The member with exactly this name, inflated within the caps.
    Got read(const QString &name, QByteArray &out) const {
        out.clear();
        const QByteArray n = name.toUtf8();
        const zip_int64_t idx = zip_name_locate(za_, n.constData(), ZIP_FL_ENC_RAW);
        if (idx < 0) return Got::missing;
        zip_uint8_t opsys = 0;
        zip_uint32_t attr = 0;
        if (zip_file_get_external_attributes(za_, zip_uint64_t(idx), 0, &opsys, &attr) == 0 &&
            opsys == ZIP_OPSYS_UNIX) {
            const mode_t type = mode_t(attr >> 16) & S_IFMT;
            if (type != 0 && type != S_IFREG) return Got::failed; // links, devices, folders
        }
        zip_stat_t st;
        zip_stat_init(&st);
        if (zip_stat_index(za_, zip_uint64_t(idx), 0, &st) != 0) return Got::failed;
        const bool hasSizes = (st.valid & ZIP_STAT_SIZE) && (st.valid & ZIP_STAT_COMP_SIZE);
        if (!hasSizes || st.size > zip_uint64_t(kMaxMemberBytes) ||
            overRatio(qint64(st.size), qint64(st.comp_size)))
            return Got::failed;
        zip_file_t *zf = zip_fopen_index(za_, zip_uint64_t(idx), 0);
        if (!zf) return Got::failed;
        out.reserve(qsizetype(st.size));
        char buf[64 * 1024];
        Got result = Got::ok;
        for (;;) {
            const zip_int64_t got = zip_fread(zf, buf, sizeof buf);
            if (got < 0) {
                result = Got::failed;
                break;
            }
            if (got == 0) break;
            out.append(buf, qsizetype(got));
            // The directory's sizes may lie: the caps hold for what actually comes out.
            if (out.size() > qint64(st.size) || out.size() > kMaxMemberBytes ||
                overRatio(out.size(), qint64(st.comp_size))) {
                result = Got::failed;
                break;
            }
        }
        zip_fclose(zf);
        if (result != Got::ok) out.clear();
        return result;
    }

private:
    static bool overRatio(qint64 size, qint64 compressed) {
        if (size <= kRatioFloorBytes) return false;
        return compressed <= 0 || size / compressed > kMaxRatio;
    }

    zip_t *za_ = nullptr;
    int errorCode_ = 0;
};

// Starts reading XML, refusing documents with a DTD (entity expansion has no place in a workbook).
bool nextToken(QXmlStreamReader &x) {
    const auto t = x.readNext();
    return t != QXmlStreamReader::DTD && t != QXmlStreamReader::Invalid;
}

bool xmlFailed(const QXmlStreamReader &x) {
    return x.hasError() || x.tokenType() == QXmlStreamReader::DTD;
}

// The part that a relationship target names, as a member name ("worksheets/sheet2.xml" from xl/).
QString resolveTarget(const QString &target) {
    if (target.startsWith(u'/')) return QDir::cleanPath(target.mid(1));
    return QDir::cleanPath(QStringLiteral("xl/") + target);
}

// The member of the first worksheet and of the shared strings, from the workbook and its
// relationships; the usual names when those say nothing.
bool locateParts(const Archive &zip, QString &sheet, QString &strings) {
    sheet = QStringLiteral("xl/worksheets/sheet1.xml");
    strings = QStringLiteral("xl/sharedStrings.xml");
    QByteArray wb, rels;
    const Got gw = zip.read(QStringLiteral("xl/workbook.xml"), wb);
    const Got gr = zip.read(QStringLiteral("xl/_rels/workbook.xml.rels"), rels);
    if (gw == Got::failed || gr == Got::failed) return false;

    QString firstId;
    if (gw == Got::ok) {
        QXmlStreamReader x(wb);
        while (!x.atEnd() && nextToken(x)) {
            if (x.isStartElement() && x.name() == u"sheet") {
                for (const QXmlStreamAttribute &a : x.attributes())
                    if (a.name() == u"id" && !a.namespaceUri().isEmpty()) firstId = a.value().toString();
                break;
            }
        }
        if (xmlFailed(x)) return false;
    }
    if (gr == Got::ok) {
        QXmlStreamReader x(rels);
        while (!x.atEnd() && nextToken(x)) {
            if (!x.isStartElement() || x.name() != u"Relationship") continue;
            const auto a = x.attributes();
            const QString target = a.value(QStringLiteral("Target")).toString();
            if (target.isEmpty() || a.value(QStringLiteral("TargetMode")) == u"External") continue;
            if (!firstId.isEmpty() && a.value(QStringLiteral("Id")) == firstId) sheet = resolveTarget(target);
            if (a.value(QStringLiteral("Type")).endsWith(u"/sharedStrings")) strings = resolveTarget(target);
        }
        if (xmlFailed(x)) return false;
    }
    return true;
}

// The texts of <t> elements up to the end of the current element, skipping phonetic runs.
QString runTexts(QXmlStreamReader &x, const QString &endName) {
    QString out;
    int phonetic = 0;
    while (!x.atEnd() && nextToken(x)) {
        if (x.isStartElement()) {
            if (x.name() == u"rPh")
                ++phonetic;
            else if (x.name() == u"t" && phonetic == 0)
                out += x.readElementText();
        } else if (x.isEndElement()) {
            if (x.name() == u"rPh")
                --phonetic;
            else if (x.name() == endName)
                break;
        }
    }
    return out;
}

bool readSharedStrings(const QByteArray &xml, QStringList &table) {
    QXmlStreamReader x(xml);
    while (!x.atEnd() && nextToken(x))
        if (x.isStartElement() && x.name() == u"si") table << runTexts(x, QStringLiteral("si"));
    return !xmlFailed(x);
}

// "AB12" -> 27; -1 without letters, beyond XFD -> kLastColumn + 1.
int columnOf(QStringView ref) {
    qint64 col = 0;
    qsizetype i = 0;
    for (; i < ref.size(); ++i) {
        const char16_t c = ref.at(i).unicode();
        int v = 0;
        if (c >= 'A' && c <= 'Z')
            v = c - 'A' + 1;
        else if (c >= 'a' && c <= 'z')
            v = c - 'a' + 1;
        else
            break;
        col = std::min<qint64>(col * 26 + v, kLastColumn + 2);
    }
    if (i == 0) return -1;
    return int(col - 1);
}

Result readSheet(const QByteArray &xml, const QStringList &shared) {
    using TableImport::kMaxColumns;
    using TableImport::kMaxDataRows;
    Result res;
    QXmlStreamReader x(xml);
    bool inRow = false;
    int nextCol = 0;
    std::vector<std::pair<int, QString>> cells;
    while (!x.atEnd() && nextToken(x)) {
        if (x.isStartElement() && x.name() == u"row") {
            inRow = true;
            nextCol = 0;
            cells.clear();
        } else if (x.isEndElement() && x.name() == u"row") {
            inRow = false;
            if (cells.empty()) continue;
            int width = 0;
            for (const auto &c : cells)
                width = std::max(width, c.first + 1);
            QStringList row;
            row.resize(width);
            for (const auto &c : cells)
                row[c.first] = c.second;
            res.rows.push_back(row);
            if (res.rows.size() > size_t(kMaxDataRows) + 1) return {{}, Failure::tooLarge};
        } else if (inRow && x.isStartElement() && x.name() == u"c") {
            const auto attrs = x.attributes();
            const QString type = attrs.value(QStringLiteral("t")).toString();
            int col =
                attrs.hasAttribute(QStringLiteral("r")) ? columnOf(attrs.value(QStringLiteral("r"))) : -1;
            if (col < 0) col = nextCol;
            QString raw, inlineText;
            bool hasInline = false;
            while (!x.atEnd() && nextToken(x)) {
                if (x.isEndElement() && x.name() == u"c") break;
                if (!x.isStartElement()) continue;
                if (x.name() == u"v") {
                    raw = x.readElementText(QXmlStreamReader::IncludeChildElements);
                } else if (x.name() == u"is") {
                    inlineText = runTexts(x, QStringLiteral("is"));
                    hasInline = true;
                } else {
                    x.skipCurrentElement(); // formulas and the rest: only cached values count
                }
            }
            nextCol = col + 1;
            if (col > kLastColumn) continue;
            if (col >= kMaxColumns) return {{}, Failure::tooLarge};
            QString value = raw;
            if (type == u"s") {
                bool ok = false;
                const int idx = raw.trimmed().toInt(&ok);
                if (ok && idx >= 0 && idx < shared.size()) value = shared.at(idx);
            } else if (type == u"inlineStr" && hasInline) {
                value = inlineText;
            }
            cells.emplace_back(col, value);
        }
    }
    if (xmlFailed(x)) return {{}, Failure::xlsxFailed};
    if (res.rows.empty()) res.failure = Failure::noData;
    return res;
}
} // namespace

Result parse(const QByteArray &bytes) {
    if (bytes.size() > TableImport::kMaxXlsxBytes) return {{}, Failure::tooLarge};
    // Not a zip at all (an old XLS file, text): nothing to find. A zip that will not open: broken.
    if (!bytes.startsWith("PK")) return {{}, Failure::noData};
    Archive zip(bytes);
    if (!zip.isOpen())
        return {{},
                zip.errorCode() == ZIP_ER_NOZIP && !bytes.startsWith("PK\x03\x04") ? Failure::noData
                                                                                   : Failure::xlsxFailed};

    QString sheetName, stringsName;
    if (!locateParts(zip, sheetName, stringsName)) return {{}, Failure::xlsxFailed};
    QByteArray sheet, strings;
    Got gs = zip.read(sheetName, sheet);
    if (gs == Got::missing && sheetName != u"xl/worksheets/sheet1.xml")
        gs = zip.read(QStringLiteral("xl/worksheets/sheet1.xml"), sheet);
    if (gs == Got::failed) return {{}, Failure::xlsxFailed};
    if (gs == Got::missing) return {{}, Failure::noData};
    QStringList shared;
    const Got gst = zip.read(stringsName, strings);
    if (gst == Got::failed) return {{}, Failure::xlsxFailed};
    if (gst == Got::ok && !readSharedStrings(strings, shared)) return {{}, Failure::xlsxFailed};
    strings.clear();
    return readSheet(sheet, shared);
}
} // namespace XlsxReader
