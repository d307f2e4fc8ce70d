/* The C interface of the tuner library Lumorath.
 *
 * The program never links the library: it loads it at device enumeration time and
 * resolves these seven functions by name (tuner_library.h). Every function returns
 * nonzero for success. Plain C linkage, the platform's default C calling convention,
 * undecorated names. */
#ifndef VESKER_TUNER_LUMORATH_H
#define VESKER_TUNER_LUMORATH_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* One carrier as the blind search reports it: 112 bytes, little-endian, no pointers.
 * The library fixes the layout; the asserts below pin every offset. */
typedef struct TransponderRecord {
    int32_t locked;          /* nonzero: the search locked a carrier in this step */
    uint32_t frequency;      /* kHz, satellite (downlink) frequency of the carrier centre */
    int32_t polarization;    /* 0 horizontal, 1 vertical, 2 circular left, 3 circular right */
    uint32_t symbol_rate;    /* symbols per second */
    int32_t system;          /* delivery system: 1 DVB-S, 2 DVB-S2, 3 DSS, 4 DVB-Turbo, ... */
    int32_t modulation;      /* modulation code */
    int32_t fec;             /* inner code rate code */
    int32_t inversion;       /* 1 normal, 2 inverted, other unknown */
    int32_t rolloff;         /* 1 0.35, 2 0.25, 3 0.20, 4 0.15, 5 0.10, 6 0.5 */
    int32_t pilot;           /* 1 off, 2 on */
    int32_t frame_length;    /* 0 normal, 1 short */
    int32_t coding_mode;     /* 0 CCM, 1 ACM/VCM */
    int32_t stream_type;     /* 0 transport, 1 reserved, 2 generic continuous, 3 generic packetized */
    uint32_t stream_count;   /* input streams listed in stream_ids; 0 = single input stream */
    uint8_t stream_ids[16];  /* input stream identifiers */
    uint8_t issy;            /* nonzero: input stream synchronisation */
    uint8_t npd;             /* nonzero: null packet deletion */
    uint8_t gap[2];          /* alignment gap, free for the library */
    uint32_t carrier_width;  /* kHz, occupied width */
    uint32_t bit_rate;       /* bit/s */
    int32_t rf_level;        /* dBm */
    double snr;              /* dB, measured signal-to-noise ratio */
    uint8_t reserved[16];    /* free for the library */
} TransponderRecord;

#ifdef __cplusplus
#define LUMORATH_LAYOUT_CHECK(condition) static_assert(condition, #condition)
#else
#define LUMORATH_LAYOUT_CHECK(condition) _Static_assert(condition, #condition)
#endif
LUMORATH_LAYOUT_CHECK(sizeof(TransponderRecord) == 112);
LUMORATH_LAYOUT_CHECK(offsetof(TransponderRecord, locked) == 0);
LUMORATH_LAYOUT_CHECK(offsetof(TransponderRecord, frequency) == 4);
LUMORATH_LAYOUT_CHECK(offsetof(TransponderRecord, polarization) == 8);
LUMORATH_LAYOUT_CHECK(offsetof(TransponderRecord, symbol_rate) == 12);
LUMORATH_LAYOUT_CHECK(offsetof(TransponderRecord, system) == 16);
LUMORATH_LAYOUT_CHECK(offsetof(TransponderRecord, modulation) == 20);
LUMORATH_LAYOUT_CHECK(offsetof(TransponderRecord, fec) == 24);
LUMORATH_LAYOUT_CHECK(offsetof(TransponderRecord, inversion) == 28);
LUMORATH_LAYOUT_CHECK(offsetof(TransponderRecord, rolloff) == 32);
LUMORATH_LAYOUT_CHECK(offsetof(TransponderRecord, pilot) == 36);
LUMORATH_LAYOUT_CHECK(offsetof(TransponderRecord, frame_length) == 40);
LUMORATH_LAYOUT_CHECK(offsetof(TransponderRecord, coding_mode) == 44);
LUMORATH_LAYOUT_CHECK(offsetof(TransponderRecord, stream_type) == 48);
LUMORATH_LAYOUT_CHECK(offsetof(TransponderRecord, stream_count) == 52);
LUMORATH_LAYOUT_CHECK(offsetof(TransponderRecord, stream_ids) == 56);
LUMORATH_LAYOUT_CHECK(offsetof(TransponderRecord, issy) == 72);
LUMORATH_LAYOUT_CHECK(offsetof(TransponderRecord, npd) == 73);
LUMORATH_LAYOUT_CHECK(offsetof(TransponderRecord, carrier_width) == 76);
LUMORATH_LAYOUT_CHECK(offsetof(TransponderRecord, bit_rate) == 80);
LUMORATH_LAYOUT_CHECK(offsetof(TransponderRecord, rf_level) == 84);
LUMORATH_LAYOUT_CHECK(offsetof(TransponderRecord, snr) == 88);
LUMORATH_LAYOUT_CHECK(offsetof(TransponderRecord, reserved) == 96);
#undef LUMORATH_LAYOUT_CHECK

/* Capability bits of GetCaps. */
#define LUMORATH_CAP_TONE_BURST 0x10
#define LUMORATH_CAP_DISEQC 0x40
#define LUMORATH_CAP_BLIND_SEARCH 0x200

/* SendDiSEqC kinds. */
#define LUMORATH_SEND_TONE_BURST 1
#define LUMORATH_SEND_COMMITTED_SWITCH 2

typedef void (*LumorathDeviceCallback)(int index, const char *name);

/* The seven exported functions. */
int CheckForDVBEx(LumorathDeviceCallback callback); /* calls back once per device */
int StartDVBEx(int device);
int StopDVB(void);
int GetCaps(void);
int SendDiSEqC(int kind, int value);                /* kind 1 tone burst, 2 committed switch */
int SendDiseqCmd(unsigned char *bytes, int count);  /* one raw DiSEqC message, framing byte first */
int Vesker(unsigned int frequency_khz, unsigned int step_khz, unsigned int polarization,
           unsigned int lof1_khz, unsigned int lof2_khz, unsigned int lofsw_khz,
           unsigned int min_symbol_rate, TransponderRecord *record);

/* Optional (the program looks it up and does without it; the simulated tuner and the DVB tuner
 * library offer it): the time a real tuner is modelled to take for a scan of start_khz..stop_khz
 * as the program steps it, with the arguments of Vesker, in ms (the DVB library: the longest a
 * sweep takes), and the percent of the modelled time the library actually waits (a simulated
 * tuner's pace; 100 for a real one). Called after the device's start, once per interval before
 * the first pass. Nonzero for success; 0 when the library has no figure for this device. */
int LumorathModelledScan(unsigned int start_khz, unsigned int stop_khz, unsigned int step_khz,
                         unsigned int polarization, unsigned int lof1_khz, unsigned int lof2_khz,
                         unsigned int lofsw_khz, unsigned int min_symbol_rate, unsigned int *modelled_ms,
                         unsigned int *pace_percent);
typedef int (*LumorathModelledScanFunction)(unsigned int, unsigned int, unsigned int, unsigned int, unsigned int,
                                            unsigned int, unsigned int, unsigned int, unsigned int *,
                                            unsigned int *);

#ifdef __cplusplus
}
#endif

#endif
