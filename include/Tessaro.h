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
#include "TessaroVersion.h"

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
TESSARO_API int TESSARO_CALL OpenUSBPort(int *portIndex);

/* Closes a port handed out by OpenUSBPort and frees its index.
 * Returns 0, or ERR_COMM when the index is not in use (never handed out,
 * already closed, or outside 0 to 19). Commands on a closed index return
 * ERR_PORT_CLOSED. */
TESSARO_API int TESSARO_CALL CloseUSBPort(int portIndex);

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
TESSARO_API int TESSARO_CALL GetReaderInformation(unsigned char *address,
                                                  unsigned char *versionInfo,
                                                  unsigned char *info2, unsigned char *info3,
                                                  unsigned char *info4, unsigned char *info5,
                                                  unsigned char *info6,
                                                  unsigned char *scanTime,
                                                  unsigned char *info8, unsigned char *info9,
                                                  unsigned char *info10, unsigned char *info11,
                                                  int portIndex);

/* Writes the library version (1.2.0: the bytes 0x01 0x02 0x00) as the three
 * bytes TESSARO_VERSION_MAJOR, TESSARO_VERSION_MINOR, TESSARO_VERSION_PATCH
 * of TessaroVersion.h, so a program can compare the library it runs with
 * against the header it was built with.
 *   version [out] 3 bytes. Returns 0; touches no reader. */
TESSARO_API int TESSARO_CALL GetSDKVersion(unsigned char *version);

/* Entry points kept for existing applications: they ignore their arguments,
 * send nothing and return 0. */
TESSARO_API int TESSARO_CDECL SetBaudRate(TESSARO_ANY_ARGUMENTS);
TESSARO_API int TESSARO_CDECL ChangeATMode(TESSARO_ANY_ARGUMENTS);
TESSARO_API int TESSARO_CDECL TransparentCMD(TESSARO_ANY_ARGUMENTS);

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
 *    byte (0 to 255; 0 when the answer carries none); untouched after any
 *    other result.
 *  - Answer fields are read only from the data the answer carries (no more
 *    than its Len byte claims); a field a short answer lacks reads 0.
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
 *   mask block   (maskFlag)   maskMem, 2 bytes at maskAddress, maskLength,
 *                             ceil(maskLength / 8) bytes of maskData
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
TESSARO_API int TESSARO_CALL Inventory_G2(unsigned char *address, int qValue, int session,
                                          int maskMem, const unsigned char *maskAddress,
                                          int maskLength, const unsigned char *maskData,
                                          int maskFlag, int tidAddress, int tidLength, int tidFlag,
                                          int target, int antenna, int scanTime, int targetFlag,
                                          unsigned char *epcList, unsigned char *antennaOut,
                                          int *totalLength, int *tagCount, int portIndex);

/* Fast EPC inventory (0x00): the frame qValue, session, target, *antenna,
 * scanTime (note: scanTime precedes antenna among the parameters), no sync
 * report.
 *   antenna [in,out] sent; receives the Antenna byte of the last frame taken
 *   epcList, totalLength, tagCount [out] as for Inventory_G2
 * Returns as Inventory_G2 (never ERR_COMM for a sync report). */
TESSARO_API int TESSARO_CALL Fast_EPC_Inventory_G2(unsigned char *address, int qValue, int session,
                                                   int target, int scanTime, unsigned char *antenna,
                                                   unsigned char *epcList, int *totalLength,
                                                   int *tagCount, int portIndex);

/* Single-tag inventory (0x0F), one answer frame.
 *   address     [in,out] written back on Status 1
 *   epc         [out] the answer's data after its first byte (at most 249 bytes)
 *   reserved    never read
 *   leadingByte [out] the answer's first data byte (0 to 255)
 * Returns 1 with a tag; another Status with nothing written (0 included);
 * ERR_COMM also for a Status-1 answer too short to hold its first data byte;
 * ERR_PORT_CLOSED / ERR_CRC / ERR_RESPONSE_CMD. */
TESSARO_API int TESSARO_CALL SingleTagInventory_G2(unsigned char *address, unsigned char *epc,
                                                   void *reserved, int *leadingByte, int portIndex);

/* Reads wordCount words (0x02): tag, memBank, wordPointer, wordCount,
 * password, mask block.
 *   data [out] after Status 0: the answer's data, at most 2 x wordCount bytes
 * Address written back. */
TESSARO_API int TESSARO_CALL ReadData_G2(unsigned char *address, const unsigned char *epc,
                                         int epcWords, int memBank, int wordPointer, int wordCount,
                                         const unsigned char *password, int maskMem,
                                         const unsigned char *maskAddress, int maskLength,
                                         const unsigned char *maskData, unsigned char *data,
                                         int *errorCode, int portIndex);

/* Writes writeWords words (0x03): writeWords, tag (note: the word count comes
 * before the EPC length), memBank, wordPointer, 2 x writeWords bytes of
 * writeData, password, mask block.
 * Returns ERR_PARAMETER for epcWords 32 to 254, then ERR_FRAME_TOO_LONG for a
 * frame whose Len would exceed 60 (2 x epcWords + 2 x writeWords + 12, or
 * 2 x writeWords + mask bytes + 16); nothing sent. Address written back. */
