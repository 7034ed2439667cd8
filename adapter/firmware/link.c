#include "link.h"

#include <avr/interrupt.h>
#include <avr/io.h>
#include <avr/sleep.h>

#include "board.h"
#include "veltro_protocol.h"

static volatile uint8_t rx_buf[RX_BUFFER_SIZE];
static volatile uint16_t rx_head, rx_tail;
static volatile uint8_t rx_error;

static volatile uint8_t tx_buf[TX_BUFFER_SIZE];
static volatile uint8_t tx_head, tx_tail;

ISR(USART_RX_vect) {
    uint8_t status = UCSR0A;
    uint8_t b = UDR0;
    uint16_t next = (uint16_t)((rx_head + 1) & (RX_BUFFER_SIZE - 1));
    if (status & ((1 << DOR0) | (1 << FE0))) rx_error = 1;
    if (next == rx_tail) {
        rx_error = 1; /* the host sent beyond its credit */
        return;
    }
    rx_buf[rx_head] = b;
    rx_head = next;
}

ISR(USART_UDRE_vect) {
    if (tx_head == tx_tail) {
        UCSR0B &= (uint8_t)~(1 << UDRIE0);
        return;
    }
    UDR0 = tx_buf[tx_tail];
    tx_tail = (uint8_t)((tx_tail + 1) & (TX_BUFFER_SIZE - 1));
}

/* Divider at double speed: 500000, 1000000 and 2000000 baud are exact at 16 MHz. */
#define UBRR_FOR(baud) ((uint16_t)(F_CPU / (8UL * (baud)) - 1))

void link_init(void) {
    /* Frame format and double speed before the divider: the divider write fixes the bit time. */
    UCSR0A = (1 << U2X0);
    UCSR0C = (1 << UCSZ01) | (1 << UCSZ00); /* 8N1 */
    UBRR0 = UBRR_FOR(VP_BAUD);
    UCSR0B = (1 << RXCIE0) | (1 << RXEN0) | (1 << TXEN0);
}

void link_set_rate(uint8_t code) {
    /* Everything queued leaves at the old rate: the ring empties, the last byte
     * moves into the shift register, and 50 us cover its ten bits at 500000 baud. */
    while (tx_head != tx_tail) {
    }
    while (!(UCSR0A & (1 << UDRE0))) {
    }
    __builtin_avr_delay_cycles(F_CPU / 20000);
    const uint16_t ubrr = code == VP_RATE_2M ? UBRR_FOR(2000000UL) : code == VP_RATE_1M ? UBRR_FOR(1000000UL) : UBRR_FOR(VP_BAUD);
    uint8_t sreg = SREG;
    cli();
    UBRR0 = ubrr;
    /* Bytes half received at the old rate are noise now. */
    rx_tail = rx_head;
    rx_error = 0;
    SREG = sreg;
}

uint16_t link_available(void) {
    uint8_t sreg = SREG;
    cli();
    uint16_t n = (uint16_t)((rx_head - rx_tail) & (RX_BUFFER_SIZE - 1));
    SREG = sreg;
    return n;
}

uint8_t link_get(void) {
    uint8_t b = rx_buf[rx_tail];
    uint8_t sreg = SREG;
    cli();
    rx_tail = (uint16_t)((rx_tail + 1) & (RX_BUFFER_SIZE - 1));
    SREG = sreg;
    return b;
}

void link_read(uint8_t* dst, uint8_t n) {
    uint16_t tail = rx_tail;
    while (n--) {
        *dst++ = rx_buf[tail];
        tail = (uint16_t)((tail + 1) & (RX_BUFFER_SIZE - 1));
    }
    uint8_t sreg = SREG;
    cli();
    rx_tail = tail;
    SREG = sreg;
}

void link_put(uint8_t b) {
    /* With nothing queued and the data register free the byte goes straight
     * out: a reply streamed byte by byte (SPI transfers) costs no interrupt. */
    if (tx_head == tx_tail && (UCSR0A & (1 << UDRE0))) {
        UDR0 = b;
        return;
    }
    uint8_t next = (uint8_t)((tx_head + 1) & (TX_BUFFER_SIZE - 1));
    while (next == tx_tail) {
    }
    tx_buf[tx_head] = b;
    tx_head = next;
    UCSR0B |= (1 << UDRIE0);
}

uint8_t link_take_error(void) {
    uint8_t sreg = SREG;
    cli();
    uint8_t e = rx_error;
    rx_error = 0;
    SREG = sreg;
    return e;
}

void link_wait(uint16_t need) {
    cli();
    if ((uint16_t)((rx_head - rx_tail) & (RX_BUFFER_SIZE - 1)) < need) {
        sleep_enable();
        sei();
        sleep_cpu();
        sleep_disable();
    }
    sei();
}
