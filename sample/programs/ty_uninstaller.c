/* uninstaller.exe of the sample build: it names itself and the arguments it
   was started with ("update" when a newer installer runs it) and removes
   nothing. */
#include <windows.h>

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR arguments, int show)
{
    char text[400];
    (void)instance;
    (void)previous;
    (void)show;
    wsprintfA(text, "Quenfold for Vexor for DOS 2.9 uninstaller (sample build)\n\nArguments: \"%.300s\"",
              arguments);
    MessageBoxA(NULL, text, "Tessaly Uninstaller", MB_OK | MB_ICONINFORMATION);
    return 0;
}
