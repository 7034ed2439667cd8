#include "target.h"

#include <avr/io.h>

#include "board.h"
#include "veltro_protocol.h"

#define SCK_BIT (1 << PIN_SCK)
#define MOSI_BIT (1 << PIN_MOSI)
#define MISO_BIT (1 << PIN_MISO)
#define RST_BIT (1 << PIN_RST)
#define NRESET_BIT (1 << PIN_NRESET)

/* Automatic SCK half periods in 0.5 us units. Read mode 0 serves the
 * AT89S8252 (each phase at least 24 oscillator periods) and AVR targets
 * running from a slow internal oscillator: 4 us phases suit crystals from
 * 6 MHz and AVRs from 1 MHz. Read mode 1 serves the AT89S8253 and AT89S51/52
 * (8 oscillator periods per phase): 1.5 us phases suit crystals from 5.4 MHz. */
#define AUTO_HALF_MODE0 8
#define AUTO_HALF_MODE1 3

static uint8_t levels;
static uint8_t driven;
static uint8_t read_mode;
static uint8_t clock_setting;
static uint8_t half_units = AUTO_HALF_MODE0;

static void update_half(void) {
    if (clock_setting != 0)
        half_units = clock_setting;
    else
        half_units = read_mode ? AUTO_HALF_MODE1 : AUTO_HALF_MODE0;
}

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

void target_set_read_mode(uint8_t mode) {
    read_mode = mode ? 1 : 0;
    update_half();
}

void target_set_clock(uint8_t units) {
    clock_setting = units;
    update_half();
}

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

/* One unit is 8 CPU cycles (0.5 us at 16 MHz) including the loop itself. */
static inline void wait_half(uint8_t units) {
    while (units--) __builtin_avr_delay_cycles(5);
}

uint8_t target_transfer(uint8_t out) {
    const uint8_t miso_xor = (levels & VP_LEVEL_MISO_INVERTED) ? 0xFF : 0x00;
    if (!driven) return (uint8_t)(0xFF ^ miso_xor); /* nothing clocked: an idle MISO reads high */
    const uint8_t units = half_units;
    const uint8_t late = read_mode;
    uint8_t in = 0;
    out ^= (levels & VP_LEVEL_MOSI_INVERTED) ? 0xFF : 0x00;
    for (uint8_t bit = 0; bit < 8; bit++) {
        /* MOSI changes only while SCK rests, so it is stable across both edges:
         * targets that sample on the rising edge (SPI mode 0) and those that
         * sample on the falling edge (mode 1) both read it. */
        if (out & 0x80)
            PORTB |= MOSI_BIT;
        else
            PORTB &= (uint8_t)~MOSI_BIT;
        out <<= 1;
        wait_half(units);
        in <<= 1;
        if (!late && (PINB & MISO_BIT)) in |= 1;
        PINB = SCK_BIT; /* toggle to the active level */
        wait_half(units);
        /* Just before the falling edge a mode-1 target (data valid after the
         * rising edge) and a mode-0 target (data held until the falling edge)
         * both present the bit. */
        if (late && (PINB & MISO_BIT)) in |= 1;
        PINB = SCK_BIT; /* back to rest */
    }
    return (uint8_t)(in ^ miso_xor);
}
