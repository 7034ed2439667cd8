/* Serial link to the host: interrupt-driven receive and transmit rings. */
#ifndef VELTRO_LINK_H
#define VELTRO_LINK_H

#include <avr/io.h>
#include <stdint.h>

#include "board.h"

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
/* The transmit ring, for link_put_quiet. */
extern volatile uint8_t link_tx_buf[TX_BUFFER_SIZE];
extern volatile uint8_t link_tx_head, link_tx_tail;
/* Queues a byte like link_put, but leaves the transmitter to the next
 * link_put_start (unless the ring is full): for bytes produced faster than
 * the link sends them. */
static inline void link_put_quiet(uint8_t b) {
    const uint8_t head = link_tx_head;
    const uint8_t next = (uint8_t)((head + 1) & (TX_BUFFER_SIZE - 1));
    if (next == link_tx_tail) {
        UCSR0B |= (1 << UDRIE0);
        while (next == link_tx_tail) {
        }
    }
    link_tx_buf[head] = b;
    link_tx_head = next;
}
/* Sends what link_put_quiet queued. */
static inline void link_put_start(void) { UCSR0B |= (1 << UDRIE0); }
/* True once since the last call when received bytes were lost or garbled. */
uint8_t link_take_error(void);
/* Sleeps until an interrupt when fewer than need bytes have been received. */
void link_wait(uint16_t need);

#endif
