/* Tessaly Quenfold.exe, the product's main program, as the sample build
   carries it: it names itself and the arguments it was started with, so a
   shortcut or the installer's last page can be seen to start it right. */
#include <windows.h>

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR arguments, int show)
{
    char text[400];
    (void)instance;
    (void)previous;
    (void)show;
    wsprintfA(text, "Tessaly Quenfold 2.9 (sample build)\n\nArguments: \"%.300s\"", arguments);
    MessageBoxA(NULL, text, "Tessaly Quenfold", MB_OK | MB_ICONINFORMATION);
    return 0;
}
