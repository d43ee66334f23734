// The texts of TessaroErrors.h: one table for the return codes (library codes
// and reader statuses share one space) and one for the tags' error bytes.
#include "TessaroErrors.h"
#include "TessaroEpc.h"

namespace {

struct CodeText {
    int code;
    const char *text;
};

constexpr CodeText kReturnCodes[] = {
    {TESSARO_OK, "OK: the command succeeded."},
    {0x01, "INVENTORY_DONE: the inventory is complete; every tag in the field was read."},
    {0x02, "SCAN_TIME_OVERFLOW: the scan time ran out before every tag was read; the tags read so far came back."},
    {0x03, "MORE_FRAMES: more frames of the same answer follow."},
    {0x04, "READER_MEMORY_FULL: the reader's memory filled up; the tags read so far came back."},
    {ERR_COMM, "ERR_COMM: no complete answer came from the reader in time, a report could not be written, or the port was never opened."},
    {ERR_CRC, "ERR_CRC: the reader's answer was damaged (its CRC does not check)."},
    {ERR_PORT_CLOSED, "ERR_PORT_CLOSED: the port was closed; open the reader again."},
    {ERR_RESPONSE_CMD, "ERR_RESPONSE_CMD: the reader answered another command than the one sent."},
    {0xF8, "ANTENNA_ERROR: the reader found a fault on an antenna."},
    {0xF9, "COMMAND_FAILED: the reader could not carry the command out."},
    {0xFA, "TAG_SILENT: a tag was there but did not complete the operation (wrong password, or a command the tag does not support)."},
    {0xFB, "NO_TAG: no tag answered."},
    {TAG_ERROR, "TAG_ERROR: the tag answered with an error; its error byte says which."},
    {0xFD, "LENGTH_ERROR: the reader refused the command's length."},
    {0xFE, "ILLEGAL_COMMAND: the reader does not know the command, or does not take it in its present mode."},
    {ERR_PARAMETER, "ERR_PARAMETER: a parameter is out of range (refused by the library before sending, or by the reader)."},
    {ERR_FRAME_TOO_LONG, "ERR_FRAME_TOO_LONG: the command would not fit in one report; nothing was sent."},
    {TESSARO_EPC_NOT_GS1, "TESSARO_EPC_NOT_GS1: not a GS1 EPC: the EPC or text breaks the rules of every scheme it could be (the decoder's reason says which)."},
    {TESSARO_EPC_NO_FORM, "TESSARO_EPC_NO_FORM: the EPC's scheme has no such form (GID, USDOD and ADI have no GS1 element string)."},
    {TESSARO_EPC_NO_ROOM, "TESSARO_EPC_NO_ROOM: the output does not fit the size given; nothing was written."},
};

constexpr CodeText kTagErrors[] = {
    {-1, "none: the tag reported no error."},
    {0x00, "other error: the tag refused the operation without saying why (e.g. a kill password of zero)."},
    {0x03, "memory overrun: the address lies past the end of the memory bank, or the bank does not exist."},
    {0x04, "memory locked: the memory or password is locked or permalocked against this operation."},
    {0x0B, "insufficient power: the tag had too little power to write; move it closer or raise the RF power."},
    {0x0F, "non-specific error: the tag does not tell error codes apart."},
};

template <int N>
const char *lookUp(const CodeText (&table)[N], int code, const char *unknown) {
    for (const CodeText &entry : table)
        if (entry.code == code) return entry.text;
    return unknown;
}

}  // namespace

extern "C" const char *TessaroReturnCodeText(int code) {
    return lookUp(kReturnCodes, code,
                  "UNKNOWN: the code is neither a library code nor a reader status this library knows.");
}

extern "C" const char *TessaroTagErrorText(int errorByte) {
    return lookUp(kTagErrors, errorByte, "unknown tag error: the tag answered with an error byte this library does not know.");
}
