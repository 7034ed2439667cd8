/*
 * Veltro adapter driver interface.
 *
 * Kestrin reaches the Veltro serial programming adapter only through a driver
 * library that exports the 21 entry points below (libVeltro.so on Linux,
 * Veltro.dll on Windows), and optionally the extensions at the end. Anyone may write a driver for another adapter: export
 * these names with C linkage and this calling convention.
 *
 * Conventions
 *  - Every integer is a 32-bit signed value.
 *  - A byte flag is 0 or 1, passed in a 32-bit argument slot.
 *  - Buffers belong to the caller; a driver never keeps a pointer past the call.
 *  - Strings returned by VeltroGetPortName belong to the driver and stay valid
 *    at least until the next call of any entry point.
 *  - Consecutive SPIW/SPIWR calls form one continuous byte stream to the target;
 *    a call boundary means nothing to the target. Each sent byte is paired with
 *    exactly one received byte. Callers never pass more than 16 bytes per call.
 *  - Delay(us): the next operation on the adapter starts no earlier than that
 *    time after the call.
 *  - SetCycleTime(cycle): how long each SCK phase lasts at least. 0: the
 *    adapter's automatic clock for the read mode; 1..255: cycle x 0.5 us;
 *    VELTRO_CYCLE_FINE + 1..255: that many 1/16 us (for targets from 12 MHz;
 *    a driver that cannot clock that fast rounds up, never down).
 */
#ifndef VELTRO_VELTRO_H
#define VELTRO_VELTRO_H

#include <stdint.h>

#if defined(_WIN32) && !defined(_WIN64)
#define VELTRO_CALL __stdcall
#else
#define VELTRO_CALL
#endif

#if defined(_WIN32)
#define VELTRO_EXPORT __declspec(dllexport)
#else
#define VELTRO_EXPORT __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Results of Connect. */
enum {
    VELTRO_CONNECT_OK = 0,            /* adapter answered, port open */
    VELTRO_CONNECT_PORT_FAILED = 1,   /* the serial port cannot be opened */
    VELTRO_CONNECT_NO_ADAPTER = 2,    /* no adapter answered on the port */
    VELTRO_CONNECT_OLD_FIRMWARE = 3,  /* firmware version not supported */
    VELTRO_CONNECT_NO_DRIVER = 4      /* only ever produced by the host's fallback */
};

/* SetCycleTime values above this count sixteenths of a microsecond. */
#define VELTRO_CYCLE_FINE 256

/* The sixteenths of a microsecond a SetCycleTime value names; 0 for a value
 * in 0.5 us units. */
static inline int32_t VeltroCycleSixteenths(int32_t cycle) {
    return cycle > VELTRO_CYCLE_FINE && cycle <= VELTRO_CYCLE_FINE + 255 ? cycle - VELTRO_CYCLE_FINE : 0;
}

/* Entry points, in the order in which the host looks them up. */
int32_t VELTRO_CALL GetVersion(void);
int32_t VELTRO_CALL GetNumPorts(void);
const char* VELTRO_CALL GetPortName(int32_t port);
int32_t VELTRO_CALL Connect(int32_t port, int32_t mode);
void VELTRO_CALL Disconnect(void);
int32_t VELTRO_CALL GetFirmware(void);
void VELTRO_CALL SetReadMode(int32_t mode);
void VELTRO_CALL SetEnables(int32_t enable, int32_t mode);
void VELTRO_CALL SetLevels(int32_t sck, int32_t mosi, int32_t miso);
void VELTRO_CALL SetCycleTime(int32_t cycle);
int32_t VELTRO_CALL SPIWR(const uint8_t* send, uint8_t* receive, int32_t count);
int32_t VELTRO_CALL SPIW(const uint8_t* send, int32_t count);
int32_t VELTRO_CALL GetResetFB(void);
void VELTRO_CALL GetLines(int32_t* a, int32_t* b, int32_t* c, int32_t* d, int32_t* e, int32_t* f);
void VELTRO_CALL SetReady(int32_t ready);
void VELTRO_CALL GetDefaults(int32_t* a, int32_t* b, int32_t* c, int32_t* d, int32_t* e);
int32_t VELTRO_CALL GetCycleTime(void);
void VELTRO_CALL SetLEDs(int32_t led1, int32_t led2);
void VELTRO_CALL SetLines(int32_t a, int32_t b, int32_t c, int32_t d);
void VELTRO_CALL Delay(int32_t microseconds);
void VELTRO_CALL CheckSerialPorts(int32_t flags);

