/*
 * Tessaro - decoding the tag records inside an EPC-ID list.
 *
 * Inventory_G2, Fast_EPC_Inventory_G2 and ReadBuffer_G2 hand over an EPC-ID
 * list: the tag records of the reader's answer frames, back to back. The
 * library passes the list on unchanged; this header reads it. One record:
 *
 *   offset        size  field
 *   0             1     N: number of bytes that follow in this record (E + T + 3)
 *   1             1     E: EPC length in bytes
 *   2             E     EPC
 *   2 + E         T     TID bytes (T = N - E - 3; 0 unless the inventory asked
 *                       for the TID)
 *   2 + E + T     1     RSSI in dBm, as a signed byte (0xC6 = -58 dBm)
 *   3 + E + T     1     antenna number, 1 to 4
 *
 * Each record carries its own antenna because the library joins the answer
 * frames and keeps only the last frame's antenna byte.
 *
 * The functions are static inline; TessaroCNames.h exports the same decoder
 * (TessaroDecodeTagRecord, TessaroDecodeTagRecordCount) for callers that
 * reach the library through its exported names only, such as ctypes.
 *
 *   int offset = 0;
 *   TessaroTagRecord record;
 *   while (TessaroNextTagRecord(list, totalLength, &offset, &record) == 1)
 *       ... record.epc, record.epcLength, record.rssi, record.antenna ...
 */
#ifndef TESSARO_RECORDS_H
#define TESSARO_RECORDS_H

#ifdef __cplusplus
extern "C" {
#endif

/* Bytes of a record besides its EPC and TID: N, E, RSSI, antenna. */
#define TESSARO_RECORD_OVERHEAD 4

typedef struct TessaroTagRecord {
    const unsigned char *epc; /* points into the list */
    int epcLength;            /* bytes */
    const unsigned char *tid; /* points into the list; NULL when tidLength is 0 */
    int tidLength;            /* bytes */
    int rssi;                 /* dBm, -128 to 127 */
    int antenna;              /* 1 to 4 */
} TessaroTagRecord;

/* Decodes the record that starts at *offset in `list`.
 *   list     [in]  the EPC-ID list; may be NULL when length is 0
 *   length   [in]  its length in bytes (totalLength of the command)
 *   offset   [in,out] where the record starts; on success moved past it
 *   record   [out] the record's fields; pointers point into `list`
 * Returns 1 when a record was decoded, 0 at the end of the list (*offset equal
 * to length), -1 when the bytes at *offset do not form a whole record (the list
 * is cut short or its lengths disagree); *offset and *record are left
 * untouched then. Reads nothing outside list[0 .. length - 1]. */
static inline int TessaroNextTagRecord(const unsigned char *list, int length, int *offset,
                                       TessaroTagRecord *record) {
    int at, size, epcLength, tidLength;
    if (!offset || !record || length < 0) return -1;
    at = *offset;
    if (at == length) return 0;
    if (!list || at < 0 || at > length) return -1;
    if (length - at < TESSARO_RECORD_OVERHEAD) return -1;
    size = list[at];              /* bytes after N */
    epcLength = list[at + 1];
    if (size + 1 > length - at) return -1;
    tidLength = size - epcLength - 3;
    if (tidLength < 0) return -1;
    record->epc = list + at + 2;
    record->epcLength = epcLength;
    record->tid = tidLength > 0 ? list + at + 2 + epcLength : (const unsigned char *)0;
    record->tidLength = tidLength;
    record->rssi = list[at + 2 + epcLength + tidLength];
    if (record->rssi > 127) record->rssi -= 256;
    record->antenna = list[at + 3 + epcLength + tidLength];
    *offset = at + size + 1;
    return 1;
}

/* Counts the whole records of a list; -1 when the list does not decode to the
 * end. */
static inline int TessaroCountTagRecords(const unsigned char *list, int length) {
    int offset = 0, count = 0, result;
    TessaroTagRecord record;
    while ((result = TessaroNextTagRecord(list, length, &offset, &record)) == 1) ++count;
    return result == 0 ? count : -1;
}

#ifdef __cplusplus
}
#endif

#endif /* TESSARO_RECORDS_H */