TESSARO_API int TESSARO_CALL WriteData_G2(unsigned char *address, const unsigned char *epc,
                                          int writeWords, int epcWords, int memBank,
                                          int wordPointer, const unsigned char *writeData,
                                          const unsigned char *password, int maskMem,
                                          const unsigned char *maskAddress, int maskLength,
                                          const unsigned char *maskData, int *errorCode,
                                          int portIndex);

/* Writes the EPC of the one tag in the field (0x04): epcWords, password, then
 * 2 x epcWords bytes of `epc` (note: the password comes before the EPC). No
 * tag selection. Returns ERR_FRAME_TOO_LONG for epcWords above 25 (Len above
 * 60), nothing sent. Address not written back. */
TESSARO_API int TESSARO_CALL WriteEPC_G2(unsigned char *address, const unsigned char *password,
                                         const unsigned char *epc, int epcWords, int *errorCode,
                                         int portIndex);

/* Erases wordCount words (0x07); frame as ReadData_G2. Address not written back. */
TESSARO_API int TESSARO_CALL BlockErase_G2(unsigned char *address, const unsigned char *epc,
                                           int epcWords, int memBank, int wordPointer,
                                           int wordCount, const unsigned char *password,
                                           int maskMem, const unsigned char *maskAddress,
                                           int maskLength, const unsigned char *maskData,
                                           int *errorCode, int portIndex);

/* Block write (0x10); frame as WriteData_G2, without its Len-60 check (only
 * frames longer than one report are refused). Address written back. */
TESSARO_API int TESSARO_CALL BlockWrite_G2(unsigned char *address, const unsigned char *epc,
                                           int writeWords, int epcWords, int memBank,
                                           int wordPointer, const unsigned char *writeData,
                                           const unsigned char *password, int maskMem,
                                           const unsigned char *maskAddress, int maskLength,
                                           const unsigned char *maskData, int *errorCode,
                                           int portIndex);

/* ReadData_G2 with a two-byte word pointer (0x15).
 *   wordPointer [in] 2 bytes, sent in memory order
 * Address written back. */
TESSARO_API int TESSARO_CALL ExtReadData_G2(unsigned char *address, const unsigned char *epc,
                                            int epcWords, int memBank,
                                            const unsigned char *wordPointer, int wordCount,
                                            const unsigned char *password, int maskMem,
                                            const unsigned char *maskAddress, int maskLength,
                                            const unsigned char *maskData, unsigned char *data,
                                            int *errorCode, int portIndex);

/* BlockWrite_G2 with a two-byte word pointer (0x16).
 *   wordPointer [in] 2 bytes, sent in memory order
 * Address written back. */
TESSARO_API int TESSARO_CALL ExtWriteData_G2(unsigned char *address, const unsigned char *epc,
                                             int writeWords, int epcWords, int memBank,
                                             const unsigned char *wordPointer,
                                             const unsigned char *writeData,
                                             const unsigned char *password, int maskMem,
                                             const unsigned char *maskAddress, int maskLength,
                                             const unsigned char *maskData, int *errorCode,
                                             int portIndex);

/* Kills a tag (0x05): tag, killPassword, mask block. Address not written back. */
TESSARO_API int TESSARO_CALL KillTag_G2(unsigned char *address, const unsigned char *epc,
                                        int epcWords, const unsigned char *killPassword,
                                        int maskMem, const unsigned char *maskAddress,
                                        int maskLength, const unsigned char *maskData,
                                        int *errorCode, int portIndex);

/* Locks a memory area (0x06): tag, lockTarget, lockAction, password (note:
 * the lock bytes come before the password), mask block. Address not written back. */
TESSARO_API int TESSARO_CALL Lock_G2(unsigned char *address, const unsigned char *epc, int epcWords,
                                     int lockTarget, int lockAction, const unsigned char *password,
                                     int maskMem, const unsigned char *maskAddress, int maskLength,
                                     const unsigned char *maskData, int *errorCode, int portIndex);

/* Sets a selected tag private (0x08): tag, password, mask block. Address not
 * written back. */
TESSARO_API int TESSARO_CALL SetPrivacyByEPC_G2(unsigned char *address, const unsigned char *epc,
                                                int epcWords, const unsigned char *password,
                                                int maskMem, const unsigned char *maskAddress,
                                                int maskLength, const unsigned char *maskData,
                                                int *errorCode, int portIndex);

/* Sets the tag in the field private (0x09): password only. Address not written back. */
TESSARO_API int TESSARO_CALL SetPrivacyWithoutEPC_G2(unsigned char *address,
                                                     const unsigned char *password, int *errorCode,
                                                     int portIndex);

/* Resets privacy (0x0A): password only. Address not written back. */
TESSARO_API int TESSARO_CALL ResetPrivacy_G2(unsigned char *address, const unsigned char *password,
                                             int *errorCode, int portIndex);

/* Checks privacy (0x0B), no data sent.
 *   privacyState [out] after Status 0: the answer's first data byte
 * Address not written back. */
TESSARO_API int TESSARO_CALL CheckPrivacy_G2(unsigned char *address, unsigned char *privacyState,
                                             int *errorCode, int portIndex);

/* Configures EAS (0x0C): tag, password, easFlag (note: after the password),
 * mask block. Address written back. */
TESSARO_API int TESSARO_CALL EASConfigure_G2(unsigned char *address, const unsigned char *epc,
                                             int epcWords, const unsigned char *password,
                                             int easFlag, int maskMem,
                                             const unsigned char *maskAddress, int maskLength,
                                             const unsigned char *maskData, int *errorCode,
                                             int portIndex);

