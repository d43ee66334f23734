/*
 * Tessaro - host-side SDK for USB UHF RFID readers (EPC Gen2, ISO 18000-6B).
 *
 * The exported interface of the reader family, name for name. Every command
 * runs one reader exchange on the caller's thread and returns an int: 0 for
 * success, one of the library codes of TessaroTypes.h (ERR_COMM, ERR_CRC,
 * ERR_PORT_CLOSED, ERR_RESPONSE_CMD, ERR_PARAMETER, ERR_FRAME_TOO_LONG), or
 * the reader's own Status byte unchanged.
 *
 * Conventions shared by every command:
 *  - `address` points to the one-byte reader address; its byte becomes the
 *    frame's address. Whether the answer's address is written back is stated
 *    per command.
 *  - `portIndex` is the index handed out by OpenUSBPort.
 *  - A "byte" argument is an int of which only the low 8 bits are used.
 *  - Multi-byte values (passwords, mask addresses, serial numbers ...) are
 *    copied byte for byte in memory order, never swapped.
 *  - Outputs are left untouched when a command fails before its answer is
 *    accepted.
 *  - Calls from several threads are serialised inside the library: one
 *    exchange runs at a time in the whole process.
 */
#ifndef TESSARO_H
#define TESSARO_H

#include "TessaroTypes.h"
#include "TessaroTransport.h"

