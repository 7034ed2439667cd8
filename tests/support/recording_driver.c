/*
 * Recording test driver: implements the Veltro entry points, logs every call with
 * its arguments and sent bytes, and answers with values a test sets through the
 * Rec_* control functions. Built twice: complete, and without Delay
 * (REC_OMIT_DELAY) to stand for a library that lacks an entry point.
 */
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "veltro/veltro.h"

#define REC_MAX_PORTS 16

typedef uint8_t (*RecResponder)(uint8_t sent, uint64_t index, void* ctx);

static char* g_log;
static size_t g_logLen, g_logCap;
static int32_t g_version = 17;
static int32_t g_reportedPorts;
static int g_reportedSet; /* 0: report the number of names set */
static char g_ports[REC_MAX_PORTS][32];
static int32_t g_portCount;
static int32_t g_connectResult;
static int32_t g_firmware;
static RecResponder g_responder;
static void* g_responderCtx;
static uint64_t g_streamIndex;

static void Append(const char* fmt, ...) {
    char line[512];
    va_list ap;
    va_start(ap, fmt);
    int n = vsnprintf(line, sizeof line, fmt, ap);
    va_end(ap);
    if (n < 0) return;
    if ((size_t)n >= sizeof line) n = (int)sizeof line - 1;
    if (g_logLen + (size_t)n + 2 > g_logCap) {
        size_t cap = g_logCap ? g_logCap * 2 : 4096;
        while (cap < g_logLen + (size_t)n + 2) cap *= 2;
        char* p = (char*)realloc(g_log, cap);
        if (!p) return;
        g_log = p;
        g_logCap = cap;
    }
    memcpy(g_log + g_logLen, line, (size_t)n);
    g_logLen += (size_t)n;
    g_log[g_logLen++] = '\n';
    g_log[g_logLen] = '\0';
}

static void AppendBytes(const char* name, const uint8_t* b, int32_t count) {
    char line[16 + 3 * 64];
    int pos = snprintf(line, sizeof line, "%s", name);
    for (int32_t i = 0; i < count && i < 64; ++i) pos += snprintf(line + pos, sizeof line - (size_t)pos, " %02X", b[i]);
    Append("%s", line);
}

/* ---- control functions for tests ---- */

VELTRO_EXPORT void Rec_Reset(void) {
    free(g_log);
    g_log = NULL;
    g_logLen = g_logCap = 0;
    g_version = 17;
    g_reportedPorts = 0;
    g_reportedSet = 0;
    g_portCount = 0;
    g_connectResult = 0;
    g_firmware = 0;
    g_responder = NULL;
    g_responderCtx = NULL;
    g_streamIndex = 0;
}
VELTRO_EXPORT void Rec_ClearLog(void) {
    g_logLen = 0;
    if (g_log) g_log[0] = '\0';
}
VELTRO_EXPORT const char* Rec_Log(void) { return g_log ? g_log : ""; }
VELTRO_EXPORT void Rec_SetVersion(int32_t v) { g_version = v; }
VELTRO_EXPORT void Rec_SetPorts(const char* const* names, int32_t n) {
    g_portCount = 0;
    for (int32_t i = 0; i < n && i < REC_MAX_PORTS; ++i) {
        snprintf(g_ports[i], sizeof g_ports[i], "%s", names[i]);
        ++g_portCount;
    }
}
VELTRO_EXPORT void Rec_SetReportedPortCount(int32_t n) {
    g_reportedPorts = n;
    g_reportedSet = 1;
}
VELTRO_EXPORT void Rec_SetConnectResult(int32_t r) { g_connectResult = r; }
VELTRO_EXPORT void Rec_SetFirmware(int32_t f) { g_firmware = f; }
VELTRO_EXPORT void Rec_SetResponder(RecResponder fn, void* ctx) {
    g_responder = fn;
    g_responderCtx = ctx;
    g_streamIndex = 0;
}

/* ---- the 21 entry points ---- */

