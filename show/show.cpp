#include "show/show.h"

namespace quor {

Show::Show(ShowHost& engine)
    : scenes_(engine.console()),
      chases_(engine.console()),
      player_(engine, chases_),
      sceneList_(engine, scenes_, chases_, player_),
      editor_(engine, scenes_, chases_, player_, sceneList_),
      chaseList_(engine, scenes_, chases_, player_, editor_) {
  scenes_.AnnounceTo(&engine.changes());
  chases_.AnnounceTo(&engine.changes());
  player_.SetHooks({.selectScene = [this](int index) { sceneList_.ShowSelection(index); },
                    .stopped = [this] { chaseList_.OnPlayerStopped(); }});
}

}  // namespace quor