#ifdef __cplusplus
/* The inert entry points accept any argument list. */
#  define TESSARO_ANY_ARGUMENTS ...
extern "C" {
#else
#  define TESSARO_ANY_ARGUMENTS
#endif

/* ------------------------------------------------------------------------
 * Reader link
 * ------------------------------------------------------------------------ */

/* Finds the readers (vendor 0x0470, product 0xA112) among the HID interfaces,
 * records them in the port table and hands out the first one.
 *   portIndex [out] receives the port index (always 1 on success); not
 *                   written on failure.
 * Returns 0, or ERR_COMM when no reader was found, port 1 is still in use, or
 * the reader did not take the opening control report.
 * Further readers of the same enumeration stay open at indexes 2, 3 ... for
 * commands, but are not handed out. */
TESSARO_API int OpenUSBPort(int *portIndex);

/* Closes a port handed out by OpenUSBPort and frees its index.
 * Returns 0, or ERR_COMM when the index is not in use (never handed out,
 * already closed, or outside 0 to 19). Commands on a closed index return
 * ERR_PORT_CLOSED. */
TESSARO_API int CloseUSBPort(int portIndex);

/* ------------------------------------------------------------------------
 * Reader information and library version
 * ------------------------------------------------------------------------ */

/* Reads the reader's identity and settings (command 0x21).
 *   address  [in,out] reader address; receives the answer's address on success
 *   versionInfo [out] 2 bytes: answer data bytes 0 and 1, in that order
 *   info2 .. info6 [out] data bytes 2 to 6
 *   scanTime [out] data byte 7: the reader's scan time in units of 100 ms;
 *                  the library keeps it to stretch inventory time bounds
 *   info8 .. info11 [out] data bytes 8 to 11
 * Returns 0; ERR_COMM / ERR_PORT_CLOSED / ERR_CRC / ERR_RESPONSE_CMD; or the
 * reader's non-zero Status (then no output is written). */
TESSARO_API int GetReaderInformation(unsigned char *address,
                                     unsigned char *versionInfo,
                                     unsigned char *info2, unsigned char *info3,
                                     unsigned char *info4, unsigned char *info5,
                                     unsigned char *info6,
                                     unsigned char *scanTime,
                                     unsigned char *info8, unsigned char *info9,
                                     unsigned char *info10, unsigned char *info11,
                                     int portIndex);

/* Writes the library version 1.2.0 as the three bytes 0x01 0x02 0x00.
 *   version [out] 3 bytes. Returns 0; touches no reader. */
TESSARO_API int GetSDKVersion(unsigned char *version);

/* Entry points kept for existing applications: they ignore their arguments,
 * send nothing and return 0. */
TESSARO_API int SetBaudRate(TESSARO_ANY_ARGUMENTS);
TESSARO_API int ChangeATMode(TESSARO_ANY_ARGUMENTS);
TESSARO_API int TransparentCMD(TESSARO_ANY_ARGUMENTS);

/* ------------------------------------------------------------------------
 * Gen2 tag commands
 * ------------------------------------------------------------------------ */

/* Shared by these commands:
 *  - Tag selection (epc, epcWords, maskMem, maskAddress, maskLength, maskData):
 *    epcWords 0 to 31 names the tag by its EPC, 2 x epcWords bytes read from
 *    `epc` (the mask arguments are not read); epcWords 255 names it by the mask
 *    block: maskMem, the 2 bytes at maskAddress in memory order, maskLength in
 *    bits and ceil(maskLength / 8) bytes of maskData (`epc` is not read).
 *    epcWords 32 to 254 return ERR_PARAMETER and send nothing.
 *  - password / killPassword: 4 bytes, sent in memory order.
 *  - errorCode [out]: -1 after Status 0; after TAG_ERROR (252) the tag's error
 *    byte (0 to 255); untouched after any other result.
 *  - A frame longer than one report (62 bytes, e.g. epcWords 31 with a long
 *    field list) is never sent: ERR_FRAME_TOO_LONG.
 *  - Results: 0; TAG_ERROR; another reader Status (outputs untouched);
 *    ERR_COMM / ERR_PORT_CLOSED / ERR_CRC / ERR_RESPONSE_CMD (outputs untouched).
 *  - "Address written back": after Status 0 the answer's address is stored
 *    through `address`; otherwise `address` is only read.
 *
 * EPC-ID list: the EPC-ID data of every frame taken from an inventory or a
 * buffer read-out, joined in arrival order and handed over unchanged (the
 * layout of one tag's record is the reader's). `epcList` must hold
 * EPC_LIST_MAX_BYTES (6000) bytes. */

/* Full inventory (0x01): sends the sync report, then qValue, session and the
 * optional blocks, each only when its flag is exactly 1 (low byte):
 *   mask block   (maskFlag)   maskMem, 2 bytes at maskAddress, maskLength, ceil(maskLength / 8) bytes of maskData
 *   TID block    (tidFlag)    tidAddress, tidLength
 *   target block (targetFlag) target, antenna, scanTime
 *   epcList     [out] the EPC-ID list (EPC_LIST_MAX_BYTES)
 *   antennaOut  [out] the Antenna byte of the last frame taken
 *   totalLength [out] the list's length in bytes
 *   tagCount    [out] 0 once the answer was awaited, then the sum of the frames' tag counts
 * The answer's frames are taken while their Status is 1 to 4.
 * Returns the Status of the frame the walk ended on (1 or 2 after a complete
 * inventory, else the first Status outside 1 to 4, e.g. 0xFB); ERR_COMM when
 * the sync report could not be written (nothing else sent, nothing written)
 * or no complete answer came (tagCount 0); ERR_PORT_CLOSED (tagCount 0).
 * `address` is only read. */
TESSARO_API int Inventory_G2(unsigned char *address, int qValue, int session, int maskMem,
                             const unsigned char *maskAddress, int maskLength,
                             const unsigned char *maskData, int maskFlag, int tidAddress,
                             int tidLength, int tidFlag, int target, int antenna, int scanTime,
                             int targetFlag, unsigned char *epcList, unsigned char *antennaOut,
                             int *totalLength, int *tagCount, int portIndex);

/* Fast EPC inventory (0x00): the frame qValue, session, target, *antenna,
 * scanTime (note: scanTime precedes antenna among the parameters), no sync
 * report.
 *   antenna [in,out] sent; receives the Antenna byte of the last frame taken
 *   epcList, totalLength, tagCount [out] as for Inventory_G2
 * Returns as Inventory_G2 (never ERR_COMM for a sync report). */
TESSARO_API int Fast_EPC_Inventory_G2(unsigned char *address, int qValue, int session, int target,
                                      int scanTime, unsigned char *antenna,
                                      unsigned char *epcList, int *totalLength, int *tagCount,
                                      int portIndex);

/* Single-tag inventory (0x0F), one answer frame.
 *   address     [in,out] written back on Status 1
 *   epc         [out] the answer's data after its first byte (at most 249 bytes)
 *   reserved    never read
 *   leadingByte [out] the answer's first data byte (0 to 255)
 * Returns 1 with a tag; another Status with nothing written (0 included);
 * ERR_COMM also for a Status-1 answer too short to hold its first data byte;
 * ERR_PORT_CLOSED / ERR_CRC / ERR_RESPONSE_CMD. */
TESSARO_API int SingleTagInventory_G2(unsigned char *address, unsigned char *epc, void *reserved,
                                      int *leadingByte, int portIndex);

/* Reads wordCount words (0x02): tag, memBank, wordPointer, wordCount,
 * password, mask block.
 *   data [out] after Status 0: the answer's data, at most 2 x wordCount bytes
 * Address written back. */
TESSARO_API int ReadData_G2(unsigned char *address, const unsigned char *epc, int epcWords,
                            int memBank, int wordPointer, int wordCount,
                            const unsigned char *password, int maskMem,
                            const unsigned char *maskAddress, int maskLength,
                            const unsigned char *maskData, unsigned char *data, int *errorCode,
                            int portIndex);

/* Writes writeWords words (0x03): writeWords, tag (note: the word count comes
 * before the EPC length), memBank, wordPointer, 2 x writeWords bytes of
 * writeData, password, mask block.
 * Returns ERR_PARAMETER for epcWords 32 to 254, then ERR_FRAME_TOO_LONG for a
 * frame whose Len would exceed 60 (2 x epcWords + 2 x writeWords + 12, or
 * 2 x writeWords + mask bytes + 16); nothing sent. Address written back. */
TESSARO_API int WriteData_G2(unsigned char *address, const unsigned char *epc, int writeWords,
                             int epcWords, int memBank, int wordPointer,
                             const unsigned char *writeData, const unsigned char *password,
                             int maskMem, const unsigned char *maskAddress, int maskLength,
                             const unsigned char *maskData, int *errorCode, int portIndex);

/* Writes the EPC of the one tag in the field (0x04): epcWords, password, then
 * 2 x epcWords bytes of `epc` (note: the password comes before the EPC). No
 * tag selection. Returns ERR_FRAME_TOO_LONG for epcWords above 25 (Len above
 * 60), nothing sent. Address not written back. */
TESSARO_API int WriteEPC_G2(unsigned char *address, const unsigned char *password,
                            const unsigned char *epc, int epcWords, int *errorCode,
                            int portIndex);

/* Erases wordCount words (0x07); frame as ReadData_G2. Address not written back. */
TESSARO_API int BlockErase_G2(unsigned char *address, const unsigned char *epc, int epcWords,
                              int memBank, int wordPointer, int wordCount,
                              const unsigned char *password, int maskMem,
                              const unsigned char *maskAddress, int maskLength,
                              const unsigned char *maskData, int *errorCode, int portIndex);

/* Block write (0x10); frame as WriteData_G2, without its Len-60 check (only
 * frames longer than one report are refused). Address written back. */
TESSARO_API int BlockWrite_G2(unsigned char *address, const unsigned char *epc, int writeWords,
                              int epcWords, int memBank, int wordPointer,
                              const unsigned char *writeData, const unsigned char *password,
                              int maskMem, const unsigned char *maskAddress, int maskLength,
                              const unsigned char *maskData, int *errorCode, int portIndex);

/* ReadData_G2 with a two-byte word pointer (0x15).
 *   wordPointer [in] 2 bytes, sent in memory order
 * Address written back. */
TESSARO_API int ExtReadData_G2(unsigned char *address, const unsigned char *epc, int epcWords,
                               int memBank, const unsigned char *wordPointer, int wordCount,
                               const unsigned char *password, int maskMem,
                               const unsigned char *maskAddress, int maskLength,
                               const unsigned char *maskData, unsigned char *data,
                               int *errorCode, int portIndex);

/* BlockWrite_G2 with a two-byte word pointer (0x16).
 *   wordPointer [in] 2 bytes, sent in memory order
 * Address written back. */
TESSARO_API int ExtWriteData_G2(unsigned char *address, const unsigned char *epc, int writeWords,
                                int epcWords, int memBank, const unsigned char *wordPointer,
                                const unsigned char *writeData, const unsigned char *password,
                                int maskMem, const unsigned char *maskAddress, int maskLength,
                                const unsigned char *maskData, int *errorCode, int portIndex);

/* Kills a tag (0x05): tag, killPassword, mask block. Address not written back. */
TESSARO_API int KillTag_G2(unsigned char *address, const unsigned char *epc, int epcWords,
                           const unsigned char *killPassword, int maskMem,
                           const unsigned char *maskAddress, int maskLength,
                           const unsigned char *maskData, int *errorCode, int portIndex);

/* Locks a memory area (0x06): tag, lockTarget, lockAction, password (note:
 * the lock bytes come before the password), mask block. Address not written back. */
TESSARO_API int Lock_G2(unsigned char *address, const unsigned char *epc, int epcWords,
                        int lockTarget, int lockAction, const unsigned char *password, int maskMem,
                        const unsigned char *maskAddress, int maskLength,
                        const unsigned char *maskData, int *errorCode, int portIndex);

/* Sets a selected tag private (0x08): tag, password, mask block. Address not
 * written back. */
TESSARO_API int SetPrivacyByEPC_G2(unsigned char *address, const unsigned char *epc, int epcWords,
                                   const unsigned char *password, int maskMem,
                                   const unsigned char *maskAddress, int maskLength,
                                   const unsigned char *maskData, int *errorCode, int portIndex);

/* Sets the tag in the field private (0x09): password only. Address not written back. */
TESSARO_API int SetPrivacyWithoutEPC_G2(unsigned char *address, const unsigned char *password,
                                        int *errorCode, int portIndex);

/* Resets privacy (0x0A): password only. Address not written back. */
TESSARO_API int ResetPrivacy_G2(unsigned char *address, const unsigned char *password,
                                int *errorCode, int portIndex);

/* Checks privacy (0x0B), no data sent.
 *   privacyState [out] after Status 0: the answer's first data byte
 * Address not written back. */
TESSARO_API int CheckPrivacy_G2(unsigned char *address, unsigned char *privacyState,
                                int *errorCode, int portIndex);

/* Configures EAS (0x0C): tag, password, easFlag (note: after the password),
 * mask block. Address written back. */
TESSARO_API int EASConfigure_G2(unsigned char *address, const unsigned char *epc, int epcWords,
                                const unsigned char *password, int easFlag, int maskMem,
                                const unsigned char *maskAddress, int maskLength,
                                const unsigned char *maskData, int *errorCode, int portIndex);

/* EAS alarm (0x0D), no data sent. Address written back. */
TESSARO_API int EASAlarm_G2(unsigned char *address, int *errorCode, int portIndex);

/* Block lock (0x0E): tag, password, lockParameter (note: after the password),
 * mask block. Address not written back. */
TESSARO_API int BlockLock_G2(unsigned char *address, const unsigned char *epc, int epcWords,
                             const unsigned char *password, int lockParameter, int maskMem,
                             const unsigned char *maskAddress, int maskLength,
                             const unsigned char *maskData, int *errorCode, int portIndex);

/* Reads the Monza 4QT parameter (0x11): tag, password, mask block.
 *   qtParameter [out] after Status 0: the answer's second data byte (note:
 *                     this output stands after the mask arguments)
 * Address written back. */
TESSARO_API int GetMonza4QTWorkParamter_G2(unsigned char *address, const unsigned char *epc,
                                           int epcWords, const unsigned char *password,
                                           int maskMem, const unsigned char *maskAddress,
                                           int maskLength, const unsigned char *maskData,
                                           unsigned char *qtParameter, int *errorCode,
                                           int portIndex);

/* Sets the Monza 4QT parameter (0x12): tag, 0x00, qtParameter, password
 * (note: the parameter comes before the password), mask block. Address
 * written back. */
TESSARO_API int SetMonza4QTWorkParamter_G2(unsigned char *address, const unsigned char *epc,
                                           int epcWords, int qtParameter,
                                           const unsigned char *password, int maskMem,
                                           const unsigned char *maskAddress, int maskLength,
                                           const unsigned char *maskData, int *errorCode,
                                           int portIndex);

/* The reader's tag buffer. These commands only read `address`. The single
 * answers hand their data over whatever their Status (after CRC and echo
 * checks) and return the Status. */

/* Inventory into the reader's buffer (0x18): the request of Inventory_G2 under
 * its own code, no sync report.
 *   bufferCount [out] answer data bytes 0-1, big-endian
 *   tagCount    [out] answer data bytes 2-3, big-endian
 * Returns the Status, or ERR_COMM / ERR_PORT_CLOSED / ERR_CRC / ERR_RESPONSE_CMD
 * (outputs untouched). */
TESSARO_API int InventoryBuffer_G2(unsigned char *address, int qValue, int session, int maskMem,
                                   const unsigned char *maskAddress, int maskLength,
                                   const unsigned char *maskData, int maskFlag, int tidAddress,
                                   int tidLength, int tidFlag, int target, int antenna,
                                   int scanTime, int targetFlag, int *bufferCount, int *tagCount,
                                   int portIndex);

/* Sets the reader's save-length byte (0x70). */
TESSARO_API int SetSaveLen(unsigned char *address, int saveLength, int portIndex);

/* Reads the reader's save-length byte (0x71).
 *   saveLength [out] answer data byte 0 */
TESSARO_API int GetSaveLen(unsigned char *address, unsigned char *saveLength, int portIndex);

/* Reads the buffer out (0x72): sends the sync report, then the frame; the
 * answer is a stream of frames up to one with Status 1. Frames with Status 1
 * or 3 are taken, up to the first frame with another Status.
 *   totalLength [out] the EPC-ID list's length (0 for an empty buffer)
 *   tagCount    [out] the sum of the frames' tag counts (0 for an empty buffer)
 *   epcList     [out] the EPC-ID list (EPC_LIST_MAX_BYTES); untouched for an
 *                     empty buffer (an answer of at most 10 bytes)
 * Returns the Status of the frame the walk ended on (1 after a complete
 * read-out); ERR_COMM when the sync report could not be written or no
 * complete answer came; ERR_PORT_CLOSED. */
TESSARO_API int ReadBuffer_G2(unsigned char *address, int *totalLength, int *tagCount,
                              unsigned char *epcList, int portIndex);

/* Empties the reader's buffer (0x73). */
TESSARO_API int ClearBuffer_G2(unsigned char *address, int portIndex);

/* Counts the buffer (0x74).
 *   bufferCount [out] answer data bytes 0-1, big-endian */
TESSARO_API int GetBufferCnt_G2(unsigned char *address, int *bufferCount, int portIndex);

/* ------------------------------------------------------------------------
 * ISO 18000-6B tag commands
 * ------------------------------------------------------------------------ */


/* ------------------------------------------------------------------------
 * Reader configuration
 * ------------------------------------------------------------------------ */

/* Region and channel range (0x22): sends both bytes unchanged.
 *   maxChannelByte: region code bits 3-2 in bits 7-6, highest channel index in bits 5-0
 *   minChannelByte: region code bits 1-0 in bits 7-6, lowest channel index in bits 5-0
 * The answer's address is written back whatever its Status (always-write-back).
 * Returns the reader's Status, or ERR_COMM / ERR_PORT_CLOSED / ERR_CRC / ERR_RESPONSE_CMD. */
TESSARO_API int SetRegion(unsigned char *address, int maxChannelByte, int minChannelByte,
                          int portIndex);


/* ------------------------------------------------------------------------
 * Regions and channel plans
 * ------------------------------------------------------------------------ */


#ifdef __cplusplus
} /* extern "C" */

