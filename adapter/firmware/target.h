/* The target lines: reset, SPI clock and data, line levels, and the LEDs. */
#ifndef VELTRO_TARGET_H
#define VELTRO_TARGET_H

#include <stdint.h>

void target_init(void);
/* VP_LEVEL_* flags. Take effect at once on driven lines. */
void target_set_levels(uint8_t flags);
/* 1: drive SCK and MOSI and hold the target in reset (its programming state);
 * 0: release the reset outputs and leave SCK and MOSI floating. */
void target_set_reset(uint8_t hold);
/* 0: MISO sampled at the rising SCK edge; 1: at the falling edge. */
void target_set_read_mode(uint8_t mode);
/* SCK half period in 0.5 us units; 0 chooses it by the read mode. */
void target_set_clock(uint8_t half_units);
/* A clock in 1/16 us units: AVR runs (target_exchange in read mode 0) at
 * 0.25 us phases up to 4, everything else at the next whole 0.5 us units. */
void target_set_fine_clock(uint8_t sixteenths);
void target_set_leds(uint8_t flags);
/* Clocks one byte out on MOSI and returns the byte clocked in on MISO. */
uint8_t target_transfer(uint8_t out);
/* Clocks n bytes out back to back; what comes in is dropped. */
void target_write(const uint8_t* data, uint8_t n);
/* Clocks n bytes of the value out through the target and hands each byte
 * clocked in to put as soon as it is in (after any MISO inversion). */
void target_read(uint8_t out, uint8_t n, void (*put)(uint8_t));

/* Clocks n bytes from out through the target and stores what came back in
 * in (after any MISO inversion). out holds one byte more than n (read ahead,
 * not sent). At a set clock of one or two units in read mode 0 the bytes
 * follow each other without a gap. */
void target_exchange(const uint8_t* out, uint8_t* in, uint8_t n);

#endif
