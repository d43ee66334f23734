/*
 * Tessaro - continuous reading of one port in the background.
 *
 * A reading runs rounds of Gen2 inventory on a thread of its own and hands
 * every tag read, every change of the reader's state and (optionally) every
 * tag's arrival and departure to callbacks:
 *
 *   TessaroReadingOptions options;
 *   TessaroReadingDefaults(&options);
 *   options.onTag = printTag;          // called on the reading's thread
 *   options.onStatus = printStatus;
 *   TessaroReading *reading;
 *   if (TessaroReadingStart(port, &options, &reading) == 0) {
 *       ... other commands on any thread, between rounds ...
 *       TessaroReadingFree(reading);   // stops, waits for the last callback
 *   }
 *
 * Each round is one exported inventory command (Inventory_G2,
 * Fast_EPC_Inventory_G2, or InventoryBuffer_G2 + ReadBuffer_G2 +
 * ClearBuffer_G2), so it takes the library's lock like any other call: other
 * threads' commands run between rounds and succeed. Callbacks run on the
 * reading's thread without the lock held; they may send commands themselves.
 *
 * Hot-plug: after `lostAfterFailures` rounds in a row end in ERR_COMM or
 * ERR_PORT_CLOSED the reading closes the port's handle, reports
 * TESSARO_READING_LOST, and every `retryIntervalMs` reopens the port
 * (TessaroReopenPort) and asks GetReaderInformation; once that answers it
 * reports TESSARO_READING_BACK and goes on with its rounds.
 *
 * Time: pauses and timestamps come from the library's transport clock, so on
 * the simulator's virtual clock a reading runs in microseconds.
 *
 * Stop a reading before CloseUSBPort closes its port (the reading would take
 * the closed port for a lost reader and open it again), and every reading
 * before TessaroSetTransport switches the transport.
 */
#ifndef TESSARO_READING_H
#define TESSARO_READING_H

#include "TessaroTypes.h"