/* ------------------------------------------------------------------------
 * Transfer, CRC and collector functions. These keep C++ linkage: their
 * parameter types are part of their exported names.
 * ------------------------------------------------------------------------ */

/* Sends `length` bytes of `data` to the reader as one 64-byte report.
 * Bytes 03 xx with xx one of 0x01, 0x0A, 0x0F, 0x21, 0xA0 (length at least 2)
 * go out as a control report; anything else as a data report of at most 62
 * frame bytes. Returns 1 when the whole report was written, 0 otherwise
 * (closed or never-opened port, a data report longer than 62 bytes, a write
 * that failed). */
TESSARO_API int SendDataToPort(unsigned char *data, unsigned int length, int portIndex);

/* Collects one answer frame: polls input reports until the bytes gathered end
 * with a valid CRC over everything before it.
 *   response       [out] receives the frame (room for RESPONSE_BUFFER_SIZE bytes)
 *   responseLength [in,out] in: a non-zero value lets the collection run for
 *                  up to 2000 ms instead of 1000 ms; out: the frame's length
 * Returns 0, ERR_PORT_CLOSED, or ERR_COMM (time bound, a report that did not
 * arrive - then response[0] is set to 0 - or an answer longer than
 * RESPONSE_BUFFER_SIZE). */
TESSARO_API int GetDataFromPort(unsigned char *response, int *responseLength, int portIndex);

