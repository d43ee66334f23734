/* A program written against the installed SDK, as an application would be:
 * it checks that the library it runs with is the one its headers and its
 * build system name (TESSARO_FOUND_VERSION: what pkg-config or the CMake
 * package found), then inventories three tags on a simulated reader.
 * Exits with 0 when all three tags were read. */
#include <stdio.h>
#include <string.h>

#include <Tessaro.h>
#include <TessaroRecords.h>
#include <TessaroSim.h>

static const char *const population =
    "gen2 epc=300833B2DDD9014000000001 antenna=1 rssi=-40\n"
    "gen2 epc=300833B2DDD9014000000002 antenna=2 rssi=-50\n"
    "gen2 epc=300833B2DDD9014000000003 antenna=3 rssi=-60\n";

static int inventory(void) {
    static unsigned char list[EPC_LIST_MAX_BYTES];
    const unsigned char mask[2] = {0, 0};
    unsigned char address = 0xFF, antenna = 0;
    int port = 0, totalLength = 0, tagCount = 0, offset = 0, read = 0;
    TessaroTagRecord record;
    if (OpenUSBPort(&port) != 0) {
        fprintf(stderr, "consumer: OpenUSBPort found no reader\n");
        return -1;
    }
    int rc = Inventory_G2(&address, 4, 0, 1, mask, 0, mask, 0, 0, 0, 0, 0, 0, 0, 0, list, &antenna,
                          &totalLength, &tagCount, port);
    while (TessaroNextTagRecord(list, totalLength, &offset, &record) == 1) {
        printf("tag ");
        for (int i = 0; i < record.epcLength; ++i) printf("%02X", record.epc[i]);
        printf(" antenna %d\n", record.antenna);
        ++read;
    }
    CloseUSBPort(port);
    printf("Inventory_G2: code %d, %d tags\n", rc, read);
    return read;
}

int main(void) {
    unsigned char v[3] = {0, 0, 0};
    char version[16];
    GetSDKVersion(v);
    snprintf(version, sizeof version, "%u.%u.%u", v[0], v[1], v[2]);
    printf("library %s, headers %d.%d.%d, build system %s\n", version, TESSARO_VERSION_MAJOR,
           TESSARO_VERSION_MINOR, TESSARO_VERSION_PATCH, TESSARO_FOUND_VERSION);
    if (v[0] != TESSARO_VERSION_MAJOR || v[1] != TESSARO_VERSION_MINOR || v[2] != TESSARO_VERSION_PATCH ||
        strcmp(TESSARO_FOUND_VERSION, version) != 0) {
        fprintf(stderr, "consumer: the versions differ\n");
        return 1;
    }

    char error[256] = "";
    TessaroSim *sim = TessaroSimCreate(TESSARO_SIM_VIRTUAL_CLOCK);
    int reader = sim ? TessaroSimAddReader(sim) : -1;
    if (reader < 0 || TessaroSimLoadPopulationText(sim, reader, population, error, sizeof error) != 3 ||
        TessaroSimInstall(sim) != 0) {
        fprintf(stderr, "consumer: simulated reader not set up: %s\n", error);
        TessaroSimDestroy(sim);
        return 1;
    }
    int read = inventory();
    TessaroSimDestroy(sim);
    return read == 3 ? 0 : 1;
}
