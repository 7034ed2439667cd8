#include "clock.h"

#include <avr/interrupt.h>
#include <avr/io.h>
#include <avr/sleep.h>

#include "board.h"

static volatile uint32_t overflows;
static volatile uint8_t ticked;
static uint32_t mark;

/* Longest single wait; longer pauses are split so the tick arithmetic never wraps. */
#define PAUSE_CHUNK_US 100000000UL
/* Below this many ticks the remaining wait is spun rather than slept. */
#define SPIN_TICKS 64
/* A mark older than this is moved forward; every pause is shorter. */
#define MAX_MARK_AGE (0x40000000UL)

ISR(TIMER1_OVF_vect) {
    overflows++;
    ticked = 1;
}

/* Only wakes the CPU from its pause; the loop in clock_pause checks the time. */
ISR(TIMER1_COMPA_vect) { TIMSK1 &= (uint8_t)~(1 << OCIE1A); }

void clock_init(void) {
    TCCR1A = 0;
    TCCR1B = (1 << CS11); /* F_CPU / 8 */
    TIMSK1 = (1 << TOIE1);
    set_sleep_mode(SLEEP_MODE_IDLE);
}

/* Reads the overflow count and TCNT1 as one consistent, never decreasing pair.
 * On the chip one read suffices; the two reads and the floor also make it hold
 * where the counter's bytes or its overflow flag are not updated in step with
 * the counter itself (as in simavr). */
static uint32_t last_high;
static uint16_t last_low;

static void read_raw(uint32_t* high, uint16_t* low) {
    uint8_t sreg = SREG;
    cli();
    uint16_t a, b;
    uint32_t o;
    do {
        a = TCNT1;
        o = overflows;
        if ((TIFR1 & (1 << TOV1)) && a < 0x8000) o++;
        b = TCNT1;
    } while ((uint16_t)(b - a) > 16);
    if (o < last_high || (o == last_high && a < last_low)) {
        o = last_high;
        a = last_low;
    } else {
        last_high = o;
        last_low = a;
    }
    SREG = sreg;
    *high = o;
    *low = a;
}

uint32_t clock_ticks(void) {
    uint32_t o;
    uint16_t t;
    read_raw(&o, &t);
    return (o << 16) | t;
}

uint32_t clock_micros(void) {
    uint32_t o;
    uint16_t t;
    read_raw(&o, &t);
    return o * 32768UL + (t >> 1);
}

void clock_mark(void) { mark = clock_ticks(); }

uint8_t clock_take_tick(void) {
    uint8_t t = ticked;
    ticked = 0;
    return t;
}

void clock_age_mark(void) {
    uint32_t now = clock_ticks();
    if (now - mark > MAX_MARK_AGE) mark = now - MAX_MARK_AGE;
}

static void wait_ticks(uint32_t need, uint8_t (*work)(void), uint16_t margin) {
    for (;;) {
        cli();
        uint32_t elapsed = clock_ticks() - mark;
        if (elapsed >= need) break;
        uint32_t rest = need - elapsed;
        if (rest > margin) {
            sei();
            if (work()) continue;
            cli();
        }
        if (rest > SPIN_TICKS) {
            /* Sleep until the compare match (or any other interrupt). */
            uint16_t step = rest > 60000UL ? 60000U : (uint16_t)rest;
            OCR1A = (uint16_t)(TCNT1 + step);
            TIFR1 = (1 << OCF1A);
            TIMSK1 |= (1 << OCIE1A);
            sleep_enable();
            sei();
            sleep_cpu();
            sleep_disable();
        } else {
            sei();
        }
    }
    sei();
    mark += need;
}

void clock_pause(uint32_t us, uint8_t (*work)(void), uint16_t margin) {
    /* GPIOR0 bit 0 shows a debugger or simulator that the firmware is pausing. */
    GPIOR0 |= 1;
    clock_age_mark();
    while (us > 0) {
        uint32_t chunk = us > PAUSE_CHUNK_US ? PAUSE_CHUNK_US : us;
        wait_ticks(chunk * TICKS_PER_US, work, margin);
        us -= chunk;
    }
    GPIOR0 &= (uint8_t)~1;
}