/* EAS alarm (0x0D), no data sent. Address written back. */
TESSARO_API int TESSARO_CALL EASAlarm_G2(unsigned char *address, int *errorCode, int portIndex);

/* Block lock (0x0E): tag, password, lockParameter (note: after the password),
 * mask block. Address not written back. */
TESSARO_API int TESSARO_CALL BlockLock_G2(unsigned char *address, const unsigned char *epc,
                                          int epcWords, const unsigned char *password,
                                          int lockParameter, int maskMem,
                                          const unsigned char *maskAddress, int maskLength,
                                          const unsigned char *maskData, int *errorCode,
                                          int portIndex);

/* Reads the Monza 4QT parameter (0x11): tag, password, mask block.
 *   qtParameter [out] after Status 0: the answer's second data byte (note:
 *                     this output stands after the mask arguments)
 * Address written back. */
TESSARO_API int TESSARO_CALL GetMonza4QTWorkParamter_G2(unsigned char *address,
                                                        const unsigned char *epc, int epcWords,
                                                        const unsigned char *password, int maskMem,
                                                        const unsigned char *maskAddress,
                                                        int maskLength,
                                                        const unsigned char *maskData,
                                                        unsigned char *qtParameter, int *errorCode,
                                                        int portIndex);

/* Sets the Monza 4QT parameter (0x12): tag, 0x00, qtParameter, password
 * (note: the parameter comes before the password), mask block. Address
 * written back. */
TESSARO_API int TESSARO_CALL SetMonza4QTWorkParamter_G2(unsigned char *address,
                                                        const unsigned char *epc, int epcWords,
                                                        int qtParameter,
                                                        const unsigned char *password, int maskMem,
                                                        const unsigned char *maskAddress,
                                                        int maskLength,
                                                        const unsigned char *maskData,
                                                        int *errorCode, int portIndex);

/* The reader's tag buffer. These commands only read `address`. The single
 * answers hand their data over whatever their Status (after CRC and echo
 * checks) and return the Status. */

/* Inventory into the reader's buffer (0x18): the request of Inventory_G2 under
 * its own code, no sync report.
 *   bufferCount [out] answer data bytes 0-1, big-endian
 *   tagCount    [out] answer data bytes 2-3, big-endian
 * Returns the Status, or ERR_COMM / ERR_PORT_CLOSED / ERR_CRC / ERR_RESPONSE_CMD
 * (outputs untouched). */
TESSARO_API int TESSARO_CALL InventoryBuffer_G2(unsigned char *address, int qValue, int session,
                                                int maskMem, const unsigned char *maskAddress,
                                                int maskLength, const unsigned char *maskData,
                                                int maskFlag, int tidAddress, int tidLength,
                                                int tidFlag, int target, int antenna, int scanTime,
                                                int targetFlag, int *bufferCount, int *tagCount,
                                                int portIndex);

/* Sets the reader's save-length byte (0x70). */
TESSARO_API int TESSARO_CALL SetSaveLen(unsigned char *address, int saveLength, int portIndex);

/* Reads the reader's save-length byte (0x71).
 *   saveLength [out] answer data byte 0 */
TESSARO_API int TESSARO_CALL GetSaveLen(unsigned char *address, unsigned char *saveLength,
                                        int portIndex);

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
TESSARO_API int TESSARO_CALL ReadBuffer_G2(unsigned char *address, int *totalLength, int *tagCount,
                                           unsigned char *epcList, int portIndex);

/* Empties the reader's buffer (0x73). */
TESSARO_API int TESSARO_CALL ClearBuffer_G2(unsigned char *address, int portIndex);

/* Counts the buffer (0x74).
 *   bufferCount [out] answer data bytes 0-1, big-endian */
TESSARO_API int TESSARO_CALL GetBufferCnt_G2(unsigned char *address, int *bufferCount,
                                             int portIndex);

/* ------------------------------------------------------------------------
 * ISO 18000-6B tag commands
 *
 * A 6B tag is named by its eight identifier bytes (tagId), sent in the
 * order they lie in memory. Every command writes the answer's address back
 * to `address` once the answer has passed its CRC and echo tests, whatever
 * its Status; CheckLock_6B only with Status 0. Pointers must not be NULL.
 *
 * errorCode [out] receives the tag error code: -1 after Status 0, the tag's
 * error byte after TAG_ERROR (252; 0 when the answer carries no byte); any
 * other Status leaves it untouched.
 *
 * Answer fields that a short answer does not carry are written as 0: nothing
 * is read past the answer.
 * ------------------------------------------------------------------------ */

/* Inventories one 6B tag (0x50).
 *   leadingByte [out] 1 byte: answer data byte 0
 *   tagData     [out] 10 bytes: answer data bytes 1 to 10
 * Both are written whenever the answer carries data, whatever its Status.
 * Returns the reader's Status (also when non-zero), or ERR_COMM /
 * ERR_PORT_CLOSED / ERR_CRC / ERR_RESPONSE_CMD. */
TESSARO_API int TESSARO_CALL InventorySingle_6B(unsigned char *address, unsigned char *leadingByte,
                                                unsigned char *tagData, int portIndex);

