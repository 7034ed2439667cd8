/* Serial link to the host: interrupt-driven receive and transmit rings. */
#ifndef VELTRO_LINK_H
#define VELTRO_LINK_H

#include <stdint.h>

void link_init(void);
/* Switches to the rate of a SET_LINK_RATE code once everything queued for
 * sending has left; drops what was received and not read. */
void link_set_rate(uint8_t code);
/* Number of received bytes waiting. */
uint16_t link_available(void);
/* Next received byte; call only when link_available(). */
uint8_t link_get(void);
/* Moves n received bytes to dst; call only when link_available() >= n. */
void link_read(uint8_t* dst, uint8_t n);
/* Queues a byte for sending; waits while the transmit ring is full. */
void link_put(uint8_t b);
/* True once since the last call when received bytes were lost or garbled. */
uint8_t link_take_error(void);
/* Sleeps until an interrupt when fewer than need bytes have been received. */
void link_wait(uint16_t need);

#endif
