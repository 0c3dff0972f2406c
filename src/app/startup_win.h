#pragma once

// The controller's start-up sequence, run once on the GUI thread after the
// runtime has started: controller state, its exit routine, the imaging
// service and the main window with the controller's handlers.
void RunControllerStartup();