/* Inventories the 6B tags a group selection matches (0x51).
 *   condition, startAddress, mask: bytes, passed on to the reader
 *   wordData    [in]  8 bytes, passed on in memory order
 *   leadingByte [out] 1 byte: answer data byte 0
 *   tagCount    [out] answer data byte 1 (0 when the answer carries one
 *               data byte only)
 *   tagData     [out] answer data bytes 2 to the end of the answer's data:
 *               Len - 7 bytes, sized by the answer and not by tagCount; never
 *               more than 248, so a buffer of 248 bytes always suffices
 * All three are written whenever the answer carries data, whatever its
 * Status. Returns as InventorySingle_6B. */
TESSARO_API int TESSARO_CALL InventoryMultiple_6B(unsigned char *address, int condition,
                                                  int startAddress, int mask,
                                                  unsigned char *wordData,
                                                  unsigned char *leadingByte,
                                                  unsigned char *tagData, int *tagCount,
                                                  int portIndex);

/* Reads `readLength` bytes (a byte) of a 6B tag's memory from
 * `startAddress` (a byte) on (0x52).
 *   tagId     [in]  8 bytes
 *   data      [out] readLength bytes, written with Status 0 when the answer
 *                   carries data (bytes beyond the answer's data as 0)
 *   errorCode [out] the tag error code
 * Returns the reader's Status (TAG_ERROR with the tag's error byte), or
 * ERR_COMM / ERR_PORT_CLOSED / ERR_CRC / ERR_RESPONSE_CMD. */
TESSARO_API int TESSARO_CALL ReadData_6B(unsigned char *address, unsigned char *tagId,
                                         int startAddress, int readLength, unsigned char *data,
                                         int *errorCode, int portIndex);

/* Writes `writeLength` bytes to a 6B tag's memory from `startAddress` (a
 * byte) on (0x53).
 *   tagId         [in]  8 bytes
 *   writeData     [in]  writeLength bytes
 *   writeLength   0 to 48 (one report carries no more); any other value
 *                 returns ERR_FRAME_TOO_LONG (597) and sends nothing
 *   writtenLength [out] 1 byte: writeLength, with Status 0 (the answer
 *                 carries no count of its own)
 *   errorCode     [out] the tag error code
 * Returns as ReadData_6B, or ERR_FRAME_TOO_LONG. */
TESSARO_API int TESSARO_CALL WriteData_6B(unsigned char *address, unsigned char *tagId,
                                          int startAddress, unsigned char *writeData,
                                          int writeLength, unsigned char *writtenLength,
                                          int *errorCode, int portIndex);

/* Locks the byte at `byteAddress` (a byte) of a 6B tag (0x55).
 *   tagId     [in]  8 bytes
 *   errorCode [out] the tag error code
 * Returns as ReadData_6B. */
TESSARO_API int TESSARO_CALL Lock_6B(unsigned char *address, unsigned char *tagId, int byteAddress,
                                     int *errorCode, int portIndex);

/* Asks whether the byte at `byteAddress` (a byte) of a 6B tag is locked
 * (0x54). The address is written back with Status 0 only.
 *   tagId     [in]  8 bytes
 *   lockState [out] 1 byte: answer data byte 0, with Status 0
 *   errorCode [out] the tag error code
 * Returns as ReadData_6B. */
TESSARO_API int TESSARO_CALL CheckLock_6B(unsigned char *address, unsigned char *tagId,
                                          int byteAddress, unsigned char *lockState, int *errorCode,
                                          int portIndex);


/* ------------------------------------------------------------------------
 * Reader configuration
 * ------------------------------------------------------------------------ */

/* Every command here is one reader command. The library interprets no value:
 * a "byte" argument goes out as its low 8 bits, a block byte for byte in memory
 * order. Outputs are caller storage of the size given, copied from fixed places
 * of the answer (past the answer's data they read its CRC bytes, then zeros).
 *
 * Every command returns ERR_COMM (no answer in time, port never opened),
 * ERR_PORT_CLOSED, ERR_CRC or ERR_RESPONSE_CMD (the answer echoes another
 * command code) with nothing written; otherwise it follows its rule:
 *   [always-write-back] the answer's address is written to `address` whatever
 *                       the Status; returns the Status.
 *   [status-gated]      on Status 0 the answer's address is written to `address`
 *                       and the outputs are filled; returns the Status.
 *   [no-write-back]     on Status 0 the outputs are filled; `address` is never
 *                       written; returns the Status.
 *   [crc-only]          (keyboard mode) the echoed code is not looked at and
 *                       ERR_RESPONSE_CMD never returned; the outputs are filled
 *                       whatever the Status; `address` is never written;
 *                       returns the Status.
 * `address` is read for the frame by every command but ChangeToHID, a refused
 * SetHidWorkPara and InSelfTestMode leaving the self-test mode. */

/* Region and channel range (0x22): sends both bytes unchanged.
 *   maxChannelByte: region code bits 3-2 in bits 7-6, highest channel index in bits 5-0
 *   minChannelByte: region code bits 1-0 in bits 7-6, lowest channel index in bits 5-0
 * The answer's address is written back whatever its Status (always-write-back).
 * Returns the reader's Status, or ERR_COMM / ERR_PORT_CLOSED / ERR_CRC / ERR_RESPONSE_CMD. */
TESSARO_API int TESSARO_CALL SetRegion(unsigned char *address, int maxChannelByte,
                                       int minChannelByte, int portIndex);

/* Reader address (0x24). [always-write-back]: `address` receives the address the
 * reader answers with (old or new, the reader's choice). */
