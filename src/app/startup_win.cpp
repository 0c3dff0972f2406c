#include "app/startup_win.h"

#include "app/app_controller_win.h"
#include "app/main_form_win.h"
#include "gui/runtime_win.h"
#include "picture/imaging_service_win.h"

void RunControllerStartup() {
  InitControllerState();
  RegisterExitRoutine(ReleaseControllerState);
  // A failed start shows up later as pictures the batch cannot load, which
  // then go through the engine.
  StartImagingService();
  MainFormHandlers handlers;
  handlers.onWindowCreated = OnWindowCreated;
  handlers.onAlwaysOnTopClicked = OnAlwaysOnTopClicked;
  handlers.onFilesDropped = OnFilesDropped;
  handlers.onBatchConvertClicked = OnBatchConvertClicked;
  handlers.onSingleConvertClicked = OnSingleConvertClicked;
  LoadMainForm(handlers);
}
