// SPDX-License-Identifier: MIT
/* Writes two words into the User memory of the one tag in the field and reads them back:
 * read_write READER. */
#include <stdio.h>
#include <string.h>

#include <kvara.h>

static int fail(int handle, const char* what) {
    char text[256];
    KvaraErrorText(KvaraGetLastError(handle), text, sizeof text);
    fprintf(stderr, "%s failed: %s\n", what, text);
    KvaraClosePort(handle);
    return 1;
}

int main(int argc, char** argv) {
    if (argc != 2) {
        fprintf(stderr, "usage: read_write READER\n");
        return 2;
    }
    const int handle = KvaraOpenPort(argv[1], 19200, KVARA_PARITY_NONE, 500);
    if (handle <= 0) {
        char why[256] = "";
        KvaraGetOpenError(why, sizeof why);
        fprintf(stderr, "cannot open %s: %s\n", argv[1], why);
        return 1;
    }
    const unsigned char data[4] = {0xCA, 0xFE, 0xBA, 0xBE};
    if (KvaraWriteBank(handle, KVARA_BANK_USER, 0, data, sizeof data) != 0) {
        return fail(handle, "write");
    }
    unsigned char back[4];
    if (KvaraReadBytes(handle, KVARA_BANK_USER, 0, back, sizeof back) != 4) {
        return fail(handle, "read");
    }
    printf("%02X%02X%02X%02X %s\n", back[0], back[1], back[2], back[3],
           memcmp(back, data, sizeof data) == 0 ? "ok" : "differs");
    KvaraClosePort(handle);
    return memcmp(back, data, sizeof data) == 0 ? 0 : 1;
}