TESSARO_API int TESSARO_CALL SetAddress(unsigned char *address, int newAddress, int portIndex);

/* The reader's scan time, in 100 ms (0x25). [always-write-back]
 * The library's own scan time (for inventory time bounds) is not changed: only
 * GetReaderInformation reads it. */
TESSARO_API int TESSARO_CALL SetInventoryScanTime(unsigned char *address, int scanTime,
                                                  int portIndex);

/* Rev delay (0x27). [no-write-back] */
TESSARO_API int TESSARO_CALL SetRevDelay(unsigned char *address, int revDelay, int portIndex);

/* RF power (0x2F). [status-gated] */
TESSARO_API int TESSARO_CALL SetRfPower(unsigned char *address, int power, int portIndex);

/* Rev delay (0x31). [no-write-back]
 *   revDelay [out] 1 byte: answer data byte 0 */
TESSARO_API int TESSARO_CALL GetRevDelay(unsigned char *address, unsigned char *revDelay,
                                         int portIndex);

/* Buzzer and LED (0x33): the three bytes in order. [no-write-back] */
TESSARO_API int TESSARO_CALL BuzzerAndLEDControl(unsigned char *address, int controlByte1,
                                                 int controlByte2, int controlByte3, int portIndex);

/* Work mode (0x35). [no-write-back] */
TESSARO_API int TESSARO_CALL SetWorkMode(unsigned char *address, int workMode, int portIndex);

/* System parameters (0x36). [no-write-back]; `address` is only read.
 *   sysParam0 .. sysParam5 [out] 1 byte each: answer data bytes 0 to 5
 *   maskMem     [out] 1 byte: data byte 6
 *   maskAddress [out] 2 bytes: data bytes 7 and 8
 *   maskLength  [out] 1 byte: data byte 9 (mask length in bits)
 *   maskData    [out] 32 bytes: data bytes 10 to 41, always all 32
 *   sysParam42 .. sysParam44 [out] 1 byte each: data bytes 42 to 44. When the
 *               answer's Len is 47 (the reader's short form) sysParam42 is set
 *               to 0 and sysParam43, sysParam44 are left untouched. */
TESSARO_API int TESSARO_CALL GetSystemParameter(unsigned char *address, unsigned char *sysParam0,
                                                unsigned char *sysParam1, unsigned char *sysParam2,
                                                unsigned char *sysParam3, unsigned char *sysParam4,
                                                unsigned char *sysParam5, unsigned char *maskMem,
                                                unsigned char *maskAddress,
                                                unsigned char *maskLength, unsigned char *maskData,
                                                unsigned char *sysParam42,
                                                unsigned char *sysParam43,
                                                unsigned char *sysParam44, int portIndex);

/* EAS sensitivity (0x37). [no-write-back] */
TESSARO_API int TESSARO_CALL SetEASSensitivity(unsigned char *address, int sensitivity,
                                               int portIndex);

/* Tag custom function (0x3A). [status-gated]
 *   customFunction [in,out] 1 byte: sent; on Status 0 replaced by answer data byte 0 */
TESSARO_API int TESSARO_CALL SetTagCustomFunction(unsigned char *address,
                                                  unsigned char *customFunction, int portIndex);

/* Inventory mask (0x3B). [no-write-back]
 *   maskMem            memory bank (byte)
 *   maskAddress [in]   2 bytes, sent as they lie in memory
 *   maskLength         mask length in bits (byte, 0 to 255)
 *   maskData    [in]   ceil(maskLength / 8) bytes (0 to 32), read and sent; none for 0 */
TESSARO_API int TESSARO_CALL SetMask(unsigned char *address, int maskMem,
                                     const unsigned char *maskAddress, int maskLength,
                                     const unsigned char *maskData, int portIndex);

/* Response parameters of the auto-running mode (0x3C): both bytes in order. [no-write-back] */
TESSARO_API int TESSARO_CALL SetResponsePamametersofAuto_runningMode(unsigned char *address,
                                                                     int autoParam1, int autoParam2,
                                                                     int portIndex);

/* Inventory interval (0x3D). [no-write-back] */
TESSARO_API int TESSARO_CALL SetInventoryInterval(unsigned char *address, int interval,
                                                  int portIndex);

/* Tag type (0x3E). [no-write-back] */
TESSARO_API int TESSARO_CALL SelectTagType(unsigned char *address, int tagType, int portIndex);

/* Antenna multiplexing (0x3F). [no-write-back] */
TESSARO_API int TESSARO_CALL SetAntennaMultiplexing(unsigned char *address, int antennaMultiplexing,
                                                    int portIndex);

/* Beep notification (0x40). [no-write-back] */
TESSARO_API int TESSARO_CALL SetBeepNotification(unsigned char *address, int beepNotification,
                                                 int portIndex);

/* Real-time clock (0x41). [no-write-back]
 *   clockData [in] 6 bytes, sent in order */
TESSARO_API int TESSARO_CALL SetReal_timeClock(unsigned char *address,
                                               const unsigned char *clockData, int portIndex);

/* Real-time clock (0x42). [no-write-back]
 *   clockData [out] 6 bytes: answer data bytes 0 to 5 */
TESSARO_API int TESSARO_CALL GetTime(unsigned char *address, unsigned char *clockData,
                                     int portIndex);

