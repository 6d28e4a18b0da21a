// Takes a companion's place for the host: runs until the host that started
// it ("--companion-of PID") ends, or a minute has passed.
#include <windows.h>

#include <cstdlib>
#include <cstring>

int main(int argc, char** argv) {
    for (int i = 1; i + 1 < argc; ++i)
        if (strcmp(argv[i], "--companion-of") == 0) {
            HANDLE host = OpenProcess(SYNCHRONIZE, FALSE, strtoul(argv[i + 1], nullptr, 10));
            if (host) WaitForSingleObject(host, 60000);
        }
    return 0;
}
