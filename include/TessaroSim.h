/*
 * TessaroSim - a simulated reader of the 0x0470/0xA112 family.
 *
 * A TessaroSim is a USB bus with one or more simulated readers on it. It plugs
 * into libTessaro through the transport seam (TessaroTransport.h): install it
 * and OpenUSBPort finds its readers, every command of Tessaro.h is answered
 * over the same 64-byte report protocol a real reader speaks (poll, read,
 * acknowledge, sync; frames cut into reports of at most 62 bytes; empty
 * "busy" reports while an inventory runs), and the readers keep a field of
 * Gen2 and ISO 18000-6B tags that behave as tags do: passwords, locks,
 * permalocks, kill, privacy, EAS, memory bounds.
 *
 *   TessaroSim *sim = TessaroSimCreate(TESSARO_SIM_VIRTUAL_CLOCK);
 *   int reader = TessaroSimAddReader(sim);
 *   TessaroSimLoadPopulation(sim, reader, "sim/populations/shelf.tags", NULL, 0);
 *   TessaroSimInstall(sim);
 *   OpenUSBPort(&port);  ... commands ...
 *   TessaroSimDestroy(sim);
 *
 * Time: with the virtual clock the simulator is also the library's clock;
 * time moves only when the library sleeps or waits for a report, so every
 * time bound runs in microseconds. With the real clock the library uses the
 * platform clock and the simulator waits for real.
 *
 * Functions returning int return 0 (or a count or index, where stated) on
 * success and TESSARO_SIM_ERROR (-1) when an argument is refused (NULL sim,
 * unknown reader or tag, value out of range); nothing changes then. Every
 * function may be called from any thread; a simulator serialises its own
 * calls. docs/simulator.md describes the reader's behaviour in full.
 */
#ifndef TESSARO_SIM_H
#define TESSARO_SIM_H

#include <stddef.h>

#include "TessaroTransport.h"

#if defined(_WIN32) || defined(__CYGWIN__)
#  ifdef TESSARO_SIM_BUILDING_LIBRARY
#    define TESSARO_SIM_API __declspec(dllexport)
#  else
#    define TESSARO_SIM_API __declspec(dllimport)
#  endif
#else
#  define TESSARO_SIM_API __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

#define TESSARO_SIM_ERROR (-1)

/* Clocks. */
enum {
    TESSARO_SIM_VIRTUAL_CLOCK = 0, /* tests: instant; the simulator is the library's clock */
    TESSARO_SIM_REAL_CLOCK = 1     /* demos and the CLI: real waits, the platform clock */
};

/* Reader statuses the simulated reader answers with, besides 0 (success). */
enum {
    TESSARO_SIM_STATUS_INVENTORY_DONE = 0x01, /* last frame of an inventory or read-out */
    TESSARO_SIM_STATUS_SCAN_OVERFLOW = 0x02,  /* the scan time ran out before every tag was read */
    TESSARO_SIM_STATUS_MORE_FRAMES = 0x03,    /* more frames of the same answer follow */
    TESSARO_SIM_STATUS_TAG_SILENT = 0xFA,     /* a tag was there but did not complete the operation
                                                 (wrong password, command it does not support) */
    TESSARO_SIM_STATUS_NO_TAG = 0xFB,         /* no tag answered (or no EAS alarm) */
    TESSARO_SIM_STATUS_TAG_ERROR = 0xFC,      /* the tag answered with an error byte (TAG_ERROR) */
    TESSARO_SIM_STATUS_LENGTH = 0xFD,         /* the frame's data has the wrong length */
    TESSARO_SIM_STATUS_ILLEGAL = 0xFE,        /* unknown command, or calibration outside self-test */
    TESSARO_SIM_STATUS_PARAMETER = 0xFF       /* a parameter out of the reader's range */
};

