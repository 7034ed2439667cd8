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
 * end of the previous pause), then moves the mark to that point. */
void clock_pause(uint32_t us);
/* Keeps an old mark within the range the pause arithmetic handles. */
void clock_age_mark(void);

#endif
