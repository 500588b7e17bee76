#pragma once
// Notes in the stored document's form, for the tests of its codec and of the store that writes it.
#include "notes/Note.h"
#include <QByteArray>

// A text note with every field set and fixed stamps.
inline Note stampedNote(const QString &id) {
    Note n;
    n.id = id;
    n.type = NoteType::text;
    n.emoji = QStringLiteral("📝");
    n.title = QStringLiteral("Hi");
    n.body = QStringLiteral("b");
    n.createdInterval = 788918400;
    n.modifiedInterval = 788918400.5;
    return n;
}

// One note object with every required member. replace is "key=value" (value DROP takes the member
// out); extra is spliced in before the closing brace.
inline QByteArray noteJson(const QByteArray &replace = {}, const QByteArray &extra = {}) {
    QByteArray o =
        "{\"id\":\"A\",\"type\":\"text\",\"emoji\":\"e\",\"title\":\"t\",\"body\":\"b\",\"link\":\"l\","
        "\"columns\":[{\"id\":\"C\",\"title\":\"c\"}],\"rows\":[],\"createdInterval\":1,\"modifiedInterval\":"
        "2.5";
    if (!replace.isEmpty()) {
        const qsizetype eq = replace.indexOf('=');
        const QList<QByteArray> parts{replace.left(eq), replace.mid(eq + 1)};
        const QByteArray key = '"' + parts[0] + "\":";
        const qsizetype at = o.indexOf(key);
        Q_ASSERT(at >= 0);
        qsizetype end = at + key.size();
        int depth = 0;
        for (; end < o.size(); ++end) {
            const char c = o[end];
            if (c == '[' || c == '{') ++depth;
            if (c == ']' || c == '}') --depth;
            if (depth == 0 && c == ',') break;
        }
        o = parts.size() > 1 && parts[1] == "DROP" ? o.left(at) + o.mid(end + 1)
                                                   : o.left(at) + key + parts[1] + o.mid(end);
    }
    return o + extra + '}';
}
