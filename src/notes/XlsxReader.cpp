#include "notes/XlsxReader.h"

#include <QDir>
#include <QIODevice>
#include <QXmlStreamReader>
#include <dlfcn.h>
#include <memory>
#include <sys/stat.h>
#include <zip.h>

namespace XlsxReader {
namespace {
using TableImport::Failure;
using TableImport::Result;

// libzip is opened the first time a workbook is read, not linked: loading it with the
// cryptography library it brings cost every launch over a millisecond of CPU and a megabyte and a
// half of memory, for an import most sessions never make.
#define MIVO_ZIP_CALLS(X)                                                                               \
    X(error_init) X(error_fini) X(error_code_zip) X(source_buffer_create) X(source_free)                \
        X(open_from_source) X(discard) X(name_locate) X(file_get_external_attributes) X(stat_init)      \
            X(stat_index) X(fopen_index) X(fread) X(fclose)

struct ZipCalls {
#define MIVO_ZIP_MEMBER(name) decltype(&::zip_##name) name = nullptr;
    MIVO_ZIP_CALLS(MIVO_ZIP_MEMBER)
#undef MIVO_ZIP_MEMBER
    bool loaded = false;
};

// The library's calls, or loaded false when it or one of them is missing (the import then fails
// like a broken workbook). Opened once, kept for the life of the process.
const ZipCalls &zip() {
    static const ZipCalls calls = [] {
        ZipCalls c;
        void *lib = ::dlopen(MIVO_LIBZIP_SONAME, RTLD_NOW | RTLD_LOCAL);
        if (!lib) return c;
        bool all = true;
#define MIVO_ZIP_RESOLVE(name)                                                                          \
    c.name = reinterpret_cast<decltype(c.name)>(::dlsym(lib, "zip_" #name));                            \
    all = all && c.name;
        MIVO_ZIP_CALLS(MIVO_ZIP_RESOLVE)
#undef MIVO_ZIP_RESOLVE
        c.loaded = all;
        return c;
    }();
    return calls;
}

// Why reading a member stopped early.
enum class Stop { none, tooLarge, overRatio, corrupt };

// One member, inflated as it is read: the XML readers pull from it, so a member never sits in
// memory whole, and the caps hold for the bytes that really come out, whatever the directory claims.
class MemberDevice : public QIODevice {
public:
    MemberDevice(zip_file_t *zf, qint64 claimedSize, qint64 compressedSize)
        : zf_(zf), claimed_(claimedSize), compressed_(compressedSize) {
        open(QIODevice::ReadOnly);
    }
    ~MemberDevice() override { zip().fclose(zf_); }
    bool isSequential() const override { return true; }
    bool atEnd() const override { return ended_ && QIODevice::atEnd(); }
    Stop stop() const { return stop_; }

    // Reads what the XML reader left, so a damaged tail (a bad checksum) is still found.
    Stop drain() {
        char buf[64 * 1024];
        while (read(buf, sizeof buf) > 0) {
        }
        return stop_;
    }

protected:
    qint64 readData(char *data, qint64 maxSize) override {
        if (ended_) return -1;
        if (maxSize <= 0) return 0;
        const zip_int64_t got = zip().fread(zf_, data, zip_uint64_t(maxSize));
        if (got <= 0) {
            ended_ = true;
            if (got < 0 || total_ != claimed_) stop_ = Stop::corrupt; // a bad checksum, a short member
            return -1;
        }
        total_ += got;
        if (total_ > kMaxMemberBytes)
            stop_ = Stop::tooLarge;
        else if (total_ > claimed_)
            stop_ = Stop::corrupt; // the directory understated it
        else if (overRatio(total_, compressed_))
            stop_ = Stop::overRatio;
        if (stop_ != Stop::none) {
            ended_ = true;
            return -1;
        }
        return got;
    }
    qint64 writeData(const char *, qint64) override { return -1; }

private:
    static bool overRatio(qint64 size, qint64 compressed) {
        if (size <= kRatioFloorBytes) return false;
        return compressed <= 0 || size / compressed > kMaxRatio;
    }

    zip_file_t *zf_;
    qint64 claimed_, compressed_;
    qint64 total_ = 0;
    bool ended_ = false;
    Stop stop_ = Stop::none;
};

Failure failureOf(Stop s) {
    return s == Stop::tooLarge ? Failure::tooLarge : Failure::xlsxFailed;
}

class Archive {
public:
    explicit Archive(const QByteArray &bytes) {
        zip_error_t err;
        zip().error_init(&err);
        zip_source_t *src = zip().source_buffer_create(bytes.constData(), zip_uint64_t(bytes.size()), 0, &err);
        if (src) {
            za_ = zip().open_from_source(src, ZIP_RDONLY, &err);
            if (!za_) zip().source_free(src);
        }
        errorCode_ = zip().error_code_zip(&err);
        zip().error_fini(&err);
    }
    ~Archive() {
        if (za_) zip().discard(za_);
    }
    Archive(const Archive &) = delete;
    Archive &operator=(const Archive &) = delete;

    bool isOpen() const { return za_ != nullptr; }
    int errorCode() const { return errorCode_; }

    struct Member {
        bool missing = false;
        Failure failure = Failure::none; // why it cannot be read
        std::unique_ptr<MemberDevice> device;
    };
    // The member with exactly this name, ready to inflate within the caps.
    Member open(const QString &name) const {
        const QByteArray n = name.toUtf8();
        const zip_int64_t idx = zip().name_locate(za_, n.constData(), ZIP_FL_ENC_RAW);
        if (idx < 0) return {true, Failure::none, nullptr};
        zip_uint8_t opsys = 0;
        zip_uint32_t attr = 0;
        if (zip().file_get_external_attributes(za_, zip_uint64_t(idx), 0, &opsys, &attr) == 0 &&
            opsys == ZIP_OPSYS_UNIX) {
            const mode_t type = mode_t(attr >> 16) & S_IFMT;
            if (type != 0 && type != S_IFREG)
                return {false, Failure::xlsxFailed, nullptr}; // links, devices, folders
        }
        zip_stat_t st;
        zip().stat_init(&st);
        if (zip().stat_index(za_, zip_uint64_t(idx), 0, &st) != 0 || !(st.valid & ZIP_STAT_SIZE) ||
            !(st.valid & ZIP_STAT_COMP_SIZE))
            return {false, Failure::xlsxFailed, nullptr};
        // What the directory claims is refused early; what it understates is caught while reading.
        if (st.size > zip_uint64_t(kMaxMemberBytes)) return {false, Failure::tooLarge, nullptr};
        zip_file_t *zf = zip().fopen_index(za_, zip_uint64_t(idx), 0);
        if (!zf) return {false, Failure::xlsxFailed, nullptr};
        return {false, Failure::none,
                std::make_unique<MemberDevice>(zf, qint64(st.size), qint64(st.comp_size))};
    }

private:
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

// How one XML pass over a member ended: a cap or a damaged member decides over what the XML said.
Failure passResult(MemberDevice &dev, const QXmlStreamReader &x, Failure ownFailure = Failure::none) {
    if (dev.stop() != Stop::none) return failureOf(dev.stop());
    if (ownFailure != Failure::none) return ownFailure;
    if (const Stop stop = dev.drain(); stop != Stop::none) return failureOf(stop);
    return xmlFailed(x) ? Failure::xlsxFailed : Failure::none;
}

// The member of the first worksheet and of the shared strings, from the workbook and its
// relationships; the usual names when those say nothing.
Failure locateParts(const Archive &zip, QString &sheet, QString &strings) {
    sheet = QStringLiteral("xl/worksheets/sheet1.xml");
    strings = QStringLiteral("xl/sharedStrings.xml");
    Archive::Member wb = zip.open(QStringLiteral("xl/workbook.xml"));
    Archive::Member rels = zip.open(QStringLiteral("xl/_rels/workbook.xml.rels"));
    if (wb.failure != Failure::none) return wb.failure;
    if (rels.failure != Failure::none) return rels.failure;

    QString firstId;
    if (wb.device) {
        QXmlStreamReader x(wb.device.get());
        while (!x.atEnd() && nextToken(x)) {
            if (x.isStartElement() && x.name() == u"sheet") {
                for (const QXmlStreamAttribute &a : x.attributes())
                    if (a.name() == u"id" && !a.namespaceUri().isEmpty()) firstId = a.value().toString();
                break;
            }
        }
        if (const Failure f = passResult(*wb.device, x); f != Failure::none) return f;
    }
    if (rels.device) {
        QXmlStreamReader x(rels.device.get());
        while (!x.atEnd() && nextToken(x)) {
            if (!x.isStartElement() || x.name() != u"Relationship") continue;
            const auto a = x.attributes();
            const QString target = a.value(QStringLiteral("Target")).toString();
            if (target.isEmpty() || a.value(QStringLiteral("TargetMode")) == u"External") continue;
            if (!firstId.isEmpty() && a.value(QStringLiteral("Id")) == firstId) sheet = resolveTarget(target);
            if (a.value(QStringLiteral("Type")).endsWith(u"/sharedStrings")) strings = resolveTarget(target);
        }
        if (const Failure f = passResult(*rels.device, x); f != Failure::none) return f;
    }
    return Failure::none;
}

// The texts of <t> elements up to the end of the current element, skipping phonetic runs; false
// when they grow beyond what one cell may hold.
bool runTexts(QXmlStreamReader &x, const QString &endName, QString &out) {
    out.clear();
    int phonetic = 0;
    while (!x.atEnd() && nextToken(x)) {
        if (x.isStartElement()) {
            if (x.name() == u"rPh")
                ++phonetic;
            else if (x.name() == u"t" && phonetic == 0)
                out += x.readElementText();
            if (out.size() > TableImport::kMaxCellChars) return false;
        } else if (x.isEndElement()) {
            if (x.name() == u"rPh")
                --phonetic;
            else if (x.name() == endName)
                break;
        }
    }
    return true;
}

Failure readSharedStrings(MemberDevice &dev, QStringList &table) {
    QXmlStreamReader x(&dev);
    QString text;
    Failure own = Failure::none;
    while (own == Failure::none && !x.atEnd() && nextToken(x)) {
        if (!x.isStartElement() || x.name() != u"si") continue;
        if (runTexts(x, QStringLiteral("si"), text))
            table << text;
        else
            own = Failure::cellTooLarge;
    }
    return passResult(dev, x, own);
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

// A row's number from its r attribute (1-based); 0 when it has none or it is not a number.
qint64 rowNumberOf(const QXmlStreamAttributes &attrs) {
    bool ok = false;
    const qint64 n = attrs.value(QStringLiteral("r")).toLongLong(&ok);
    return ok && n > 0 ? std::min(n, qint64(1) << 40) : 0;
}

// The rows of the sheet, each at its own number (rows the sheet skips come back blank), or why not.
Failure readSheet(QXmlStreamReader &x, const QStringList &shared, TableImport::Rows &rows) {
    using TableImport::kMaxColumns;
    using TableImport::kMaxDataRows;
    qint64 rowNumber = 0; // of the row being read, or of the last one
    int nextCol = 0;
    std::vector<std::pair<int, QString>> cells;
    int width = 0;
    while (!x.atEnd() && nextToken(x)) {
        if (x.isStartElement() && x.name() == u"row") {
            // A row without a usable number, or one that goes back, follows the one before.
            rowNumber = std::max(rowNumberOf(x.attributes()), rowNumber + 1);
            nextCol = 0;
            cells.clear();
        } else if (x.isEndElement() && x.name() == u"row") {
            if (cells.empty()) continue; // formatting only: its number stays blank
            if (rowNumber > qint64(kMaxDataRows) + 1) return Failure::tooLarge;
            int rowWidth = 0;
            for (const auto &c : cells)
                rowWidth = std::max(rowWidth, c.first + 1);
            width = std::max(width, rowWidth);
            rows.resize(size_t(rowNumber)); // the blank rows before it
            QStringList &row = rows.back();
            row.resize(rowWidth);
            for (auto &c : cells)
                row[c.first] = std::move(c.second);
            cells.clear();
        } else if (rowNumber > 0 && x.isStartElement() && x.name() == u"c") {
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
                    if (!runTexts(x, QStringLiteral("is"), inlineText)) return Failure::cellTooLarge;
                    hasInline = true;
                } else {
                    x.skipCurrentElement(); // formulas and the rest: only cached values count
                }
            }
            if (raw.size() > TableImport::kMaxCellChars) return Failure::cellTooLarge;
            nextCol = col + 1;
            if (col > kLastColumn) continue;
            if (col >= kMaxColumns) return Failure::tooLarge;
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
    if (xmlFailed(x)) return Failure::xlsxFailed;
    // A blank row is as wide as the sheet, as a spreadsheet writes it to CSV.
    for (QStringList &row : rows)
        if (row.isEmpty()) row.resize(width);
    return Failure::none;
}
} // namespace

Result parse(const QByteArray &bytes) {
    if (bytes.size() > TableImport::kMaxXlsxBytes) return {{}, Failure::tooLarge};
    // Not a zip at all (an old XLS file, text): nothing to find. A zip that will not open: broken.
    if (!bytes.startsWith("PK")) return {{}, Failure::noData};
    if (!zip().loaded) return {{}, Failure::xlsxFailed};
    Archive zip(bytes);
    if (!zip.isOpen())
        return {{},
                zip.errorCode() == ZIP_ER_NOZIP && !bytes.startsWith("PK\x03\x04") ? Failure::noData
                                                                                   : Failure::xlsxFailed};

    QString sheetName, stringsName;
    if (const Failure f = locateParts(zip, sheetName, stringsName); f != Failure::none) return {{}, f};
    Archive::Member sheet = zip.open(sheetName);
    if (sheet.missing && sheetName != u"xl/worksheets/sheet1.xml")
        sheet = zip.open(QStringLiteral("xl/worksheets/sheet1.xml"));
    if (sheet.failure != Failure::none) return {{}, sheet.failure};
    if (sheet.missing) return {{}, Failure::noData};
    QStringList shared;
    Archive::Member strings = zip.open(stringsName);
    if (strings.failure != Failure::none) return {{}, strings.failure};
    if (strings.device)
        if (const Failure f = readSharedStrings(*strings.device, shared); f != Failure::none) return {{}, f};
    strings.device.reset();

    Result res;
    QXmlStreamReader x(sheet.device.get());
    const Failure own = readSheet(x, shared, res.rows);
    if (const Failure f = passResult(*sheet.device, x, own); f != Failure::none) return {{}, f};
    if (res.rows.empty()) res.failure = Failure::noData;
    return res;
}
} // namespace XlsxReader