VELTRO_EXPORT int32_t VELTRO_CALL GetVersion(void) {
    Append("GetVersion");
    return g_version;
}
VELTRO_EXPORT int32_t VELTRO_CALL GetNumPorts(void) {
    Append("GetNumPorts");
    return g_reportedSet ? g_reportedPorts : g_portCount;
}
VELTRO_EXPORT const char* VELTRO_CALL GetPortName(int32_t port) {
    Append("GetPortName %d", port);
    if (port < 0 || port >= g_portCount) return "";
    return g_ports[port];
}
VELTRO_EXPORT int32_t VELTRO_CALL Connect(int32_t port, int32_t mode) {
    Append("Connect %d %d", port, mode);
    return g_connectResult;
}
VELTRO_EXPORT void VELTRO_CALL Disconnect(void) { Append("Disconnect"); }
VELTRO_EXPORT int32_t VELTRO_CALL GetFirmware(void) {
    Append("GetFirmware");
    return g_firmware;
}
VELTRO_EXPORT void VELTRO_CALL SetReadMode(int32_t mode) { Append("SetReadMode %d", mode); }
VELTRO_EXPORT void VELTRO_CALL SetEnables(int32_t enable, int32_t mode) { Append("SetEnables %d %d", enable, mode); }
VELTRO_EXPORT void VELTRO_CALL SetLevels(int32_t sck, int32_t mosi, int32_t miso) {
    Append("SetLevels %d %d %d", sck, mosi, miso);
}
VELTRO_EXPORT void VELTRO_CALL SetCycleTime(int32_t cycle) { Append("SetCycleTime %d", cycle); }
VELTRO_EXPORT int32_t VELTRO_CALL SPIWR(const uint8_t* send, uint8_t* receive, int32_t count) {
    AppendBytes("SPIWR", send, count);
    for (int32_t i = 0; i < count; ++i) {
        uint8_t r = g_responder ? g_responder(send[i], g_streamIndex, g_responderCtx) : 0x00;
        ++g_streamIndex;
        receive[i] = r;
    }
    return count;
}
VELTRO_EXPORT int32_t VELTRO_CALL SPIW(const uint8_t* send, int32_t count) {
    AppendBytes("SPIW", send, count);
    for (int32_t i = 0; i < count; ++i) {
        if (g_responder) (void)g_responder(send[i], g_streamIndex, g_responderCtx);
        ++g_streamIndex;
    }
    return count;
}
VELTRO_EXPORT int32_t VELTRO_CALL GetResetFB(void) {
    Append("GetResetFB");
    return 0;
}
VELTRO_EXPORT void VELTRO_CALL GetLines(int32_t* a, int32_t* b, int32_t* c, int32_t* d, int32_t* e, int32_t* f) {
    (void)a; (void)b; (void)c; (void)d; (void)e; (void)f;
    Append("GetLines");
}
VELTRO_EXPORT void VELTRO_CALL SetReady(int32_t ready) { Append("SetReady %d", ready); }
VELTRO_EXPORT void VELTRO_CALL GetDefaults(int32_t* a, int32_t* b, int32_t* c, int32_t* d, int32_t* e) {
    (void)a; (void)b; (void)c; (void)d; (void)e;
    Append("GetDefaults");
}
VELTRO_EXPORT int32_t VELTRO_CALL GetCycleTime(void) {
    Append("GetCycleTime");
    return 0;
}
VELTRO_EXPORT void VELTRO_CALL SetLEDs(int32_t led1, int32_t led2) { Append("SetLEDs %d %d", led1, led2); }
VELTRO_EXPORT void VELTRO_CALL SetLines(int32_t a, int32_t b, int32_t c, int32_t d) {
    Append("SetLines %d %d %d %d", a, b, c, d);
}
#ifndef REC_OMIT_DELAY
VELTRO_EXPORT void VELTRO_CALL Delay(int32_t microseconds) { Append("Delay %d", microseconds); }
#endif
VELTRO_EXPORT void VELTRO_CALL CheckSerialPorts(int32_t flags) { Append("CheckSerialPorts %d", flags); }
