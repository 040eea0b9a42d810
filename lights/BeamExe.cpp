// The light controller program: the main window, the about box and the setup dialog, then
// the message loop until the main window closes.
#include "classlib/Forms.h"
#include "lights/Unit1.h"
#include "lights/Unit2.h"
#include "lights/Unit3.h"
#include "win32/Win32.h"

int main() {
  Application->Initialize();
  Application->SetTitle("Beam FX");
  Application->CreateForm(Form1);
  Application->CreateForm(Form2);
  Application->CreateForm(Form3);
  // No task-bar button of its own: the window sits beside the player.
  ShowWindow(Application->Handle(), SW_HIDE);
  Application->Run();
  return 0;
}
