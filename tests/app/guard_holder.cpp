// Holds the instance guard named on the command line until its standard input closes, so that a
// test can see a second process being refused. Prints "1" once it holds the guard, "0" if not.
#include <unistd.h>

#include <cstdio>

#include "platform/instance_guard.h"

int main(int argc, char** argv) {
    if (argc < 2)
        return 2;
    vidora::InstanceGuard guard(argv[1]);
    bool held = guard.acquire() == vidora::InstanceGuard::Claim::Acquired;
    std::printf("%d\n", held ? 1 : 0);
    std::fflush(stdout);
    char c;
    while (::read(0, &c, 1) > 0) {
    }
    return 0;
}
