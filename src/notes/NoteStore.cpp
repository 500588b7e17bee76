#include "notes/NoteStore.h"

#include "platform/Clock.h"
#include "platform/Keys.h"
#include "platform/Notifier.h"
#include <algorithm>
#include <memory>

namespace {
std::unique_ptr<NoteStore> g_shared;
} // namespace

NoteStore &NoteStore::shared() {
    if (!g_shared) g_shared = std::make_unique<NoteStore>();
    return *g_shared;
}

void NoteStore::resetForTests() {
    g_shared.reset();
}

NoteStore::NoteStore(QObject *parent) : QObject(parent) {
    notes_ = loadDocument<std::vector<Note>>(QString::fromLatin1(kNotes), decodeNotes, &load_);
}

const Note *NoteStore::find(const QString &id) const {
    auto it = std::find_if(notes_.begin(), notes_.end(), [&](const Note &n) { return n.id == id; });
    return it == notes_.end() ? nullptr : &*it;
}

Note *NoteStore::first(const QString &id) {
    return const_cast<Note *>(std::as_const(*this).find(id));
}

void NoteStore::save() {
    saveDocument(QString::fromLatin1(kNotes), encodeNotes(notes_));
}

void NoteStore::changed() {
    save();
    Notifier::get().post(QString::fromLatin1(Notify::notesChanged), this);
}

void NoteStore::add(const Note &note) {
    notes_.push_back(note);
    changed();
}

void NoteStore::update(const Note &note) {
    Note *n = first(note.id);
    if (!n) return;
    *n = note;
    n->modifiedInterval = Clock::get().refSeconds();
    changed();
}

void NoteStore::remove(const QString &id) {
    std::erase_if(notes_, [&](const Note &n) { return n.id == id; });
    changed();
}

void NoteStore::replaceAll(const std::vector<Note> &notes) {
    notes_ = notes;
    changed();
}
