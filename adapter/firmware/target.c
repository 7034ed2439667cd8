#include "target.h"

#include <avr/io.h>

#include "board.h"
#include "veltro_protocol.h"

#define SCK_BIT (1 << PIN_SCK)
#define MOSI_BIT (1 << PIN_MOSI)
#define MISO_BIT (1 << PIN_MISO)
#define RST_BIT (1 << PIN_RST)
#define NRESET_BIT (1 << PIN_NRESET)

/* Automatic SCK phases. Read mode 0 serves the AT89S8252 (each phase at
 * least 24 oscillator periods) and AVR targets running from a slow internal
 * oscillator: 4 us phases suit crystals from 6 MHz and AVRs from 1 MHz. Read
 * mode 1 serves the AT89S8253 and AT89S51/52 (8 oscillator periods per
 * phase): 1.25 us phases suit crystals from 6.4 MHz. In CPU cycles, with a
 * little room for the instructions around the waits. */
#define PHASE_MODE0_CYCLES 66
#define PHASE_MODE1_CYCLES 20

static uint8_t levels;
static uint8_t driven;
static uint8_t read_mode;
static uint8_t clock_setting; /* 0: automatic; else the half period in 0.5 us units */

static void drive_idle_lines(void) {
    if (levels & VP_LEVEL_SCK_HIGH)
        PORTB |= SCK_BIT;
    else
        PORTB &= (uint8_t)~SCK_BIT;
    /* MOSI rests at logic 0. */
    if (levels & VP_LEVEL_MOSI_INVERTED)
        PORTB |= MOSI_BIT;
    else
        PORTB &= (uint8_t)~MOSI_BIT;
}

void target_init(void) {
    /* Everything towards the target floats; MISO reads high when nothing drives it. */
    DDRB &= (uint8_t)~(SCK_BIT | MOSI_BIT | MISO_BIT | RST_BIT | NRESET_BIT);
    PORTB = (uint8_t)((PORTB & (uint8_t)~(SCK_BIT | MOSI_BIT | RST_BIT | NRESET_BIT)) | MISO_BIT);
    DDRD |= (1 << PIN_LED1) | (1 << PIN_LED2);
    PORTD &= (uint8_t)~((1 << PIN_LED1) | (1 << PIN_LED2));
}

void target_set_levels(uint8_t flags) {
    levels = flags & (VP_LEVEL_SCK_HIGH | VP_LEVEL_MOSI_INVERTED | VP_LEVEL_MISO_INVERTED);
    if (driven) drive_idle_lines();
}

void target_set_reset(uint8_t hold) {
    if (hold) {
        /* Clock at rest before reset is asserted: AVRs need SCK low while RESET falls,
         * the AT89S8253 needs it low for 64 oscillator periods after RST rises. */
        drive_idle_lines();
        DDRB |= SCK_BIT | MOSI_BIT;
        PORTB |= RST_BIT;
        PORTB &= (uint8_t)~NRESET_BIT;
        DDRB |= RST_BIT | NRESET_BIT;
        driven = 1;
    } else {
        DDRB &= (uint8_t)~(SCK_BIT | MOSI_BIT | RST_BIT | NRESET_BIT);
        PORTB &= (uint8_t)~(SCK_BIT | MOSI_BIT | RST_BIT | NRESET_BIT);
        driven = 0;
    }
}

void target_set_read_mode(uint8_t mode) { read_mode = mode ? 1 : 0; }

void target_set_clock(uint8_t units) { clock_setting = units; }

void target_set_leds(uint8_t flags) {
    if (flags & VP_LED1)
        PORTD |= (1 << PIN_LED1);
    else
        PORTD &= (uint8_t)~(1 << PIN_LED1);
    if (flags & VP_LED2)
        PORTD |= (1 << PIN_LED2);
    else
        PORTD &= (uint8_t)~(1 << PIN_LED2);
}

/* One unit is at least 8 CPU cycles (0.5 us at 16 MHz) including the loop itself. */
static inline void wait_units(uint8_t units) {
    while (units--) __builtin_avr_delay_cycles(5);
}

/* One bit: MOSI changes only while SCK rests, so it is stable across both
 * edges and targets that sample on the rising edge (SPI mode 0) and on the
 * falling edge (mode 1) both read it. MISO is read just before the rising
 * edge (read mode 0) or just before the falling edge (read mode 1): there a
 * mode-1 target (data valid after the rising edge) and a mode-0 target (data
 * held until the falling edge) both present the bit. WAIT_LOW and WAIT_HIGH
 * are statements that pass the two phases. */
#define SHIFT_BYTE(WAIT_LOW, WAIT_HIGH, LATE)            \
    for (uint8_t bit = 0; bit < 8; bit++) {               \
        if (out & 0x80)                                   \
            PORTB |= MOSI_BIT;                            \
        else                                              \
            PORTB &= (uint8_t)~MOSI_BIT;                  \
        out <<= 1;                                        \
        in <<= 1;                                         \
        WAIT_LOW;                                         \
        if (!(LATE) && (PINB & MISO_BIT)) in |= 1;        \
        PINB = SCK_BIT; /* toggle to the active level */  \
        WAIT_HIGH;                                        \
        if ((LATE) && (PINB & MISO_BIT)) in |= 1;         \
        PINB = SCK_BIT; /* back to rest */                \
    }

/* One byte at the current clock and read mode, before any inversion. */
static inline __attribute__((always_inline)) uint8_t shift(uint8_t out) {
    uint8_t in = 0;
    if (clock_setting != 0) {
        const uint8_t units = clock_setting;
        if (read_mode) {
            SHIFT_BYTE(wait_units(units), wait_units(units), 1)
        } else {
            SHIFT_BYTE(wait_units(units), wait_units(units), 0)
        }
    } else if (read_mode) {
        SHIFT_BYTE(__builtin_avr_delay_cycles(PHASE_MODE1_CYCLES - 8), __builtin_avr_delay_cycles(PHASE_MODE1_CYCLES - 3), 1)
    } else {
        SHIFT_BYTE(__builtin_avr_delay_cycles(PHASE_MODE0_CYCLES - 8), __builtin_avr_delay_cycles(PHASE_MODE0_CYCLES - 3), 0)
    }
    return in;
}

uint8_t target_transfer(uint8_t out) {
    const uint8_t miso_xor = (levels & VP_LEVEL_MISO_INVERTED) ? 0xFF : 0x00;
    if (!driven) return (uint8_t)(0xFF ^ miso_xor); /* nothing clocked: an idle MISO reads high */
    const uint8_t mosi_xor = (levels & VP_LEVEL_MOSI_INVERTED) ? 0xFF : 0x00;
    return (uint8_t)(shift((uint8_t)(out ^ mosi_xor)) ^ miso_xor);
}

void target_write(const uint8_t* data, uint8_t n) {
    if (!driven) return;
    const uint8_t mosi_xor = (levels & VP_LEVEL_MOSI_INVERTED) ? 0xFF : 0x00;
    while (n--) shift((uint8_t)(*data++ ^ mosi_xor));
}