/* Tag error bytes that come with TAG_ERROR (the Gen2 error codes). */
enum {
    TESSARO_SIM_TAG_OTHER_ERROR = 0x00,
    TESSARO_SIM_TAG_MEMORY_OVERRUN = 0x03,
    TESSARO_SIM_TAG_MEMORY_LOCKED = 0x04,
    TESSARO_SIM_TAG_INSUFFICIENT_POWER = 0x0B
};

/* Memory of a tag, for TessaroSimReadTagMemory. */
enum {
    TESSARO_SIM_BANK_RESERVED = 0, /* Gen2: kill password (words 0-1), access password (words 2-3) */
    TESSARO_SIM_BANK_EPC = 1,      /* Gen2: StoredCRC, PC, EPC */
    TESSARO_SIM_BANK_TID = 2,
    TESSARO_SIM_BANK_USER = 3,
    TESSARO_SIM_6B_MEMORY = 4,     /* 6B: the byte memory (bytes 0-7 are the identifier) */
    TESSARO_SIM_6B_LOCKS = 5       /* 6B: one byte per memory byte, 1 = locked */
};

/* Lock state of a Gen2 password or memory bank (the lockAction of Lock_G2). */
enum {
    TESSARO_SIM_UNLOCKED = 0,        /* readable and writable in any state */
    TESSARO_SIM_PERMA_UNLOCKED = 1,  /* the same, and can never be locked */
    TESSARO_SIM_LOCKED = 2,          /* needs the access password */
    TESSARO_SIM_PERMA_LOCKED = 3     /* never writable (passwords: never readable either) */
};

/* Index of a lock in TessaroSimTagState.locks (the lockTarget of Lock_G2). */
enum {
    TESSARO_SIM_LOCK_KILL = 0,
    TESSARO_SIM_LOCK_ACCESS = 1,
    TESSARO_SIM_LOCK_EPC = 2,
    TESSARO_SIM_LOCK_TID = 3,
    TESSARO_SIM_LOCK_USER = 4
};

enum { TESSARO_SIM_GEN2 = 1, TESSARO_SIM_6B = 2 };

/* Faults, for TessaroSimInjectFault. "Input report" means a report that
 * carries answer bytes; empty busy reports are not counted. */
enum {
    TESSARO_SIM_FAULT_DROP = 1,      /* the next `count` input reports are lost: the read waits in vain */
    TESSARO_SIM_FAULT_DUPLICATE,     /* the next `count` input reports come twice */
    TESSARO_SIM_FAULT_DELAY,         /* the next `count` input reports come `value` ms late */
    TESSARO_SIM_FAULT_CORRUPT,       /* frame byte `value` of the next `count` input reports is inverted */
    TESSARO_SIM_FAULT_BAD_COUNT,     /* the next `count` input reports claim 63 frame bytes */
    TESSARO_SIM_FAULT_REFUSE_WRITES, /* the next `count` output reports are refused (-1: until cleared);
                                        `value` 0: any report, 2: data reports, 3: control reports */
    TESSARO_SIM_FAULT_SILENT,        /* the next `count` reads time out (-1: until cleared) */
    TESSARO_SIM_FAULT_UNPLUG,        /* the reader is unplugged after `value` more input reports */
    TESSARO_SIM_FAULT_WRONG_ECHO,    /* the next `count` answers echo the command code + 1 */
    TESSARO_SIM_FAULT_BAD_CRC        /* the next `count` answers carry a wrong CRC */
};

typedef struct TessaroSim TessaroSim;

/* Everything a reader keeps: each set command stores into it, each get command
 * and GetReaderInformation / GetSystemParameter answer from it. Fields marked
 * "read only" are ignored by TessaroSimSetReaderState. */
