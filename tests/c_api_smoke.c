// SPDX-License-Identifier: MIT
/* The reader API from C: the header compiles as C, and the library works without C++ callers. */
#include <stdio.h>
#include <string.h>

#include "reader/kvara.h"

int main(void) {
    unsigned char buffer[8];
    char list[64];
    memset(buffer, 0, sizeof buffer);
    if (KvaraGetSdkVersion() != 119) {
        fprintf(stderr, "version %d\n", KvaraGetSdkVersion());
        return 1;
    }
    if (KvaraGetLastError(12345) != KVARA_ERROR_NO_PORT ||
        KvaraReadBank(12345, 1, 0, buffer, 8) != -1) {
        fprintf(stderr, "unknown handle accepted\n");
        return 1;
    }
    if (KvaraOpenPort(NULL, 19200, 0, 100) != -1 ||
        KvaraOpenPort("/dev/null", 19200, 0, -1) != -2) {
        fprintf(stderr, "bad open arguments accepted\n");
        return 1;
    }
    /* A port that does not open says why; a buffer too small for the reason gets nothing. */
    if (KvaraOpenPort("/dev/kvara-nowhere", 19200, KVARA_PARITY_NONE, 100) != -1 ||
        KvaraGetOpenError(list, (int)sizeof list) < 2 || strstr(list, "No such file") == NULL ||
        KvaraGetOpenError(list, 3) != 0 || KvaraGetOpenError(NULL, 100) != 0) {
        fprintf(stderr, "open error \"%s\"\n", list);
        return 1;
    }
    if (KvaraListComPorts(list, (int)sizeof list) < 1) {
        fprintf(stderr, "no list\n");
        return 1;
    }
    KvaraSetUiHooks(NULL);
    return 0;
}
