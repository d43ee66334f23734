/* The main job on a reader: open it, print its information, inventory the
 * Gen2 tags in its field as a table of EPCs with antenna and RSSI, and read
 * the TID bank of the first tag.
 *
 *   tessaro-demo                      the first reader on the USB bus
 *   tessaro-demo --sim POPULATION     a simulated reader on the real clock,
 *                                     its field filled from a population file
 */
#include <stdio.h>
#include <string.h>

#include "Tessaro.h"
#include "TessaroRecords.h"
#include "TessaroSim.h"

/* Installs a simulated reader whose field holds the tags of `population`. */
static TessaroSim *startSimulator(const char *population) {
    char error[256] = "";
    TessaroSim *sim = TessaroSimCreate(TESSARO_SIM_REAL_CLOCK);
    int reader = sim ? TessaroSimAddReader(sim) : -1;
    int tags = reader >= 0 ? TessaroSimLoadPopulation(sim, reader, population, error, sizeof error) : -1;
    if (tags < 0 || TessaroSimInstall(sim) != 0) {
        fprintf(stderr, "Cannot start the simulated reader: %s\n", error[0] ? error : "out of memory");
        TessaroSimDestroy(sim);
        return NULL;
    }
    printf("Simulated reader with %d tags from %s\n", tags, population);
    return sim;
}

static void printHex(const unsigned char *bytes, int length) {
    for (int i = 0; i < length; ++i) printf("%02X", bytes[i]);
}

static int printInformation(unsigned char *address, int port) {
    unsigned char version[2], info[10];
    int rc = GetReaderInformation(address, version, &info[0], &info[1], &info[2], &info[3], &info[4],
                                  &info[5], &info[6], &info[7], &info[8], &info[9], port);
    if (rc != 0) {
        fprintf(stderr, "The reader on port %d did not answer GetReaderInformation (code %d).\n", port, rc);
        return rc;
    }
    printf("Reader on port %d, address 0x%02X\n", port, *address);
    printf("  version    %u.%u, type 0x%02X\n", version[0], version[1], info[0]);
    printf("  region     %02X %02X (region bits and channel range)\n", info[2], info[3]);
    printf("  RF power   %u dBm\n", info[4]);
    printf("  scan time  %u x 100 ms\n", info[5]);
    printf("  antennas   0x%02X\n", info[6]);
    return 0;
}

/* Inventories the Gen2 tags and prints them; copies the first EPC to `first`
 * (its length to *firstLength, 0 when no tag answered). */
static int printInventory(unsigned char *address, int port, unsigned char *first, int *firstLength) {
    static unsigned char list[EPC_LIST_MAX_BYTES];
    const unsigned char maskAddress[2] = {0, 0};
    unsigned char antenna = 0;
    int totalLength = 0, tagCount = 0, offset = 0, row = 0;
    TessaroTagRecord record;
    int rc = Inventory_G2(address, 4, 0, 1, maskAddress, 0, maskAddress, 0, 0, 0, 0, 0, 0, 0, 0, list,
                          &antenna, &totalLength, &tagCount, port);
    *firstLength = 0;
    if (rc != 1 && rc != 2) {
        printf("Inventory: no tags (code %d)\n", rc);
        return rc;
    }
    printf("\nInventory: %d tags\n", tagCount);
    printf("  %-3s %-26s %-8s %s\n", "#", "EPC", "Antenna", "RSSI");
    while (TessaroNextTagRecord(list, totalLength, &offset, &record) == 1) {
        printf("  %-3d ", ++row);
        printHex(record.epc, record.epcLength);
        printf("%*s %-8d %d dBm\n", 26 - 2 * record.epcLength, "", record.antenna, record.rssi);
        if (row == 1 && record.epcLength <= 62) {
            memcpy(first, record.epc, (size_t)record.epcLength);
            *firstLength = record.epcLength;
        }
    }
    return 0;
}

/* Reads the first six words of a tag's TID bank, the tag named by its EPC. */
static void printTid(unsigned char *address, int port, const unsigned char *epc, int epcLength) {
    const unsigned char password[4] = {0, 0, 0, 0};
    unsigned char tid[12];
    int errorCode = 0;
    int rc = ReadData_G2(address, epc, epcLength / 2, 2, 0, 6, password, 0, NULL, 0, NULL, tid,
                         &errorCode, port);
    printf("\nTID bank of ");
    printHex(epc, epcLength);
    if (rc == 0) {
        printf(": ");
        printHex(tid, (int)sizeof tid);
        printf("\n");
    } else {
        printf(": not read (code %d, tag error %d)\n", rc, errorCode);
    }
}

int main(int argc, char **argv) {
    TessaroSim *sim = NULL;
    unsigned char sdk[3];
    GetSDKVersion(sdk);
    printf("Tessaro SDK %u.%u.%u\n", sdk[0], sdk[1], sdk[2]);

    if (argc == 3 && strcmp(argv[1], "--sim") == 0) {
        if (!(sim = startSimulator(argv[2]))) return 1;
    } else if (argc != 1) {
        fprintf(stderr, "usage: %s [--sim POPULATION]\n", argv[0]);
        return 2;
    }

    int port = 0;
    if (OpenUSBPort(&port) != 0) {
        fprintf(stderr, "No reader attached: no HID device with vendor 0x%04X, product 0x%04X was found.\n",
                READER_VENDOR_ID, READER_PRODUCT_ID);
        TessaroSimDestroy(sim);
        return 1;
    }
    unsigned char address = 0xFF;
    unsigned char firstEpc[62];
    int firstLength = 0;
    int rc = printInformation(&address, port);
    if (rc == 0) printInventory(&address, port, firstEpc, &firstLength);
    if (firstLength > 0) printTid(&address, port, firstEpc, firstLength);
    CloseUSBPort(port);
    TessaroSimDestroy(sim);
    return rc == 0 ? 0 : 1;
}
