/*
 * Control interface of the virtual Veltro adapter, for tests and tools. These
 * functions are exported by the virtual driver library next to the 21 driver
 * entry points of veltro/veltro.h; a real driver has none of them.
 *
 * A test that loads the virtual driver should call VV_ResetAll first: without
 * it the library runs with the configuration of its INI file, which may keep
 * the chip's memories in a state file in the user's folder.
 */
#ifndef VELTRO_VIRTUAL_CONTROL_H
#define VELTRO_VIRTUAL_CONTROL_H

#include <stdint.h>

#include "veltro/veltro.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Memory spaces of VV_ReadMemory / VV_WriteMemory / VV_MemorySize. */
enum {
    VV_FLASH = 0,
    VV_EEPROM = 1,
    VV_FUSES = 2,     /* AVR: low, high, extended; AT89S8253: the user fuse byte */
    VV_LOCK = 3,      /* one byte, a programmed lock bit is 0 */
    VV_SIGNATURE = 4
};

/* Built-in defaults (not the INI file), no state file, a factory-fresh chip,
 * virtual time 0, disconnected, logs cleared. */
VELTRO_EXPORT void VV_ResetAll(void);
/* Same keys and values as the INI file. 0 ok, -1 unknown key or bad value
 * (VV_LastError says why; nothing changed). */
VELTRO_EXPORT int32_t VV_SetOption(const char* key, const char* value);
VELTRO_EXPORT const char* VV_LastError(void);
/* Copy memory out of / into the chip directly, as a parallel programmer would.
 * Return the bytes copied (fewer at the end of the memory), -1 for a bad
 * space, a negative address or count, or a null buffer. */
VELTRO_EXPORT int32_t VV_ReadMemory(int32_t space, int32_t address, uint8_t* buf, int32_t count);
VELTRO_EXPORT int32_t VV_WriteMemory(int32_t space, int32_t address, const uint8_t* buf, int32_t count);
/* Size of a memory space in bytes, -1 for a bad space. */
VELTRO_EXPORT int32_t VV_MemorySize(int32_t space);
/* Writes the state file now if the memories changed. 0 ok or nothing to do, -1 failed. */
VELTRO_EXPORT int32_t VV_SaveState(void);
/* The virtual clock in microseconds. */
VELTRO_EXPORT int64_t VV_TimeMicros(void);
/* Decoded instructions the chip received, one per line. The text stays valid
 * until the next VV_Log or VV_ClearLog call. */
VELTRO_EXPORT const char* VV_Log(void);
VELTRO_EXPORT void VV_ClearLog(void);
/* Adapter calls (Connect, SetEnables, SetLevels, SetReadMode, ...), one per line;
 * cleared by VV_ClearLog too. */
VELTRO_EXPORT const char* VV_AdapterLog(void);

typedef void (*VV_ResetAllFn)(void);
typedef int32_t (*VV_SetOptionFn)(const char*, const char*);
typedef const char* (*VV_LastErrorFn)(void);
typedef int32_t (*VV_ReadMemoryFn)(int32_t, int32_t, uint8_t*, int32_t);
typedef int32_t (*VV_WriteMemoryFn)(int32_t, int32_t, const uint8_t*, int32_t);
typedef int32_t (*VV_MemorySizeFn)(int32_t);
typedef int32_t (*VV_SaveStateFn)(void);
typedef int64_t (*VV_TimeMicrosFn)(void);
typedef const char* (*VV_LogFn)(void);
typedef void (*VV_ClearLogFn)(void);
typedef const char* (*VV_AdapterLogFn)(void);

#ifdef __cplusplus
}
#endif

#endif /* VELTRO_VIRTUAL_CONTROL_H */
