/*
 * Pin assignment of the adapter on an ATmega328P board (Arduino Uno, Nano,
 * Pro Mini at 16 MHz). The target connector follows the common Arduino-as-ISP
 * wiring (D10..D13), with an extra active-high reset output for 8051 targets.
 */
#ifndef VELTRO_BOARD_H
#define VELTRO_BOARD_H

#include <avr/io.h>

#ifndef F_CPU
#define F_CPU 16000000UL
#endif

#define FIRMWARE_VERSION 0x14 /* 1.4 */

/* Port B: the target lines. */
#define PIN_RST PB1    /* D9:  RST, active high (AT89S family) */
#define PIN_NRESET PB2 /* D10: /RESET, active low (AVR family) */
#define PIN_MOSI PB3   /* D11 */
#define PIN_MISO PB4   /* D12 */
#define PIN_SCK PB5    /* D13 */

/* Port D: the two indicator LEDs (to ground through 1 kOhm). */
#define PIN_LED1 PD6 /* D6 */
#define PIN_LED2 PD7 /* D7 */

#define RX_BUFFER_SIZE 1024 /* power of two */
#define TX_BUFFER_SIZE 64   /* power of two */

#endif