/* Empties the reader's tag buffer (0x44). [no-write-back] */
TESSARO_API int TESSARO_CALL ClearTagBuffer(unsigned char *address, int portIndex);

/* Relay (0x45). [no-write-back] */
TESSARO_API int TESSARO_CALL SetRelay(unsigned char *address, int relay, int portIndex);

/* GPIO outputs (0x46). [no-write-back] */
TESSARO_API int TESSARO_CALL SetGPIO(unsigned char *address, int gpio, int portIndex);

/* GPIO status (0x47). [no-write-back]
 *   gpioStatus [out] 1 byte: answer data byte 0 */
TESSARO_API int TESSARO_CALL GetGPIOStatus(unsigned char *address, unsigned char *gpioStatus,
                                           int portIndex);

/* Notification pulse output (0x48). [no-write-back] */
TESSARO_API int TESSARO_CALL SetNotificationPulseOutput(unsigned char *address, int pulseOutput,
                                                        int portIndex);

/* Trigger time (0x49). [no-write-back] */
TESSARO_API int TESSARO_CALL SetTriggerTime(unsigned char *address, int triggerTime, int portIndex);

/* TID parameter (0x4A): both bytes in order. [status-gated] */
TESSARO_API int TESSARO_CALL SetTIDParameter(unsigned char *address, int tidParam1, int tidParam2,
                                             int portIndex);

/* Serial number (0x4B): sends 0x54 0x45, then the four bytes. [status-gated]
 *   serialNumber [in] 4 bytes, sent in order */
TESSARO_API int TESSARO_CALL SetSeriaNo(unsigned char *address, const unsigned char *serialNumber,
                                        int portIndex);

/* Serial number (0x4C). [status-gated]
 *   serialNumber [out] 4 bytes: answer data bytes 0 to 3 */
TESSARO_API int TESSARO_CALL GetSeriaNo(unsigned char *address, unsigned char *serialNumber,
                                        int portIndex);

/* Work time (0x60, data 0x00, workTime1, workTime2). [status-gated] */
TESSARO_API int TESSARO_CALL SetWorkTime(unsigned char *address, int workTime1, int workTime2,
                                         int portIndex);

/* Work time (0x61, no data). [status-gated]
 *   workTime1 [out] 1 byte: answer data byte 1
 *   workTime2 [out] 1 byte: answer data byte 2 (data byte 0 is not used) */
TESSARO_API int TESSARO_CALL GetWorkTime(unsigned char *address, unsigned char *workTime1,
                                         unsigned char *workTime2, int portIndex);

/* Communication type (0x6A). [status-gated] */
TESSARO_API int TESSARO_CALL SetCommType(unsigned char *address, int commType, int portIndex);

/* Module version (0x83). [no-write-back]
 *   moduleVersion [out] 2 bytes: answer data bytes 0 and 1 */
TESSARO_API int TESSARO_CALL GetModuleVersion(unsigned char *address, unsigned char *moduleVersion,
                                              int portIndex);

/* --- Calibration and factory commands --- */

/* Enters (any non-zero `enter`: command 0x26) or leaves (`enter` 0: the single
 * byte 0xA5, no frame) the reader's self-test mode. The answer may echo 0x26 or
 * 0xA5 in either case. [always-write-back]
 *   address [in,out] read only when entering; may be NULL when leaving (then
 *                    the answer's address is not written back) */
TESSARO_API int TESSARO_CALL InSelfTestMode(unsigned char *address, int enter, int portIndex);

/* DAC value (0x29). [always-write-back] */
TESSARO_API int TESSARO_CALL SetDAC(unsigned char *address, int dacValue, int portIndex);

/* DAC value (0x2A). [status-gated]
 *   dacValue [out] 1 byte: answer data byte 0 */
TESSARO_API int TESSARO_CALL GetDAC(unsigned char *address, unsigned char *dacValue, int portIndex);

/* Power-parameter test (0x2B). [status-gated]
 *   checkResult [out] 1 byte: answer data byte 0 */
TESSARO_API int TESSARO_CALL CheckPowerParameter(unsigned char *address, unsigned char *checkResult,
                                                 int portIndex);

/* Hands over a DAC and power list (0x2C). [status-gated]
 *   powerList      [in]  31 bytes, sent in order
 *   solidifyResult [out] 1 byte: answer data byte 0 */
TESSARO_API int TESSARO_CALL SolidifyDACandPowerlist(unsigned char *address,
                                                     const unsigned char *powerList,
                                                     unsigned char *solidifyResult, int portIndex);

/* Start information (0x2D). [status-gated]
 *   startInfo0 .. startInfo8 [out] 1 byte each: answer data bytes 0 to 8 */
TESSARO_API int TESSARO_CALL GetStartInformation(unsigned char *address, unsigned char *startInfo0,
                                                 unsigned char *startInfo1,
                                                 unsigned char *startInfo2,
                                                 unsigned char *startInfo3,
                                                 unsigned char *startInfo4,
                                                 unsigned char *startInfo5,
                                                 unsigned char *startInfo6,
                                                 unsigned char *startInfo7,
                                                 unsigned char *startInfo8, int portIndex);

/* RF output (0x30). [status-gated] */
TESSARO_API int TESSARO_CALL RfOutput(unsigned char *address, int rfOutput, int portIndex);

/* Deletes the RF output (0x32). [status-gated]
 *   deleteResult [out] 1 byte: answer data byte 0 */
