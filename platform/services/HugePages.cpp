#include "services/HugePages.h"
#include <cstdlib>
#if defined(__linux__) && defined(__GLIBC__)
#include <unistd.h>
#endif

void RestartWithHugePages(char **argv)
{
#if defined(__linux__) && defined(__GLIBC__)
    if (!argv || std::getenv("GLIBC_TUNABLES") || std::getenv("REC_SMALL_PAGES"))
        return;
    if (setenv("GLIBC_TUNABLES", "glibc.malloc.hugetlb=1:glibc.malloc.top_pad=67108864", 1) != 0)
        return;
    // The program's own path, so that it keeps its name among the processes.
    char path[4096];
    const ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
    if (n > 0) {
        path[n] = '\0';
        execv(path, argv);
    }
    // The program works the same without the restart, with small pages.
    unsetenv("GLIBC_TUNABLES");
#else
    (void)argv;
#endif
}
