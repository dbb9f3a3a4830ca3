#include <cstdio>

int main()
{
    std::puts("Quarb's File Splitter: the window is not built yet; the engine and its tests are.");
    return 0;
}
