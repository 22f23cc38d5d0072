// Entry point of Kestrune.exe: everything happens in runApplication.
#include "shell/shell.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int)
{
    return runApplication(instance);
}
