// SPDX-License-Identifier: MIT
/* Opens a reader and lists the tags in its field: inventory READER (a device path, COM name,
 * HID name or network address). */
#include <stdio.h>

#include <kvara.h>

int main(int argc, char** argv) {
    if (argc != 2) {
        fprintf(stderr, "usage: inventory READER\n");
        return 2;
    }
    const int handle = KvaraOpenPort(argv[1], 19200, KVARA_PARITY_NONE, 500);
    if (handle <= 0) {
        char why[256] = "";
        KvaraGetOpenError(why, sizeof why);
        fprintf(stderr, "cannot open %s: %s\n", argv[1], why);
        return 1;
    }
    unsigned char answer[100];
    int parameter = KVARA_INVENTORY_FIRST; /* a new inventory, then the next tag of it */
    for (;;) {
        const int n = KvaraInventory(handle, parameter, answer, sizeof answer);
        if (n < 0) {
            char text[256];
            KvaraErrorText(KvaraGetLastError(handle), text, sizeof text);
            fprintf(stderr, "inventory failed: %s\n", text);
            KvaraClosePort(handle);
            return 1;
        }
        if (n <= 3 || answer[0] == 0) {
            break;
        }
        for (int i = 3; i < n; ++i) {
            printf("%02X", answer[i]);
        }
        printf("\n");
        if (answer[0] <= 1) {
            break;
        }
        parameter = KVARA_INVENTORY_NEXT;
    }
    KvaraClosePort(handle);
    return 0;
}