TESSARO_API int TESSARO_CALL DeleteRfOutput(unsigned char *address, unsigned char *deleteResult,
                                            int portIndex);

/* Test frequency (0x60, five data bytes). [status-gated]
 *   testFrequency [in] 4 bytes, sent in order, then the byte testMode */
TESSARO_API int TESSARO_CALL EnableTestFreq(unsigned char *address,
                                            const unsigned char *testFrequency, int testMode,
                                            int portIndex);

/* AD reading (0x61, data adChannel). [status-gated]
 *   adValue [out] 2 bytes: answer data bytes 0 and 1 */
TESSARO_API int TESSARO_CALL GetADValue(unsigned char *address, int adChannel,
                                        unsigned char *adValue, int portIndex);

/* A values (0x62): aSelector, then the 4 bytes of aValue1 and the 4 of aValue2,
 * in order. [status-gated]
 *   aValue1, aValue2 [in] 4 bytes each */
TESSARO_API int TESSARO_CALL SetAValue(unsigned char *address, int aSelector,
                                       const unsigned char *aValue1, const unsigned char *aValue2,
                                       int portIndex);

/* Adjustment parameters (0x65). [status-gated]
 *   adjustPara [out] 148 bytes: answer data bytes 0 to 147, all 148 whatever
 *                    the answer's length */
TESSARO_API int TESSARO_CALL GetAdjustPara(unsigned char *address, unsigned char *adjustPara,
                                           int portIndex);

/* Antenna check (0x66). [status-gated] */
TESSARO_API int TESSARO_CALL SetCheckAnt(unsigned char *address, int checkAnt, int portIndex);

/* Power check (0x67). [status-gated]
 *   checkPwr1 [out] 2 bytes: answer data bytes 0 and 1
 *   checkPwr2 [out] 2 bytes: answer data bytes 2 and 3 */
TESSARO_API int TESSARO_CALL GetCheckPWR(unsigned char *address, unsigned char *checkPwr1,
                                         unsigned char *checkPwr2, int portIndex);

/* DC offset (0x6C). [status-gated]
 *   dcOffset [in] 2 bytes, sent in order */
TESSARO_API int TESSARO_CALL SetDCOffset(unsigned char *address, const unsigned char *dcOffset,
                                         int portIndex);

/* QS pair (0x81): both bytes in order. [status-gated] */
TESSARO_API int TESSARO_CALL SetQS(unsigned char *address, int qs1, int qs2, int portIndex);

/* QS pair (0x82). [status-gated]
 *   qs1, qs2 [out] 1 byte each: answer data bytes 0 and 1 */
TESSARO_API int TESSARO_CALL GetQS(unsigned char *address, unsigned char *qs1, unsigned char *qs2,
                                   int portIndex);

/* Flash command (0x84). [no-write-back] */
TESSARO_API int TESSARO_CALL SetFlashRom(unsigned char *address, int portIndex);

/* --- Keyboard-emulation mode --- */

/* Switches the reader into its keyboard-emulation mode: sends the control
 * report 03 A0 alone and awaits no answer. `address` is not read (may be NULL).
 * The port stays open; the library keeps no record of the reader's mode.
 * Returns 0 when the report was written in full, ERR_COMM otherwise (also for a
 * closed or never-opened port; never ERR_PORT_CLOSED). */
TESSARO_API int TESSARO_CALL ChangeToHID(unsigned char *address, int portIndex);

/* The six work parameters of the keyboard mode (0xA1), sent in order. [crc-only]
 * The low byte of each is tested first: hidParam1 1 to 4, hidParam3 0 to 15,
 * hidParam4 and hidParam5 0 or 1 (hidParam2, hidParam6 any). Out of range:
 * ERR_PARAMETER, and nothing is read, sent or changed. */
TESSARO_API int TESSARO_CALL SetHidWorkPara(unsigned char *address, int hidParam1, int hidParam2,
                                            int hidParam3, int hidParam4, int hidParam5,
                                            int hidParam6, int portIndex);

/* The six work parameters (0xA2). [crc-only]
 *   hidParam1 .. hidParam6 [out] 1 byte each: answer data bytes 0 to 5, filled
 *                                 whatever the Status */
TESSARO_API int TESSARO_CALL GetHidWorkPara(unsigned char *address, unsigned char *hidParam1,
                                            unsigned char *hidParam2, unsigned char *hidParam3,
                                            unsigned char *hidParam4, unsigned char *hidParam5,
                                            unsigned char *hidParam6, int portIndex);

/* Beep enable of the keyboard mode (0xA3). [crc-only] */
TESSARO_API int TESSARO_CALL SetHidBeepEn(unsigned char *address, int hidBeepEnable, int portIndex);

/* Beep enable (0xA4). [crc-only]
 *   hidBeepEnable [out] 1 byte: answer data byte 0, filled whatever the Status */
TESSARO_API int TESSARO_CALL GetHidBeepEn(unsigned char *address, unsigned char *hidBeepEnable,
                                          int portIndex);


/* ------------------------------------------------------------------------
 * Regions and channel plans
 *
 * Region codes 1 to 5 have channel plans; channel indexes count from 0 in
 * ascending frequency.
 * ------------------------------------------------------------------------ */

