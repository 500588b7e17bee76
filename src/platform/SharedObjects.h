#pragma once
#include "platform/StoreLoader.h"
#include <QObject>
#include <memory>
#include <typeinfo>
#include <vector>

// The one owner of the process's shared objects: the store loader and the stores. A store is created
// on its first use (the app creates them all at launch) and every one is freed at quit (freeAll(), at
// the app's end, or this owner's end at exit), newest first. The loader is built before any store and
// freed after the last, so a store going away always finds the loader that loads it, and no load
// outlives its store. Main thread only.
class SharedObjects {
public:
    static SharedObjects &get();

    StoreLoader &loader() { return loader_; }

    // The shared T, created on first use. T derives from QObject and has a default constructor
    // (a private one when T befriends this class).
    template <class T> T &of() {
        if (QObject *o = find(typeid(T))) return *static_cast<T *>(o);
        T *made = new T;
        objects_.push_back({&typeid(T), std::unique_ptr<QObject>(made)});
        return *made;
    }
    // Frees the shared T, if any; the next of<T>() makes a new one (tests: load again).
    template <class T> void drop() { drop(typeid(T)); }
    // Frees every shared object, newest first, and waits for the work they dropped that a worker had
    // already started: once this returns no worker runs. The loader stays (idle) for whatever comes
    // after. Also runs when the application object goes, for a process that ends without freeing.
    void freeAll();

private:
    struct Entry {
        const std::type_info *type;
        std::unique_ptr<QObject> object;
    };
    SharedObjects();
    ~SharedObjects();
    QObject *find(const std::type_info &type) const;
    void drop(const std::type_info &type);

    StoreLoader loader_;         // first: built before and freed after every object below
    std::vector<Entry> objects_; // in the order they were made
};
