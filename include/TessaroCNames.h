/*
 * Tessaro - C names for the functions of Tessaro.h that keep C++ linkage,
 * and the tag-record decoder as exported functions.
 *
 * The transfer, CRC and collector functions of Tessaro.h are exported under
 * compiler-decorated names (their parameter types are part of the name), which
 * only a C++ caller of the same compiler family can reach. Each has a companion
 * here with C linkage, the same parameters and the same contract; it forwards
 * to the original, so both always behave alike. Callers from C, Python
 * (ctypes), C#, Rust, Go or an MSVC-built program use these names.
 *
 * TessaroDecodeTagRecord and TessaroDecodeTagRecordCount are the decoder of
 * TessaroRecords.h (TessaroNextTagRecord, TessaroCountTagRecords) as exported
 * functions, for callers that cannot compile a header's inline functions.
 */
#ifndef TESSARO_CNAMES_H
#define TESSARO_CNAMES_H

#include "TessaroRecords.h"
#include "TessaroTypes.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Sends `length` bytes of `data` as one 64-byte report, as SendDataToPort.
 *   data [in] `length` bytes; length at most 62 for a data report
 * Returns 1 when the whole report was written, 0 otherwise. */
TESSARO_API int TESSARO_CALL TessaroSendDataToPort(unsigned char *data, unsigned int length,
                                                   int portIndex);

/* Collects one answer frame, as GetDataFromPort.
 *   response       [out] RESPONSE_BUFFER_SIZE (6000) bytes
 *   responseLength [in,out] in: non-zero for the 2000 ms bound; out: frame length
 * Returns 0, ERR_PORT_CLOSED or ERR_COMM. */
TESSARO_API int TESSARO_CALL TessaroGetDataFromPort(unsigned char *response, int *responseLength,
                                                    int portIndex);

/* Collects a streamed inventory answer, as GetInventoryDataFromPort1.
 *   response [out] RESPONSE_BUFFER_SIZE bytes; responseLength [out] its length
 * Returns 0, ERR_PORT_CLOSED or ERR_COMM. */
TESSARO_API int TESSARO_CALL TessaroGetInventoryDataFromPort1(unsigned char *response,
                                                              int *responseLength, int portIndex);

/* Collects a buffer read-out, as GetBufferDataFromPort.
 *   response [out] RESPONSE_BUFFER_SIZE bytes; responseLength [out] its length
 * Returns 0, ERR_PORT_CLOSED or ERR_COMM. */
TESSARO_API int TESSARO_CALL TessaroGetBufferDataFromPort(unsigned char *response,
                                                          int *responseLength, int portIndex);

/* Collects one frame recognised by its Len byte, as GetDataFromPort_buff.
 *   response [out] RESPONSE_BUFFER_SIZE bytes; responseLength [out] its length
 * Returns 0, ERR_PORT_CLOSED or ERR_COMM. */
TESSARO_API int TESSARO_CALL TessaroGetDataFromPort_buff(unsigned char *response,
                                                         int *responseLength, int portIndex);

/* Writes the CRC-16 of the first `length` bytes of `data` behind them, low
 * byte first, as GetCRC.
 *   data [in,out] length + 2 bytes */
TESSARO_API void TESSARO_CALL TessaroGetCRC(unsigned char *data, int length);

/* As CheckCRC: 0 when the CRC over the `length` bytes (a frame with its two
 * CRC bytes) is 0, ERR_CRC otherwise (also for length 0).
 *   data [in] `length` bytes */
TESSARO_API int TESSARO_CALL TessaroCheckCRC(unsigned char *data, int length);

/* As ATGetDataFromPort: ignores its arguments and returns 0. */
TESSARO_API int TESSARO_CALL TessaroATGetDataFromPort(unsigned char *data, int *length,
                                                      int portIndex);

/* TessaroNextTagRecord of TessaroRecords.h, exported: decodes the record at
 * *offset of an EPC-ID list.
 *   list   [in] `length` bytes; may be NULL when length is 0
 *   offset [in,out] where the record starts; moved past it on success
 *   record [out] the record's fields; its pointers point into `list`
 * Returns 1 for a record, 0 at the end of the list, -1 when the bytes at
 * *offset do not form a whole record (nothing written then). */
TESSARO_API int TESSARO_CALL TessaroDecodeTagRecord(const unsigned char *list, int length,
                                                    int *offset, TessaroTagRecord *record);

/* TessaroCountTagRecords of TessaroRecords.h, exported: the number of records
 * in a list of `length` bytes, or -1 when it does not decode to its end. */
TESSARO_API int TESSARO_CALL TessaroDecodeTagRecordCount(const unsigned char *list, int length);

#ifdef __cplusplus
}
#endif

#endif /* TESSARO_CNAMES_H */