/* Collects a streamed inventory answer: frames until the pending bytes are
 * exactly one intact frame with an end status (1, 2, 248, 249, 251, 253, 254,
 * 255). Bounds: 2 x T + 5000 ms, and 1000 ms while nothing has arrived, with
 * T = 100 x scan time while an inventory is in progress, else 1000 ms.
 *   response [out] the whole stream; responseLength [out] its length.
 * Returns 0, ERR_PORT_CLOSED or ERR_COMM (also for a stream longer than
 * RESPONSE_BUFFER_SIZE). */
TESSARO_API int GetInventoryDataFromPort1(unsigned char *response, int *responseLength,
                                          int portIndex);

/* Collects a buffer read-out: frames until a status-1 frame ends exactly at
 * the end of the bytes received. Bounds: 10000 ms, 1000 ms while nothing has
 * arrived, and RESPONSE_BUFFER_SIZE bytes.
 * Returns 0, ERR_PORT_CLOSED or ERR_COMM. */
TESSARO_API int GetBufferDataFromPort(unsigned char *response, int *responseLength,
                                      int portIndex);

/* Collects one frame recognised by its Len byte alone (more than 4 bytes):
 * used by InventoryBuffer_G2. Bound: T + 1000 ms (T as above).
 * Returns 0, ERR_PORT_CLOSED or ERR_COMM. */
TESSARO_API int GetDataFromPort_buff(unsigned char *response, int *responseLength,
                                     int portIndex);

/* Writes the CRC-16 (CRC-16/MCRF4XX) of the first `length` bytes of `data`
 * into the two bytes that follow them, low byte first; `data` must hold
 * length + 2 bytes. With length 0 it writes FF FF. */
TESSARO_API void GetCRC(unsigned char *data, int length);

/* Returns 0 when the CRC over the `length` bytes is 0 (an intact frame given
 * with its two CRC bytes), ERR_CRC otherwise (also for length 0). */
TESSARO_API int CheckCRC(unsigned char *data, int length);

/* Kept for existing applications: ignores its arguments and returns 0. */
TESSARO_API int ATGetDataFromPort(unsigned char *data, int *length, int portIndex);

/* An empty class kept for existing applications; no operation is a member. */
class TESSARO_API CTessaro {
public:
    CTessaro();
    CTessaro &operator=(const CTessaro &other);
    CTessaro &operator=(CTessaro &&other);
};

#endif /* __cplusplus */

#endif /* TESSARO_H */
