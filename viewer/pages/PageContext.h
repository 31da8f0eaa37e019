// What a tab page needs from the window it sits in: the viewer-wide state,
// the pages' model, the picture to show, the operator dialogs, and the main
// window's commands. The main window provides it; pages never reach the
// window itself. GUI thread only.
#pragma once

namespace qdx::viewer {

class DisplayImage;
class Interaction;
class PanelModel;
struct ViewerState;

class PageContext {
public:
    virtual ViewerState& state() = 0;
    virtual PanelModel& panels() = 0;
    virtual DisplayImage& displayImage() = 0;
    virtual Interaction& interaction() = 0;
    // The wide window shows every control group at once.
    virtual bool wide() const = 0;
    // A main-window command, as if its menu item had been chosen.
    virtual void runCommand(int command) = 0;
    // Something the menus and buttons depend on changed outside the pages'
    // model (a long command began or ended): the window shows its commands anew.
    virtual void commandStateChanged() = 0;

protected:
    ~PageContext() = default;
};

}  // namespace qdx::viewer
