#include "platform/LongText.h"

#include "platform/RecordJson.h"
#include "ui/Lang.h"
#include <algorithm>
#include <vector>

namespace LongText {
namespace {
// The UTF-16 length of UTF-8 text: one unit per character, two for one beyond the first plane.
qsizetype utf16Length(std::string_view s) {
    qsizetype n = 0;
    for (const char c : s) {
        const auto b = static_cast<unsigned char>(c);
        if ((b & 0xC0) != 0x80) ++n;
        if (b >= 0xF0) ++n;
    }
    return n;
}

bool longer(std::string_view s, qsizetype max) {
    return qsizetype(s.size()) > max && utf16Length(s) > max; // never fewer bytes than units
}
} // namespace

std::optional<Found> find(const QByteArray &bytes, std::span<const std::string_view> exempt, qsizetype max) {
    const auto parsed = RecordJson::Parsed::parse(bytes);
    if (!parsed) return std::nullopt;
    // Where a value sits: the member names leading to it, as a chain of nodes.
    struct Node {
        std::string_view name;
        int parent;
    };
    struct Step {
        RecordJson::Value value;
        int node;       // the member it is the value of (or an element of); -1 at the top
        qsizetype item; // the record it belongs to
    };
    std::vector<Node> nodes;
    std::vector<Step> todo;
    auto foundAt = [&nodes](int node, qsizetype item) {
        QStringList names;
        for (int n = node; n >= 0; n = nodes[size_t(n)].parent)
            names.prepend(
                QString::fromUtf8(nodes[size_t(n)].name.data(), qsizetype(nodes[size_t(n)].name.size())));
        return Found{names.join(QStringLiteral(" › ")), item};
    };
    const bool list = parsed->isArray();
    if (list) {
        // The records, first to last.
        simdjson::dom::array a = parsed->root().get_array().value_unsafe();
        std::vector<RecordJson::Value> records(a.begin(), a.end());
        for (size_t i = records.size(); i-- > 0;)
            todo.push_back({records[i], -1, qsizetype(i) + 1});
    } else {
        todo.push_back({parsed->root(), -1, 0});
    }
    while (!todo.empty()) {
        const Step s = todo.back();
        todo.pop_back();
        std::string_view text;
        simdjson::dom::object object;
        simdjson::dom::array array;
        if (s.value.get_string().get(text) == simdjson::SUCCESS) {
            if (longer(text, max)) return foundAt(s.node, s.item);
        } else if (s.value.get_object().get(object) == simdjson::SUCCESS) {
            // Members in reverse, so that the first one is looked at first.
            std::vector<simdjson::dom::key_value_pair> members(object.begin(), object.end());
            for (auto m = members.rbegin(); m != members.rend(); ++m) {
                if (std::find(exempt.begin(), exempt.end(), m->key) != exempt.end()) continue;
                nodes.push_back({m->key, s.node});
                todo.push_back({m->value, int(nodes.size()) - 1, s.item});
            }
        } else if (s.value.get_array().get(array) == simdjson::SUCCESS) {
            std::vector<RecordJson::Value> elements(array.begin(), array.end());
            for (auto e = elements.rbegin(); e != elements.rend(); ++e)
                todo.push_back({*e, s.node, s.item});
        }
    }
    return std::nullopt;
}

QString message(const Found &f) {
    const QString field = f.field, limit = QString::number(kMaxChars);
    if (f.item > 0)
        return L::t({.en = "Nothing was imported: “%1” in item %2 holds more than %3 characters.",
                     .es = "No se importó nada: «%1» del elemento %2 tiene más de %3 caracteres.",
                     .de = "Nichts wurde importiert: „%1“ in Eintrag %2 hat mehr als %3 Zeichen.",
                     .fr = "Rien n'a été importé : « %1 » de l'élément %2 contient plus de %3 caractères.",
                     .uk = "Нічого не імпортовано: «%1» у записі %2 містить понад %3 символів.",
                     .pl = "Nic nie zaimportowano: „%1” w pozycji %2 ma ponad %3 znaków."})
            .arg(field, QString::number(f.item), limit);
    return L::t({.en = "Nothing was imported: “%1” holds more than %2 characters.",
                 .es = "No se importó nada: «%1» tiene más de %2 caracteres.",
                 .de = "Nichts wurde importiert: „%1“ hat mehr als %2 Zeichen.",
                 .fr = "Rien n'a été importé : « %1 » contient plus de %2 caractères.",
                 .uk = "Нічого не імпортовано: «%1» містить понад %2 символів.",
                 .pl = "Nic nie zaimportowano: „%1” ma ponad %2 znaków."})
        .arg(field, limit);
}
} // namespace LongText
