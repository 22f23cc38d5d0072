// Child of the kill test: saves generation after generation into a data folder until it is killed.
// Usage: persistence_save_loop <data folder> <mapping name> <first generation>
#include "persistence/persistence.h"
#include "persistence_kill_support.h"

#include <windows.h>

#include <cwchar>

int wmain(int argc, wchar_t** argv)
{
    if (argc != 4)
        return 2;
    HANDLE mapping = OpenFileMappingW(FILE_MAP_WRITE, FALSE, argv[2]);
    if (!mapping)
        return 3;
    auto* record = static_cast<SaveLoopRecord*>(MapViewOfFile(mapping, FILE_MAP_WRITE, 0, 0, sizeof(SaveLoopRecord)));
    if (!record)
        return 3;
    const std::wstring path = joinPath(argv[1], L"library.json");
    for (std::int64_t generation = std::wcstoll(argv[3], nullptr, 10);; ++generation) {
        const Library library = killTestLibrary(generation);
        record->started = generation;
        MemoryBarrier();
        if (!storeLibrary(library, path))
            return 4;
        MemoryBarrier();
        record->completed = generation;
    }
}