typedef struct TessaroSimReaderState {
    /* GetReaderInformation, data bytes 0 to 11 */
    unsigned char version[2];          /* 0, 1 */
    unsigned char readerType;          /* 2 */
    unsigned char protocols;           /* 3: bit 1 Gen2, bit 0 ISO 18000-6B */
    unsigned char maxChannelByte;      /* 4: SetRegion */
    unsigned char minChannelByte;      /* 5: SetRegion */
    unsigned char rfPower;             /* 6: SetRfPower, dBm 0 to 30 */
    unsigned char scanTime;            /* 7: SetInventoryScanTime, 100 ms units, 3 to 255 */
    unsigned char antennaMask;         /* 8: SetAntennaMultiplexing, bit k = antenna k + 1 */
    unsigned char beepNotification;    /* 9: SetBeepNotification */
    unsigned char workMode;            /* 10: SetWorkMode; also GetSystemParameter byte 0 */
    unsigned char commType;            /* 11: SetCommType */

    unsigned char address;             /* SetAddress; frames for other addresses are ignored */

    /* GetSystemParameter (also workMode, above) */
    unsigned char autoParam[2];        /* bytes 1, 2: SetResponsePamametersofAuto_runningMode */
    unsigned char tagType;             /* byte 3: SelectTagType */
    unsigned char inventoryInterval;   /* byte 4: SetInventoryInterval */
    unsigned char triggerTime;         /* byte 5: SetTriggerTime */
    unsigned char mask[36];            /* bytes 6 to 41: SetMask (bank, address 2, bits, 32 bytes) */
    unsigned char easSensitivity;      /* byte 42: SetEASSensitivity */
    unsigned char tidParam[2];         /* bytes 43, 44: SetTIDParameter */

    unsigned char revDelay;            /* SetRevDelay / GetRevDelay */
    unsigned char buzzerLed[3];        /* BuzzerAndLEDControl */
    unsigned char customFunction;      /* SetTagCustomFunction */
    unsigned char relay;               /* SetRelay */
    unsigned char gpioOutputs;         /* SetGPIO */
    unsigned char gpioInputs;          /* input lines, ORed into GetGPIOStatus */
    unsigned char pulseOutput;         /* SetNotificationPulseOutput */
    unsigned char serialNumber[4];     /* SetSeriaNo / GetSeriaNo */
    unsigned char workTime[2];         /* SetWorkTime / GetWorkTime */
    unsigned char moduleVersion[2];    /* GetModuleVersion */
    unsigned char clock[6];            /* SetReal_timeClock / GetTime: year - 2000, month, day,
                                          hour, minute, second; runs with the simulation's clock */
    unsigned char saveLength;          /* SetSaveLen / GetSaveLen: 0 = IDs up to 16 bytes, 1 = up to 62 */
    int bufferedTags;                  /* read only: unique tags in the tag buffer */

    /* keyboard-emulation mode */
    unsigned char keyboardMode;        /* 1 after ChangeToHID */
    unsigned char hidWorkPara[6];      /* SetHidWorkPara / GetHidWorkPara */
    unsigned char hidBeepEnable;       /* SetHidBeepEn / GetHidBeepEn */

    /* calibration (the commands need self-test mode) */
    unsigned char selfTestMode;        /* InSelfTestMode */
    unsigned char dac;                 /* SetDAC / GetDAC */
    unsigned char powerList[31];       /* SolidifyDACandPowerlist */
    unsigned char startInfo[9];        /* GetStartInformation */
    unsigned char rfOutput;            /* RfOutput; DeleteRfOutput sets it to 0 */
    unsigned char testFrequency[4];    /* EnableTestFreq */
    unsigned char testMode;            /* EnableTestFreq */
    unsigned char adValues[8][2];      /* GetADValue, by channel (low 3 bits) */
    unsigned char aValues[16][8];      /* SetAValue, by selector (low 4 bits): aValue1, aValue2 */
    unsigned char checkAnt;            /* SetCheckAnt */
    unsigned char checkPower[4];       /* GetCheckPWR */
    unsigned char dcOffset[2];         /* SetDCOffset */
    unsigned char qs[2];               /* SetQS / GetQS */
    int flashWrites;                   /* read only: SetFlashRom calls */
} TessaroSimReaderState;