#ifdef __cplusplus
extern "C" {
#endif

/* How a round asks for the tags. */
enum {
    TESSARO_READING_INVENTORY = 0, /* Inventory_G2 (answers stream in) */
    TESSARO_READING_FAST = 1,      /* Fast_EPC_Inventory_G2 */
    TESSARO_READING_BUFFERED = 2   /* InventoryBuffer_G2, ReadBuffer_G2, ClearBuffer_G2 */
};

/* Status events. */
enum {
    TESSARO_READING_LOST = 1,  /* the reader stopped answering; its handle was closed */
    TESSARO_READING_BACK = 2,  /* the reader answers again; rounds go on */
    TESSARO_READING_ERROR = 3  /* a round ended with a code other than before (0 = it is over) */
};

/* Presence events. */
enum {
    TESSARO_PRESENCE_ARRIVED = 1, /* the tag was seen for the first time (or again after departing) */
    TESSARO_PRESENCE_DEPARTED = 2 /* the tag was not seen for departAfterMs */
};

/* One tag read. Pointers point into the reading's buffer and are valid until
 * the callback returns: copy what you keep. */
typedef struct TessaroTagRead {
    int portIndex;
    unsigned long long round;        /* 1 for the first round */
    const unsigned char *epc;
    int epcLength;                   /* bytes */
    const unsigned char *tid;        /* NULL when tidLength is 0 */
    int tidLength;                   /* bytes; non-zero only with the TID block */
    int rssi;                        /* dBm */
    int antenna;                     /* 1 to 4 */
    unsigned long long monotonicMs;  /* the transport's clock, never wraps */
    long long wallClockMs;           /* milliseconds since 1970-01-01 UTC */
} TessaroTagRead;

/* A change of the reader's state. */
typedef struct TessaroReadingStatus {
    int portIndex;
    int event;                       /* TESSARO_READING_LOST, _BACK or _ERROR */
    int code;                        /* the return code behind the event (0 when none) */
    const char *text;                /* a sentence about `code`; never NULL */
    unsigned long long monotonicMs;
    long long wallClockMs;
} TessaroReadingStatus;

/* A tag arriving or departing, with what was gathered since it arrived. */
typedef struct TessaroPresenceEvent {
    int portIndex;
    int event;                       /* TESSARO_PRESENCE_ARRIVED or _DEPARTED */
    const unsigned char *epc;        /* valid until the callback returns */
    int epcLength;
    int antenna;                     /* of the last read */
    int reads;                       /* reads since it arrived (1 on arrival) */
    int peakRssi;                    /* the strongest of those reads, dBm */
    unsigned long long firstSeenMs;  /* monotonic */
    unsigned long long lastSeenMs;   /* monotonic */
    unsigned long long monotonicMs;  /* when the event was made */
    long long wallClockMs;
} TessaroPresenceEvent;

typedef void (TESSARO_CALL *TessaroTagCallback)(const TessaroTagRead *read, void *userData);
typedef void (TESSARO_CALL *TessaroStatusCallback)(const TessaroReadingStatus *status,
                                                   void *userData);
typedef void (TESSARO_CALL *TessaroPresenceCallback)(const TessaroPresenceEvent *event,
                                                     void *userData);

/* What a reading does. Fill it with TessaroReadingDefaults, then change what
 * you need. The inventory fields are the arguments of Inventory_G2 of the same
 * names (the fast form uses qValue, session, target, antenna, scanTime). */
typedef struct TessaroReadingOptions {
    int mode;                        /* TESSARO_READING_*; default INVENTORY */
    unsigned char address;           /* reader address; default 0xFF (any) */
    int qValue;                      /* default 4 */
    int session;                     /* default 0 */
    int maskFlag, maskMem, maskLength;
    unsigned char maskAddress[2];
    unsigned char maskData[32];
    int tidFlag, tidAddress, tidLength;
    int targetFlag, target, antenna, scanTime;
    unsigned pauseMs;                /* between rounds; default 100 */
    unsigned dedupWindowMs;          /* reads of an EPC within this window after a
                                        reported one are not reported; 0 (default) = off */
    unsigned lostAfterFailures;      /* failed rounds in a row that mean "lost"; default 2, at least 1 */
    unsigned retryIntervalMs;        /* between looks for a lost reader; default 1000 */
    int presence;                    /* 1: presence events; default 0 */
    unsigned departAfterMs;          /* default 3000 */
    unsigned maxTags;                /* tags remembered for de-duplication and presence;
                                        default 4096; more are counted in tagsOverflow */
    TessaroTagCallback onTag;        /* each may be NULL */
    TessaroStatusCallback onStatus;
    TessaroPresenceCallback onPresence;
    void *userData;                  /* handed to every callback */
} TessaroReadingOptions;

/* Counters of a reading. */
typedef struct TessaroReadingStats {
    unsigned long long rounds;       /* rounds run */
    unsigned long long reads;        /* tag records decoded */
    unsigned long long reported;     /* reads handed to onTag (after de-duplication) */
    unsigned long long lost;         /* times the reader was lost */
    unsigned long long badLists;     /* EPC-ID lists that did not decode to their end */
    unsigned long long tagsOverflow; /* tags not remembered because maxTags were */
    int running;                     /* 1 until the reading stops */
    int readerLost;                  /* 1 while the reader is lost */
} TessaroReadingStats;

typedef struct TessaroReading TessaroReading;

/* Fills `options` [out] with the defaults listed above (no callbacks).
 * Returns 0, or ERR_PARAMETER for NULL. */
TESSARO_API int TESSARO_CALL TessaroReadingDefaults(TessaroReadingOptions *options);

/* Starts reading `portIndex` (1 to 19, a port OpenUSBPort opened).
 *   options [in]  copied; see TessaroReadingOptions
 *   reading [out] the new reading; written only on success, before the
 *                 reading's thread starts, so its callbacks may read it there
 * Returns 0, ERR_PARAMETER for a NULL argument, a port index outside 1 to 19,
 * an unknown mode or maskLength outside 0 to 255, or ERR_COMM when the thread
 * could not be started. */
TESSARO_API int TESSARO_CALL TessaroReadingStart(int portIndex,
                                                 const TessaroReadingOptions *options,
                                                 TessaroReading **reading);

/* Stops the reading. From another thread it returns once the reading's thread
 * has ended, so no callback runs any more. From inside one of the reading's own
 * callbacks it only asks for the stop and returns at once; no callback follows
 * the one running. Stopping twice does no harm. The reading stays allocated:
 * TessaroReadingFree it.
 * Returns 0, or ERR_PARAMETER for NULL. */
TESSARO_API int TESSARO_CALL TessaroReadingStop(TessaroReading *reading);

/* Stops the reading as TessaroReadingStop from another thread does, then frees
 * it. Must not be called from the reading's own callbacks (it returns
 * ERR_PARAMETER there and does nothing). NULL is ignored.
 * Returns 0 or ERR_PARAMETER. */
TESSARO_API int TESSARO_CALL TessaroReadingFree(TessaroReading *reading);

/* Copies the reading's counters to `stats` [out]. Any thread, any time.
 * Returns 0, or ERR_PARAMETER for NULL. */
TESSARO_API int TESSARO_CALL TessaroReadingGetStats(TessaroReading *reading,
                                                    TessaroReadingStats *stats);

/* Closes the handle of `portIndex` and opens its reader again: the reader at
 * the interface path the slot was opened from, else the first reader of the
 * family that no other slot holds. Sends the sync report as OpenUSBPort does.
 * The slot's in-use flag does not change.
 * Returns 0; ERR_COMM when no reader was found (the slot is left closed:
 * commands on it return ERR_PORT_CLOSED until a later reopen succeeds) or the
 * sync report was not taken; ERR_PARAMETER for an index outside 1 to 19. */
TESSARO_API int TESSARO_CALL TessaroReopenPort(int portIndex);

/* Whether `portIndex` holds an open reader handle: OpenUSBPort opens every
 * reader it finds, at 1, 2, 3 ..., and hands out only 1; this tells which of
 * the others are there. No report is exchanged.
 * Returns 1 when open, 0 otherwise (also for an index outside 0 to 19). */
TESSARO_API int TESSARO_CALL TessaroPortIsOpen(int portIndex);

#ifdef __cplusplus
}
#endif

#endif /* TESSARO_READING_H */
