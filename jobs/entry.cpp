// Process entry. Started without arguments the program will show its main
// window; started with paths it will open the encryption or decryption
// dialog for them. Until those windows exist, the entry only exits.
#include <windows.h>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) { return 1; }
