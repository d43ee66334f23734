/* Opens the first reader, prints its information and the SDK version. */
#include <stdio.h>

#include "Tessaro.h"

int main(void) {
    unsigned char sdk[3];
    GetSDKVersion(sdk);
    printf("Tessaro SDK %u.%u.%u\n", sdk[0], sdk[1], sdk[2]);

    int port = 0;
    if (OpenUSBPort(&port) != 0) {
        fprintf(stderr, "No reader attached: no HID device with vendor 0x%04X, product 0x%04X was found.\n",
                READER_VENDOR_ID, READER_PRODUCT_ID);
        return 1;
    }
    unsigned char address = 0xFF;
    unsigned char version[2], info[10];
    int rc = GetReaderInformation(&address, version, &info[0], &info[1], &info[2], &info[3],
                                  &info[4], &info[5], &info[6], &info[7], &info[8], &info[9], port);
    if (rc != 0) {
        fprintf(stderr, "The reader on port %d did not answer GetReaderInformation (code %d).\n", port, rc);
        CloseUSBPort(port);
        return 1;
    }
    printf("Reader on port %d, address 0x%02X\n", port, address);
    printf("  version   %u.%u\n", version[0], version[1]);
    printf("  scan time %u x 100 ms\n", info[5]);
    printf("  info      %02X %02X %02X %02X %02X | %02X %02X %02X %02X\n", info[0], info[1], info[2],
           info[3], info[4], info[6], info[7], info[8], info[9]);
    CloseUSBPort(port);
    return 0;
}