/* Pointer types of the entry points, for hosts that bind them at run time. */
typedef int32_t(VELTRO_CALL* VeltroGetVersionFn)(void);
typedef int32_t(VELTRO_CALL* VeltroGetNumPortsFn)(void);
typedef const char*(VELTRO_CALL* VeltroGetPortNameFn)(int32_t);
typedef int32_t(VELTRO_CALL* VeltroConnectFn)(int32_t, int32_t);
typedef void(VELTRO_CALL* VeltroDisconnectFn)(void);
typedef int32_t(VELTRO_CALL* VeltroGetFirmwareFn)(void);
typedef void(VELTRO_CALL* VeltroSetReadModeFn)(int32_t);
typedef void(VELTRO_CALL* VeltroSetEnablesFn)(int32_t, int32_t);
typedef void(VELTRO_CALL* VeltroSetLevelsFn)(int32_t, int32_t, int32_t);
typedef void(VELTRO_CALL* VeltroSetCycleTimeFn)(int32_t);
typedef int32_t(VELTRO_CALL* VeltroSPIWRFn)(const uint8_t*, uint8_t*, int32_t);
typedef int32_t(VELTRO_CALL* VeltroSPIWFn)(const uint8_t*, int32_t);
typedef int32_t(VELTRO_CALL* VeltroGetResetFBFn)(void);
typedef void(VELTRO_CALL* VeltroGetLinesFn)(int32_t*, int32_t*, int32_t*, int32_t*, int32_t*, int32_t*);
typedef void(VELTRO_CALL* VeltroSetReadyFn)(int32_t);
typedef void(VELTRO_CALL* VeltroGetDefaultsFn)(int32_t*, int32_t*, int32_t*, int32_t*, int32_t*);
typedef int32_t(VELTRO_CALL* VeltroGetCycleTimeFn)(void);
typedef void(VELTRO_CALL* VeltroSetLEDsFn)(int32_t, int32_t);
typedef void(VELTRO_CALL* VeltroSetLinesFn)(int32_t, int32_t, int32_t, int32_t);
typedef void(VELTRO_CALL* VeltroDelayFn)(int32_t);
typedef void(VELTRO_CALL* VeltroCheckSerialPortsFn)(int32_t);

/*
 * Optional extension: pipelined transfers.
 *
 * A driver may export these entry points besides the 21 above; a host looks
 * them up by name and uses them only when VeltroExtensionVersion reports
 * VELTRO_EXTENSION_PIPELINE or more. A host that finds them missing keeps to
 * SPIW and SPIWR.
 *
 *  - SPIWRQueue(send, receive, count) puts a write-and-read transfer into the
 *    byte stream towards the target, in order with every SPIW, SPIWR and Delay
 *    call, and may return before the bytes have been clocked. count may exceed
 *    16, up to VELTRO_QUEUE_MAX. The send buffer is used up during the call.
 *    Unlike every other entry point, the driver keeps the receive pointer: the
 *    received bytes are stored there by the time the next SPIWRCollect or
 *    SPIWR returns, and until then the caller keeps the buffer alive and
 *    leaves it alone. Returns count, or a negative value when no adapter
 *    takes the transfer.
 *  - SPIWRCollect() waits until every queued transfer has been answered.
 *    Returns the number of bytes received for transfers queued since the
 *    previous collect, or a negative value when the adapter was lost on the
 *    way; the buffers of the unanswered transfers then hold bytes no chip
 *    sends (never a programming-enable answer).
 */
#define VELTRO_EXTENSION_PIPELINE 1
#define VELTRO_QUEUE_MAX 65536

/*
 * Version 2 adds polling a busy chip on the adapter.
 *
 *  - SPIPoll(send, count, index, mask, value, stepMicros, limitMicros) puts
 *    into the byte stream a poll of the count (1..VELTRO_POLL_MAX) send bytes,
 *    repeated until the byte received at index, ANDed with mask, equals value:
 *    after each poll that does not, a pause of stepMicros (0..65535), until
 *    the pauses add up to limitMicros or more; then the stream goes on. The
 *    chip sees exactly the bytes and pauses of this loop on the host:
 *
 *        for (waited = 0; !ready(SPIWR(send)) && waited < limit; waited += step)
 *            Delay(step);
 *
 *    but an adapter that runs it itself spares a round trip per poll, and the
 *    call may return before the poll ends. Whether the chip got ready is not
 *    reported: the caller learns it by reading back what it wrote. Returns
 *    count, or a negative value when no adapter takes the poll.
 */
#define VELTRO_EXTENSION_POLL 2
#define VELTRO_POLL_MAX 8

int32_t VELTRO_CALL VeltroExtensionVersion(void);
int32_t VELTRO_CALL SPIWRQueue(const uint8_t* send, uint8_t* receive, int32_t count);
int32_t VELTRO_CALL SPIWRCollect(void);
int32_t VELTRO_CALL SPIPoll(const uint8_t* send, int32_t count, int32_t index, int32_t mask, int32_t value,
                            int32_t stepMicros, int32_t limitMicros);

typedef int32_t(VELTRO_CALL* VeltroExtensionVersionFn)(void);
typedef int32_t(VELTRO_CALL* VeltroSPIWRQueueFn)(const uint8_t*, uint8_t*, int32_t);
typedef int32_t(VELTRO_CALL* VeltroSPIWRCollectFn)(void);
typedef int32_t(VELTRO_CALL* VeltroSPIPollFn)(const uint8_t*, int32_t, int32_t, int32_t, int32_t, int32_t, int32_t);

#ifdef __cplusplus
}
#endif

#endif /* VELTRO_VELTRO_H */