/* State of one tag beside its memory. */
typedef struct TessaroSimTagState {
    int kind;              /* TESSARO_SIM_GEN2 or TESSARO_SIM_6B */
    int antenna;           /* 1 to 4; 0 = out of the field */
    int rssi;              /* dBm at full power */
    int killed;            /* Gen2: killed tags never answer again */
    int hidden;            /* Gen2: privacy state */
    int eas;               /* Gen2: EAS alarm bit */
    int qtSupported;       /* Gen2: a Monza 4QT tag */
    int qt;                /* Gen2: its QT parameter */
    int locks[5];          /* Gen2: TESSARO_SIM_UNLOCKED ... by TESSARO_SIM_LOCK_KILL ... */
    int userBlockLocks;    /* Gen2: bit k = User words 4k to 4k + 3 permalocked */
} TessaroSimTagState;

/* Counters of what a reader saw, for tests. */
typedef struct TessaroSimCounters {
    int dataReports;     /* data reports written to the reader */
    int framesAnswered;  /* command frames the reader answered */
    int framesIgnored;   /* frames ignored: bad CRC or length, another address */
    int polls, acks, syncs, changeToHid;
    int inputReports;    /* input reports read that carried bytes */
    int busyReports;     /* empty input reports read */
    int lastCommand;     /* code of the last command answered; -1 before any */
} TessaroSimCounters;

/* Creates an empty bus (no reader yet).
 *   clock: TESSARO_SIM_VIRTUAL_CLOCK or TESSARO_SIM_REAL_CLOCK
 * Returns the simulator, or NULL for another clock value or no memory. */
TESSARO_SIM_API TessaroSim *TESSARO_CALL TessaroSimCreate(int clock);

/* Uninstalls the simulator if TessaroSimInstall installed it (the library
 * goes back to its platform transport and closes the simulator's handles),
 * then frees it. NULL is ignored. A simulator installed by hand with
 * TessaroSimGetTransport must be uninstalled by the caller first. */
TESSARO_SIM_API void TESSARO_CALL TessaroSimDestroy(TessaroSim *sim);

/* Plugs a new reader into the bus, with the default settings and an empty
 * field. Readers are enumerated in the order they were added, so the first
 * gets port index 1 and the second index 2 (OpenUSBPort keeps it open there).
 * Returns the reader's number (0, 1, ...) or TESSARO_SIM_ERROR. */
TESSARO_SIM_API int TESSARO_CALL TessaroSimAddReader(TessaroSim *sim);

/* Fills `transport` [out] with the simulator's transport (version 1, context
 * = sim; tickMs and sleepMs set with the virtual clock, NULL with the real
 * one). Returns 0 or TESSARO_SIM_ERROR. */
TESSARO_SIM_API int TESSARO_CALL TessaroSimGetTransport(TessaroSim *sim,
                                                        TessaroTransport *transport);

/* Installs the simulator as libTessaro's transport (TessaroSetTransport: the
 * library returns to its load state). Returns 0 or TESSARO_SIM_ERROR. */
TESSARO_SIM_API int TESSARO_CALL TessaroSimInstall(TessaroSim *sim);

/* The simulation's millisecond counter (wraps at 2^32). 0 for NULL. */
TESSARO_SIM_API unsigned TESSARO_CALL TessaroSimNowMs(TessaroSim *sim);

/* Lets `ms` milliseconds pass: the virtual clock moves on, the real clock is
 * slept on. Returns 0 or TESSARO_SIM_ERROR. */
TESSARO_SIM_API int TESSARO_CALL TessaroSimAdvanceMs(TessaroSim *sim, unsigned ms);

/* Copies the reader's settings to `state` [out]. */
TESSARO_SIM_API int TESSARO_CALL TessaroSimGetReaderState(TessaroSim *sim, int reader,
                                                          TessaroSimReaderState *state);

