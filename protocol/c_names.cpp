// The C-linkage companions of the C++-linkage exports, and the exported form of
// the header-only record decoder. Each forwards to the one implementation, so
// the two names of a function cannot drift apart.
#include "TessaroCNames.h"

#include "Tessaro.h"
#include "TessaroRecords.h"

TESSARO_API int TessaroSendDataToPort(unsigned char *data, unsigned int length, int portIndex) {
    return SendDataToPort(data, length, portIndex);
}

TESSARO_API int TessaroGetDataFromPort(unsigned char *response, int *responseLength,
                                       int portIndex) {
    return GetDataFromPort(response, responseLength, portIndex);
}

TESSARO_API int TessaroGetInventoryDataFromPort1(unsigned char *response, int *responseLength,
                                                 int portIndex) {
    return GetInventoryDataFromPort1(response, responseLength, portIndex);
}

TESSARO_API int TessaroGetBufferDataFromPort(unsigned char *response, int *responseLength,
                                             int portIndex) {
    return GetBufferDataFromPort(response, responseLength, portIndex);
}

TESSARO_API int TessaroGetDataFromPort_buff(unsigned char *response, int *responseLength,
                                            int portIndex) {
    return GetDataFromPort_buff(response, responseLength, portIndex);
}

TESSARO_API void TessaroGetCRC(unsigned char *data, int length) { GetCRC(data, length); }

TESSARO_API int TessaroCheckCRC(unsigned char *data, int length) { return CheckCRC(data, length); }

TESSARO_API int TessaroATGetDataFromPort(unsigned char *data, int *length, int portIndex) {
    return ATGetDataFromPort(data, length, portIndex);
}

TESSARO_API int TessaroDecodeTagRecord(const unsigned char *list, int length, int *offset,
                                       TessaroTagRecord *record) {
    return TessaroNextTagRecord(list, length, offset, record);
}

TESSARO_API int TessaroDecodeTagRecordCount(const unsigned char *list, int length) {
    return TessaroCountTagRecords(list, length);
}
