// A program with one load-time import that is not a KnownDLL, for the import check to refuse.
#include <windows.h>
#include <uxtheme.h>

int main()
{
    return IsThemeActive() ? 0 : 1;
}
