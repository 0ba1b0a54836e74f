// The Windows program: the pet on the Win32 platform layer.
#include "platform/win32/win_api.h"
#include <commctrl.h>
#include <objbase.h>

#include "app/program.h"
#include "platform/win32/win32_platform.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
  // Version 6 of the common controls (the manifest asks for them) gives the
  // panel's buttons the look of the running Windows.
  INITCOMMONCONTROLSEX controls{sizeof controls, ICC_STANDARD_CLASSES};
  InitCommonControlsEx(&controls);
  // The shell may hand the web address to a COM handler.
  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);

  guizzolo::win32::Win32Platform platform(instance);
  guizzolo::Program program(platform);
  platform.onSessionEnd([&program] { program.EndSession(); });
  program.Start();

  // The program ends through Platform::end(); the loop itself runs for ever.
  MSG message;
  while (GetMessageW(&message, nullptr, 0, 0) > 0) {
    if (platform.dialogMessage(message)) continue;
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  return 0;
}
