#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QtTest>
#include <cstring>
#include <elf.h>

// The app must start light: neither it nor what it links may need the web engine, Quick, Qml or
// the audio back end. Only our modules, beside it, do.
namespace {
QString buildDir() {
    // Test programs are built one folder below the app.
    return QCoreApplication::applicationDirPath() + QStringLiteral("/..");
}

// The DT_NEEDED entries of a 64-bit ELF file, read from its dynamic section; empty on any fault.
QStringList neededEntries(const QString &path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return {};
    const QByteArray elf = f.readAll();
    auto at = [&elf](quint64 off, quint64 size) { return off + size <= quint64(elf.size()); };
    Elf64_Ehdr eh;
    if (!at(0, sizeof eh)) return {};
    std::memcpy(&eh, elf.constData(), sizeof eh);
    if (std::memcmp(eh.e_ident, ELFMAG, SELFMAG) != 0 || eh.e_ident[EI_CLASS] != ELFCLASS64) return {};
    auto section = [&](int i, Elf64_Shdr *out) {
        const quint64 off = eh.e_shoff + quint64(i) * eh.e_shentsize;
        if (i >= eh.e_shnum || eh.e_shentsize < sizeof(Elf64_Shdr) || !at(off, sizeof(Elf64_Shdr)))
            return false;
        std::memcpy(out, elf.constData() + off, sizeof(Elf64_Shdr));
        return true;
    };
    QStringList needed;
    for (int i = 0; i < eh.e_shnum; ++i) {
        Elf64_Shdr dyn, str;
        if (!section(i, &dyn) || dyn.sh_type != SHT_DYNAMIC) continue;
        if (!section(int(dyn.sh_link), &str) || !at(dyn.sh_offset, dyn.sh_size) ||
            !at(str.sh_offset, str.sh_size))
            return {};
        for (quint64 p = 0; p + sizeof(Elf64_Dyn) <= dyn.sh_size; p += sizeof(Elf64_Dyn)) {
            Elf64_Dyn d;
            std::memcpy(&d, elf.constData() + dyn.sh_offset + p, sizeof d);
            if (d.d_tag == DT_NULL) break;
            if (d.d_tag != DT_NEEDED || d.d_un.d_val >= str.sh_size) continue;
            const char *name = elf.constData() + str.sh_offset + d.d_un.d_val;
            needed << QString::fromLatin1(name, int(qstrnlen(name, str.sh_size - d.d_un.d_val)));
        }
    }
    return needed;
}

// Every library the dynamic loader would map for the file, as ldd lists them.
QStringList loadedLibraries(const QString &path) {
    QProcess ldd;
    ldd.start(QStringLiteral("ldd"), {path});
    if (!ldd.waitForFinished(30000) || ldd.exitCode() != 0) return {};
    QStringList libs;
    for (const QString &line :
         QString::fromLocal8Bit(ldd.readAllStandardOutput()).split(u'\n', Qt::SkipEmptyParts))
        libs << line.trimmed().section(u' ', 0, 0);
    return libs;
}

const QRegularExpression kHeavy(QStringLiteral("^(libQt6(WebEngine|Quick|Qml|Multimedia)|libpulse)"));
} // namespace

class TestLinkage : public QObject {
    Q_OBJECT
private slots:
    void appNeedsNoWebEngineQuickQmlOrMultimedia() {
        const QString app = buildDir() + QStringLiteral("/mivo");
        const QStringList needed = neededEntries(app);
        QVERIFY2(needed.contains(QStringLiteral("libQt6Widgets.so.6")), qPrintable(needed.join(u' ')));
        QVERIFY2(needed.filter(kHeavy).isEmpty(), qPrintable(needed.join(u' ')));
        const QStringList all = loadedLibraries(app);
        QVERIFY2(all.contains(QStringLiteral("libQt6Core.so.6")), qPrintable(all.join(u' ')));
        QVERIFY2(all.filter(kHeavy).isEmpty(), qPrintable(all.join(u' ')));
    }

    void theModulesSitBesideTheAppAndHoldTheHeavyLibraries() {
        const QStringList web = neededEntries(buildDir() + QStringLiteral("/mivo_web.so"));
        QVERIFY2(web.contains(QStringLiteral("libQt6WebEngineWidgets.so.6")), qPrintable(web.join(u' ')));
        const QStringList sound = neededEntries(buildDir() + QStringLiteral("/mivo_sound.so"));
        QVERIFY2(sound.contains(QStringLiteral("libQt6Multimedia.so.6")), qPrintable(sound.join(u' ')));
    }
};

QTEST_MAIN(TestLinkage)
#include "tst_linkage.moc"
