// The texts of TessaroErrors.h: one table, library codes and reader statuses
// sharing one space.
#include "TessaroErrors.h"

namespace {

struct CodeText {
    int code;
    const char *text;
};

constexpr CodeText kReturnCodes[] = {
    {TESSARO_OK, "OK: the command succeeded."},
    {0x01, "INVENTORY_DONE: the inventory is complete."},
    {0x02, "SCAN_TIME_OVERFLOW: the scan time ran out before every tag was read."},
    {0x03, "MORE_FRAMES: more frames of the same answer follow."},
    {0x04, "READER_MEMORY_FULL: the reader's memory filled up."},
    {ERR_COMM, "ERR_COMM: no complete answer came from the reader in time, or the port was never opened."},
    {ERR_CRC, "ERR_CRC: the reader's answer was damaged (its CRC does not check)."},
    {ERR_PORT_CLOSED, "ERR_PORT_CLOSED: the port was closed."},
    {ERR_RESPONSE_CMD, "ERR_RESPONSE_CMD: the reader answered another command than the one sent."},
    {0xF8, "ANTENNA_ERROR: the reader found a fault on an antenna."},
    {0xF9, "COMMAND_FAILED: the reader could not carry the command out."},
    {0xFA, "TAG_SILENT: a tag was there but did not complete the operation."},
    {0xFB, "NO_TAG: no tag answered."},
    {TAG_ERROR, "TAG_ERROR: the tag answered with an error."},
    {0xFD, "LENGTH_ERROR: the reader refused the command's length."},
    {0xFE, "ILLEGAL_COMMAND: the reader does not know the command."},
    {ERR_PARAMETER, "ERR_PARAMETER: a parameter is out of range."},
    {ERR_FRAME_TOO_LONG, "ERR_FRAME_TOO_LONG: the command would not fit in one report; nothing was sent."},
};

}  // namespace

TESSARO_API const char *TessaroReturnCodeText(int code) {
    for (const CodeText &entry : kReturnCodes)
        if (entry.code == code) return entry.text;
    return "UNKNOWN: the code is neither a library code nor a reader status.";
}
