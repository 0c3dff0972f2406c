// Temporary start-up: the main window without handlers.

#include "app/startup_win.h"

#include "gui/form_ids_win.h"
#include "gui/form_window_win.h"

void LoadMainWindowForNow() {
  LoadStartWindow(kMainWindowId, FormHandlers{});
}
