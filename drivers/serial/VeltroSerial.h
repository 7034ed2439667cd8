/*
 * Diagnostics of the serial Veltro driver, beyond the 21 entry points of
 * veltro/veltro.h: counters of the link traffic and the adapter's own clock,
 * for benchmarks and tests. Not used by Kestrin itself.
 */
#ifndef VELTRO_SERIAL_H
#define VELTRO_SERIAL_H

#include <stdint.h>

#include "veltro/veltro.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef struct VeltroSerialStats {
    uint64_t spiwrCalls;    /* SPIWR calls */
    uint64_t spiwCalls;     /* SPIW calls */
    uint64_t delayCalls;    /* Delay calls */
    uint64_t delayMicros;   /* sum of the Delay arguments */
    uint64_t frames;        /* command frames sent */
    uint64_t bytesOut;      /* bytes sent to the adapter */
    uint64_t bytesIn;       /* bytes received from the adapter */
    uint64_t transferWaits; /* waits for data from the target (one per SPIWR) */
    uint64_t creditWaits;   /* waits for room in the adapter's receive buffer */
    uint64_t drainWaits;    /* waits for all queued work (disconnect, clock reads) */
    uint64_t linkBaud;      /* the serial rate agreed at connect; 0 without a connection */
    uint64_t pollCalls;     /* SPIPoll calls the adapter ran itself */
} VeltroSerialStats;

/* Waits until the adapter has carried out everything sent so far and reads its
 * microsecond clock. 0 on success, -1 without a working connection. */
VELTRO_EXPORT int32_t VELTRO_CALL VeltroSerial_AdapterMicros(uint32_t* micros);
VELTRO_EXPORT void VELTRO_CALL VeltroSerial_GetStats(VeltroSerialStats* stats);
VELTRO_EXPORT void VELTRO_CALL VeltroSerial_ResetStats(void);

typedef int32_t(VELTRO_CALL* VeltroSerialAdapterMicrosFn)(uint32_t*);
typedef void(VELTRO_CALL* VeltroSerialGetStatsFn)(VeltroSerialStats*);
typedef void(VELTRO_CALL* VeltroSerialResetStatsFn)(void);

#ifdef __cplusplus
}
#endif

#endif /* VELTRO_SERIAL_H */