/* Lists the channel frequencies of `region` as texts such as "920.125 MHz".
 * Talks to no reader.
 *   channelList [out] the caller's array of at least channels + 1 pointers
 *               (51 hold any region): entries 0 to n - 1 receive the texts
 *               of channels 0 to n - 1, entry n a NULL pointer.
 *               Codes 1 to 4 (20, 50, 32, 15 channels): every text is a new
 *               array of 255 characters, allocated with malloc, that the
 *               caller owns and releases with free().
 *               Code 5 (19 channels): the texts are the library's constants;
 *               neither modify nor free them.
 *               Any other code: the list is left untouched.
 *               If memory runs out, the texts made so far are released and
 *               the list is left empty (entry 0 NULL), never partly filled.
 * Returns 0 in every case. */
TESSARO_API int TESSARO_CALL GetChannelList(int region, char **channelList);

/* Sets the region and its channel range through SetRegion (0x22).
 *   region      the region code; only its four low bits are sent
 *   minChannel  index of the lowest channel to use (six bits are sent)
 *   maxChannel  index of the highest channel to use (six bits are sent)
 * Region 5 is sent as region 2's band with both indexes raised by 26 (the
 * sum wraps within six bits). Neither the code nor the indexes are checked.
 * The answer's address is written back whatever its Status.
 * Returns the reader's Status, or ERR_COMM / ERR_PORT_CLOSED / ERR_CRC /
 * ERR_RESPONSE_CMD. */
TESSARO_API int TESSARO_CALL SetRegionAndChannel(unsigned char *address, int region, int minChannel,
                                                 int maxChannel, int portIndex);

/* Sets the region with all of its channels, as SetRegionAndChannel with
 * channels 0 to n - 1 of its plan.
 * Returns as SetRegionAndChannel, or ERR_PARAMETER (255) with nothing sent
 * for a code without a plan (anything but 1 to 5). */
TESSARO_API int TESSARO_CALL SetRegionWithDefaultChannel(unsigned char *address, int region,
                                                         int portIndex);


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
TESSARO_API int TESSARO_CALL SendDataToPort(unsigned char *data, unsigned int length,
                                            int portIndex);

/* Collects one answer frame: polls input reports until the bytes gathered end
 * with a valid CRC over everything before it.
 *   response       [out] receives the frame (room for RESPONSE_BUFFER_SIZE bytes)
 *   responseLength [in,out] in: a non-zero value lets the collection run for
 *                  up to 2000 ms instead of 1000 ms; out: the frame's length
 * Returns 0, ERR_PORT_CLOSED, or ERR_COMM (time bound, a report that did not
 * arrive - then response[0] is set to 0 - or an answer longer than
 * RESPONSE_BUFFER_SIZE). */
TESSARO_API int TESSARO_CALL GetDataFromPort(unsigned char *response, int *responseLength,
                                             int portIndex);

/* Collects a streamed inventory answer: frames until the pending bytes are
 * exactly one intact frame with an end status (1, 2, 248, 249, 251, 253, 254,
 * 255). Bounds: 2 x T + 5000 ms, and 1000 ms while nothing has arrived, with
 * T = 100 x scan time while an inventory is in progress, else 1000 ms.
 *   response [out] the whole stream; responseLength [out] its length.
 * Returns 0, ERR_PORT_CLOSED, ERR_COMM (also for a stream longer than
 * RESPONSE_BUFFER_SIZE), or ERR_CRC at once when a complete frame of six
 * bytes or more fails its own CRC. */
TESSARO_API int TESSARO_CALL GetInventoryDataFromPort1(unsigned char *response, int *responseLength,
                                                       int portIndex);

/* Collects a buffer read-out: frames until a status-1 frame ends exactly at
 * the end of the bytes received. Bounds: 10000 ms, 1000 ms while nothing has
 * arrived, and RESPONSE_BUFFER_SIZE bytes.
 * Returns 0, ERR_PORT_CLOSED, ERR_COMM, or ERR_CRC at once when a complete
 * frame of six bytes or more fails its own CRC. */
TESSARO_API int TESSARO_CALL GetBufferDataFromPort(unsigned char *response, int *responseLength,
                                                   int portIndex);

/* Collects one frame recognised by its Len byte alone (more than 4 bytes):
 * used by InventoryBuffer_G2. Bound: T + 1000 ms (T as above).
 * Returns 0, ERR_PORT_CLOSED or ERR_COMM. */
TESSARO_API int TESSARO_CALL GetDataFromPort_buff(unsigned char *response, int *responseLength,
                                                  int portIndex);

/* Writes the CRC-16 (CRC-16/MCRF4XX) of the first `length` bytes of `data`
 * into the two bytes that follow them, low byte first; `data` must hold
 * length + 2 bytes. With length 0 it writes FF FF. */
TESSARO_API void TESSARO_CALL GetCRC(unsigned char *data, int length);

/* Returns 0 when the CRC over the `length` bytes is 0 (an intact frame given
 * with its two CRC bytes), ERR_CRC otherwise (also for length 0). */
TESSARO_API int TESSARO_CALL CheckCRC(unsigned char *data, int length);

/* Kept for existing applications: ignores its arguments and returns 0. */
TESSARO_API int TESSARO_CALL ATGetDataFromPort(unsigned char *data, int *length, int portIndex);

/* An empty class kept for existing applications; no operation is a member. */
class TESSARO_API CTessaro {
public:
    CTessaro();
    CTessaro &operator=(const CTessaro &other);
    CTessaro &operator=(CTessaro &&other);
};

#endif /* __cplusplus */

#endif /* TESSARO_H */
