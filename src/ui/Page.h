#pragma once
#include <QWidget>

// A page of the main window. The page switcher creates it once and keeps it for the whole process.
// setup() builds its view tree (again after every theme or font-scale change, once clearContent() has
// emptied it); rebuild() redraws it from the stores. Redraws are requested, never run directly:
// requests are merged into one queued run, held while a drag or a modal dialog is running (one opened
// outside every page under an OutsidePagesGuard excepted) or while a
// store is still loading its document at launch (StoreLoader: a loading store is never drawn as
// empty), and skipped while the page is not shown (it redraws when it is shown again). So a redraw
// never deletes the widget whose click handler asked for it.
//
// Redraw only what changed. A rebuild is for a change of structure (rows added or removed, a phase
// change, another selection, the language, theme or font size). Per-second beats (pomodoroChanged,
// healthChanged) and animation frames update the labels that show the changing figures in place:
// keep pointers to them, compare what the beat changes with what the page shows, and request a
// rebuild only when something other than those figures differs. A list whose length follows user
// data costs what is visible (painted rows or a model/view list), not the length of the store.
// Build labels and buttons with the kit's makers (ui/Makers.h): their texts elide with "…" instead of
// losing glyphs, and the render test checks every page for cut texts in every language and scale.
class Page : public QWidget {
    Q_OBJECT
public:
    explicit Page(QWidget *parent = nullptr);

    virtual void setup() {}
    // Put in place by the page switcher: redraw from the current data and language.
    virtual void refresh() { requestRebuild(); }

    void requestRebuild();
    // Removes every child widget (hidden at once, deleted later).
    void clearContent();
    // Fills the background with the current theme's page colour.
    void applyBackground();

    bool rebuildPending() const { return queued_ || dirty_; }
    int rebuildCount() const { return rebuilds_; }

    // Drags hold redraws: wrap QDrag::exec in a DragGuard.
    struct DragGuard {
        DragGuard();
        ~DragGuard();
    };
    static bool dragInProgress();

    // A modal alert opened from outside every page (a notice at start, shown before the window was
    // opened from the tray): no page's click handler waits under it, so the pages may redraw behind it
    // and are not left blank until it is answered. Wrap the call that runs it in one of these.
    struct OutsidePagesGuard {
        OutsidePagesGuard();
        ~OutsidePagesGuard();
    };

protected:
    virtual void rebuild() {}
    void showEvent(QShowEvent *e) override;

private:
    void runQueued();
    bool queued_ = false;
    bool dirty_ = false;
    bool waitingForStores_ = false;
    int rebuilds_ = 0;
};
