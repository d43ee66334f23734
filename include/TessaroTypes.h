/*
 * Tessaro - shared types of the reader interface: return codes, reader
 * statuses, report and control codes, sizes. Usable from C and C++.
 */
#ifndef TESSARO_TYPES_H
#define TESSARO_TYPES_H

#if defined(_WIN32) || defined(__CYGWIN__)
#  ifdef TESSARO_BUILDING_LIBRARY
#    define TESSARO_API __declspec(dllexport)
#  else
#    define TESSARO_API __declspec(dllimport)
#  endif
#else
#  define TESSARO_API __attribute__((visibility("default")))
#endif

/* The calling convention of every exported function and of every callback
   the library calls: __stdcall on 32-bit Windows, the convention VB6, .NET
   (DllImport's default) and Delphi callers of such DLLs use; on every other
   platform there is one convention and the macro is empty. The entry points
   that take any argument list are the C convention (TESSARO_CDECL) there:
   only the caller knows what it pushed. */
#if defined(_WIN32) && !defined(_WIN64)
#  define TESSARO_CALL __stdcall
#  define TESSARO_CDECL __cdecl
#else
#  define TESSARO_CALL
#  define TESSARO_CDECL
#endif

/* Return codes shared by every exported operation. Any value not listed is
   the reader's own Status byte, passed through unchanged. 597 does not fit in
   a byte: compare the whole int. */
enum {
    TESSARO_OK = 0,
    ERR_COMM = 48,            /* report not written/read in time, no complete answer, port never opened */
    ERR_CRC = 49,             /* the CRC residue over the answer is not 0 */
    ERR_PORT_CLOSED = 55,     /* the port index was closed by CloseUSBPort */
    ERR_RESPONSE_CMD = 238,   /* the answer echoes another command code */
    ERR_PARAMETER = 255,      /* an argument was refused before anything was sent */
    ERR_FRAME_TOO_LONG = 597  /* the command frame would not fit one data report; nothing sent */
};

/* Reader statuses the library itself tells apart. */
enum {
    TAG_ERROR = 0xFC /* the tag reported an error; its error byte goes to errorCode */
};

/* USB identity of the reader. */
enum {
    READER_VENDOR_ID = 0x0470,
    READER_PRODUCT_ID = 0xA112
};

/* Reports: every report is 64 bytes in both directions. */
enum {
    REPORT_SIZE = 64,
    REPORT_ID_DATA = 2,      /* output report carrying a command frame */
    REPORT_ID_CONTROL = 3,   /* output report carrying a control code */
    REPORT_MAX_FRAME_BYTES = 62
};

/* Control codes (byte 1 of a control report). */
enum {
    CTRL_ACK = 0x01,            /* after every input report read in full */
    CTRL_POLL = 0x0A,           /* before every read of an input report */
    CTRL_SYNC = 0x0F,           /* on open, before Inventory_G2 and ReadBuffer_G2 */
    CTRL_SPARE = 0x21,          /* recognised, never sent */
    CTRL_CHANGE_TO_HID = 0xA0   /* ChangeToHID */
};

/* Sizes of the port table and of the shared buffers. */
enum {
    MAX_PORTS = 20,               /* port indexes 0 to 19; 0 is never handed out */
    MAX_HID_INTERFACES = 100,     /* enumeration positions tried by OpenUSBPort */
    RESPONSE_BUFFER_SIZE = 6000,  /* the longest answer or EPC-ID list the library handles */
    EPC_LIST_MAX_BYTES = 6000
};

#endif /* TESSARO_TYPES_H */
