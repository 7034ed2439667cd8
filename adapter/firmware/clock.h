/* Time base: Timer1 free-running at F_CPU/8 (0.5 us ticks). */
#ifndef VELTRO_CLOCK_H
#define VELTRO_CLOCK_H

#include <stdint.h>

#define TICKS_PER_US 2

void clock_init(void);
/* 32-bit tick count; wraps after about 35 minutes. */
uint32_t clock_ticks(void);
/* Microseconds since start; wraps after about 71 minutes. */
uint32_t clock_micros(void);

/* Marks the end of an action on the target lines: pauses count from here. */
void clock_mark(void);
/* Waits until us microseconds have passed since the last mark (or since the
 * end of the previous pause), then moves the mark to that point. Meanwhile
 * calls work() while more than margin ticks remain and it reports progress. */
void clock_pause(uint32_t us, uint8_t (*work)(void), uint16_t margin);
/* Keeps an old mark within the range the pause arithmetic handles. */
void clock_age_mark(void);
/* True once after every overflow of the counter (about every 33 ms). */
uint8_t clock_take_tick(void);

#endif
