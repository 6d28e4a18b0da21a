// Takes the 32-bit companion's place in the host's tests: runs until its
// host ("--companion-of PID") ends, a minute at most.
#include <windows.h>
#include <cstdlib>

int main(int argc, char** argv) {
    HANDLE host = argc == 3 ? OpenProcess(SYNCHRONIZE, FALSE, strtoul(argv[2], nullptr, 10)) : nullptr;
    if (host) WaitForSingleObject(host, 60000);
}