/* Replaces the reader's settings with `state` [in] (read-only fields are
 * ignored; `clock` sets the reader's real-time clock). Refuses a state whose
 * clock is not a valid date and time. */
TESSARO_SIM_API int TESSARO_CALL TessaroSimSetReaderState(TessaroSim *sim, int reader,
                                                          const TessaroSimReaderState *state);

/* Copies the reader's counters to `counters` [out]. */
TESSARO_SIM_API int TESSARO_CALL TessaroSimGetCounters(TessaroSim *sim, int reader,
                                                       TessaroSimCounters *counters);

/* Adds one tag described by one line of the population format
 * (docs/simulator.md), e.g. "gen2 epc=300833B2DDD9014000000001 antenna=2 rssi=-55".
 *   error [out] receives a message when the line is refused (may be NULL)
 *   errorSize   size of `error` in bytes
 * Returns the tag's number (0, 1, ... in the reader's field) or TESSARO_SIM_ERROR. */
TESSARO_SIM_API int TESSARO_CALL TessaroSimAddTag(TessaroSim *sim, int reader,
                                                  const char *description, char *error,
                                                  size_t errorSize);

/* Adds the tags of a population file. All or nothing: with a bad line no tag
 * is added and `error` [out] says which line and why ("line 7: ...").
 * Returns the number of tags added or TESSARO_SIM_ERROR (also when the file
 * cannot be read). */
TESSARO_SIM_API int TESSARO_CALL TessaroSimLoadPopulation(TessaroSim *sim, int reader,
                                                          const char *path, char *error,
                                                          size_t errorSize);

/* The same for a population held in a string. */
TESSARO_SIM_API int TESSARO_CALL TessaroSimLoadPopulationText(TessaroSim *sim, int reader,
                                                              const char *text, char *error,
                                                              size_t errorSize);

/* Number of tags in the reader's field (killed ones and those out of the field
 * included), or TESSARO_SIM_ERROR. */
TESSARO_SIM_API int TESSARO_CALL TessaroSimTagCount(TessaroSim *sim, int reader);

/* Moves a tag: `antenna` 1 to 4, or 0 to take it out of the field; `rssi` in
 * dBm at full power (-127 to 0). */
TESSARO_SIM_API int TESSARO_CALL TessaroSimPlaceTag(TessaroSim *sim, int reader, int tag,
                                                    int antenna, int rssi);

/* Copies the tag's state to `state` [out]. */
TESSARO_SIM_API int TESSARO_CALL TessaroSimGetTagState(TessaroSim *sim, int reader, int tag,
                                                       TessaroSimTagState *state);

/* Copies a tag's memory to `out` [out], at most `size` bytes.
 *   bank: TESSARO_SIM_BANK_* for a Gen2 tag (words high byte first; the EPC
 *         bank's StoredCRC as the tag computes it), TESSARO_SIM_6B_MEMORY or
 *         TESSARO_SIM_6B_LOCKS for a 6B tag
 * Returns the length of that memory in bytes (which may exceed `size`), or
 * TESSARO_SIM_ERROR for a bank the tag does not have. */
TESSARO_SIM_API int TESSARO_CALL TessaroSimReadTagMemory(TessaroSim *sim, int reader, int tag,
                                                         int bank, unsigned char *out, int size);

/* Arms a fault on a reader (TESSARO_SIM_FAULT_*; `count` and `value` as the
 * kind says). Faults of different kinds add up; arming a kind again replaces
 * its earlier arming. */
TESSARO_SIM_API int TESSARO_CALL TessaroSimInjectFault(TessaroSim *sim, int reader, int kind,
                                                       int count, int value);

/* Cuts every later answer into input reports of these sizes (1 to 62 bytes),
 * the last size repeating; `count` 0 goes back to reports of 62 bytes.
 * Each answer frame starts a new report. */
