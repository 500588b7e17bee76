#include "finance/FinanceStore.h"

#include "platform/Keys.h"
#include "platform/Notifier.h"
#include "platform/SharedObjects.h"
#include "ui/Lang.h"
#include <algorithm>
#include <array>
#include <iterator>
#include <memory>

namespace {

// One row per category: the English key and its names, in the language case order.
struct CategoryNames {
    const char *names[6]; // en, es, de, fr, uk, pl
};
// Income groups first, then expense groups; "Other" appears in both with the same names.
constexpr std::array<CategoryNames, 12> kGroups{{
    {{"Salary", "Salario", "Gehalt", "Salaire", "Зарплата", "Wynagrodzenie"}},
    {{"Freelance", "Autónomo", "Freiberuflich", "Freelance", "Фріланс", "Freelance"}},
    {{"Investments", "Inversiones", "Investitionen", "Investissements", "Інвестиції", "Inwestycje"}},
    {{"Gift", "Regalo", "Geschenk", "Cadeau", "Подарунок", "Prezent"}},
    {{"Other", "Otro", "Sonstiges", "Autre", "Інше", "Inne"}},
    {{"Food", "Comida", "Essen", "Nourriture", "Їжа", "Jedzenie"}},
    {{"Transport", "Transporte", "Transport", "Transport", "Транспорт", "Transport"}},
    {{"Housing", "Vivienda", "Wohnen", "Logement", "Житло", "Mieszkanie"}},
    {{"Health", "Salud", "Gesundheit", "Santé", "Здоров'я", "Zdrowie"}},
    {{"Entertainment", "Entretenimiento", "Unterhaltung", "Divertissement", "Розваги", "Rozrywka"}},
    {{"Clothing", "Ropa", "Kleidung", "Vêtements", "Одяг", "Odzież"}},
    {{"Other", "Otro", "Sonstiges", "Autre", "Інше", "Inne"}},
}};

const CategoryNames *groupOfKey(const QString &key) {
    for (const CategoryNames &g : kGroups)
        if (key == QString::fromUtf8(g.names[0])) return &g;
    return nullptr;
}
} // namespace

FinanceStore &FinanceStore::shared() {
    return SharedObjects::get().of<FinanceStore>();
}

void FinanceStore::resetForTests() {
    SharedObjects::get().drop<FinanceStore>();
}

FinanceStore::FinanceStore(QObject *parent) : QObject(parent) {
    doc_.load(QString::fromLatin1(kFinances), decodeEntries);
}

std::vector<FinEntry> FinanceStore::entries(qint64 month, qint64 year) const {
    return entriesInDateOrder(this->entries(), month, year);
}

std::vector<FinEntry> FinanceStore::dayEntries(int day, int month, int year) const {
    const QString d = finDateStr(day, month, year);
    std::vector<FinEntry> out;
    std::copy_if(entries().begin(), entries().end(), std::back_inserter(out),
                 [&](const FinEntry &e) { return e.dateStr == d; });
    return out;
}

std::vector<FinEntry> FinanceStore::monthEntriesInStoredOrder(qint64 month, qint64 year) const {
    std::vector<FinEntry> out;
    std::copy_if(entries().begin(), entries().end(), std::back_inserter(out),
                 [&](const FinEntry &e) { return e.month == month && e.year == year; });
    return out;
}

double FinanceStore::income(qint64 month, qint64 year) const {
    return this->month(month, year).income;
}

double FinanceStore::expenses(qint64 month, qint64 year) const {
    return this->month(month, year).expenses;
}

void FinanceStore::save() {
    doc_.save();
}

void FinanceStore::changed() {
    save();
    Notifier::get().post(QString::fromLatin1(Notify::financesChanged), this);
}

bool FinanceStore::add(const FinEntry &entry) {
    if (!isValidAmount(entry.amount)) return false;
    doc_.append(entry);
    changed();
    return true;
}

void FinanceStore::remove(const QString &id) {
    doc_.eraseIf([&](const FinEntry &e) { return e.id == id; });
    changed();
}

bool FinanceStore::replaceAll(const std::vector<FinEntry> &entries) {
    std::vector<FinEntry> previous = this->entries();
    doc_.replace(entries);
    save();
    Prefs &prefs = Prefs::get();
    if (prefs.isFrozen() || !prefs.flush()) {
        // The new document never reached the disk: put the old one back, so what the page shows and
        // what a later commit writes is what the user had.
        doc_.replace(std::move(previous));
        save();
        return false;
    }
    Notifier::get().post(QString::fromLatin1(Notify::financesChanged), this);
    return true;
}

const QStringList &FinanceStore::incomeKeys() {
    static const QStringList k = {"Salary", "Freelance", "Investments", "Gift", "Other"};
    return k;
}

const QStringList &FinanceStore::expenseKeys() {
    static const QStringList k = {"Food",          "Transport", "Housing", "Health",
                                  "Entertainment", "Clothing",  "Other"};
    return k;
}

QString FinanceStore::normalizedKey(const QString &name) {
    for (const CategoryNames &g : kGroups)
        for (const char *n : g.names)
            if (name == QString::fromUtf8(n)) return QString::fromUtf8(g.names[0]);
    return name;
}

QString FinanceStore::displayForKey(const QString &keyOrName) {
    const CategoryNames *g = groupOfKey(normalizedKey(keyOrName));
    if (!g) return keyOrName;
    const int lang = int(L::lang()); // the table's columns follow the language case order
    return QString::fromUtf8(g->names[lang]);
}

QStringList FinanceStore::incomeCategoriesDisplay() {
    QStringList out;
    for (const QString &k : incomeKeys())
        out << displayForKey(k);
    return out;
}

QStringList FinanceStore::expenseCategoriesDisplay() {
    QStringList out;
    for (const QString &k : expenseKeys())
        out << displayForKey(k);
    return out;
}
