#include "physics/PlayerLocal.h"

// the mouse events are not delivered to the world yet; until they are, a tick leaves
// the viewer in place
void PlayerLocal::Control(const TickInput* /*input*/) {}
