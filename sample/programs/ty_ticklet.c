/* Tessaly Ticklet.exe, the product's scheduler, as the sample build
   carries it: it names itself and the arguments it was started with. */
#include <windows.h>

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR arguments, int show)
{
    char text[400];
    (void)instance;
    (void)previous;
    (void)show;
    wsprintfA(text, "Tessaly Ticklet 2.9 (sample build)\n\nArguments: \"%.300s\"", arguments);
    MessageBoxA(NULL, text, "Tessaly Ticklet", MB_OK | MB_ICONINFORMATION);
    return 0;
}