TESSARO_SIM_API int TESSARO_CALL TessaroSimSplitReports(TessaroSim *sim, int reader,
                                                        const unsigned char *sizes, int count);

/* Disarms every fault of the reader and goes back to reports of 62 bytes. */
TESSARO_SIM_API int TESSARO_CALL TessaroSimClearFaults(TessaroSim *sim, int reader);

/* Unplugs (`plugged` 0) or plugs in (1) a reader. An unplugged reader is not
 * enumerated and every transfer on its handles fails; handles opened before
 * an unplug stay dead after the reader is plugged in again. */
TESSARO_SIM_API int TESSARO_CALL TessaroSimSetPlugged(TessaroSim *sim, int reader, int plugged);

/* ------------------------------------------------------------------------
 * Replay: a transport that answers from a transcript
 *
 * A transcript is the record of a conversation with a reader (`tessaro
 * --record FILE`), one report per line:
 *
 *   # tessaro transcript 1           comments and blank lines are skipped
 *   > 0 0205040021D96A00...           host to reader: "> ms" and 128 hex digits
 *   < 50 0012110021000302...          reader to host: the same
 *   < 150 none                        a read that brought nothing in time
 *   < 150 error                       a read that failed
 *   > 200 0203... failed              a write that did not go out in full
 *
 * The replay transport shows one reader (0470:A112) and answers every read
 * with the next recorded input report. Each report the host writes is
 * compared with the next recorded one: a report that differs, a write where
 * the transcript has a read (or the other way round) and a report past the
 * transcript's end are counted as differences; the first is described. The
 * replay keeps going in transcript order after a difference: a read where a
 * write was recorded, or any read past the end, brings nothing.
 * Time is virtual: it moves to each report's recorded time, with every sleep
 * and with the wait of a read that brings nothing.
 * ------------------------------------------------------------------------ */

typedef struct TessaroSimReplay TessaroSimReplay;

/* Reads the transcript at `path` (all or nothing).
 *   error [out] receives "line 7: ..." or why the file cannot be read (may be NULL)
 *   errorSize   size of `error` in bytes
 * Returns the replay, or NULL. */
TESSARO_SIM_API TessaroSimReplay *TESSARO_CALL TessaroSimReplayOpen(const char *path, char *error,
                                                                    size_t errorSize);

/* The same for a transcript held in a string. */
TESSARO_SIM_API TessaroSimReplay *TESSARO_CALL TessaroSimReplayOpenText(const char *text,
                                                                        char *error,
                                                                        size_t errorSize);

/* Fills `transport` [out] with the replay's transport (version 1, context =
 * replay, with its virtual clock), to install with TessaroSetTransport. The
 * replay must outlive its use. Returns 0 or TESSARO_SIM_ERROR. */
TESSARO_SIM_API int TESSARO_CALL TessaroSimReplayGetTransport(TessaroSimReplay *replay,
                                                              TessaroTransport *transport);

/* The number of differences so far (0: the host wrote exactly what was
 * recorded), or TESSARO_SIM_ERROR for NULL.
 *   report [out] the first difference in words, or "" (may be NULL)
 *   reportSize   size of `report` in bytes */
TESSARO_SIM_API int TESSARO_CALL TessaroSimReplayDifferences(TessaroSimReplay *replay, char *report,
                                                             size_t reportSize);

/* Recorded reports not used yet (0 when the host went through the whole
 * transcript), or TESSARO_SIM_ERROR for NULL. */
TESSARO_SIM_API int TESSARO_CALL TessaroSimReplayRemaining(TessaroSimReplay *replay);

/* Frees the replay; NULL is ignored. Uninstall its transport first. */
TESSARO_SIM_API void TESSARO_CALL TessaroSimReplayDestroy(TessaroSimReplay *replay);

#ifdef __cplusplus
}
#endif

#endif /* TESSARO_SIM_H */
