/* Preloaded into the wineserver, which carries out the binds of Windows
 * programs under Wine: fails IPv4 binds with EADDRINUSE while the number in
 * the file named by MARIVEL_BIND_CONTROL is above zero, counting it down. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <netinet/in.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/socket.h>

static int take_one_failure(void) {
    const char *path = getenv("MARIVEL_BIND_CONTROL");
    FILE *control = path ? fopen(path, "r+") : NULL;
    int left = 0;
    if (!control) return 0;
    if (fscanf(control, "%d", &left) == 1 && left > 0) {
        rewind(control);
        fprintf(control, "%d          \n", left - 1);
    }
    fclose(control);
    return left > 0;
}

int bind(int fd, const struct sockaddr *address, socklen_t length) {
    static int (*real_bind)(int, const struct sockaddr *, socklen_t);
    if (!real_bind) real_bind = (int (*)(int, const struct sockaddr *, socklen_t))dlsym(RTLD_NEXT, "bind");
    if (address && address->sa_family == AF_INET && take_one_failure()) {
        errno = EADDRINUSE;
        return -1;
    }
    return real_bind(fd, address, length);
}
