#pragma once

// Loads the main window with no handlers bound, so the program starts into
// its window until the controller's start-up sequence takes over.
void LoadMainWindowForNow();
