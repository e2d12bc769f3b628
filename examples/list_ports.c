// SPDX-License-Identifier: MIT
/* Lists the serial ports, USB readers and network readers the reader library finds. */
#include <stdio.h>
#include <string.h>

#include <kvara.h>

static void print_list(const char* kind, const char* list) {
    for (const char* entry = list; *entry != '\0'; entry += strlen(entry) + 1) {
        printf("%s\t%s\n", kind, entry);
    }
}

int main(void) {
    static char buffer[65536];
    printf("libkvara %d.%d.%d\n", KVARA_VERSION_MAJOR, KVARA_VERSION_MINOR, KVARA_VERSION_PATCH);
    if (KvaraListComPorts(buffer, sizeof buffer) > 0) {
        print_list("com", buffer);
    }
    if (KvaraListUsbDevices(buffer, sizeof buffer) > 0) {
        print_list("usb", buffer);
    }
    return 0;
}
