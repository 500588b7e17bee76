#include "ui/QtTexts.h"

#include "platform/Keys.h"
#include "platform/Notifier.h"
#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>
#include <memory>

namespace {
// The one catalogue Mivo needs: qtbase holds the dialogs', menus' and buttons' texts.
std::unique_ptr<QTranslator> &current() {
    static std::unique_ptr<QTranslator> t;
    return t;
}
} // namespace

namespace QtTexts {
QString directory() { return QLibraryInfo::path(QLibraryInfo::TranslationsPath); }

bool apply(AppLang l) {
    std::unique_ptr<QTranslator> &old = current();
    if (old) {
        QCoreApplication::removeTranslator(old.get());
        old.reset();
    }
    if (l == AppLang::en) return true;
    auto t = std::make_unique<QTranslator>();
    if (!t->load(QStringLiteral("qtbase_") + AppLangs::localeId(l), directory())) return false;
    QCoreApplication::installTranslator(t.get());
    old = std::move(t);
    return true;
}

void follow(QObject *context) {
    apply(L::lang());
    Notifier::get().observe(QLatin1String(Notify::languageChanged), context, [](QObject *) { apply(L::lang()); });
}
} // namespace QtTexts
