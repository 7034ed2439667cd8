#include "link.h"

#include <avr/interrupt.h>
#include <avr/io.h>
#include <avr/sleep.h>

#include "board.h"
#include "veltro_protocol.h"

static volatile uint8_t rx_buf[RX_BUFFER_SIZE];
static volatile uint16_t rx_head, rx_tail;
static volatile uint8_t rx_error;

volatile uint8_t link_tx_buf[TX_BUFFER_SIZE];
volatile uint8_t link_tx_head, link_tx_tail;
#define tx_buf link_tx_buf
#define tx_head link_tx_head
#define tx_tail link_tx_tail

/* Both interrupts run once per byte, up to 200000 times a second at 2 Mbaud,
 * and stretch whatever the firmware clocks meanwhile: written by hand, they
 * save only the registers they use (about half the cycles of compiled ones).
 *
 * Receive: the byte goes to rx_buf[rx_head] in any case (with the ring full
 * that cell is the free one), rx_head moves on unless that would reach
 * rx_tail; an overrun, a framing error or a full ring set rx_error. */
ISR(USART_RX_vect, ISR_NAKED) {
    __asm__ __volatile__(
        "push r24\n\t"
        "in r24, __SREG__\n\t"
        "push r24\n\t"
        "push r25\n\t"
        "push r30\n\t"
        "push r31\n\t"
        "lds r24, %[ucsra]\n\t"
        "andi r24, %[errors]\n\t"
        "breq 1f\n\t"
        "sts rx_error, r24\n"
        "1:\n\t"
        "lds r30, rx_head\n\t"
        "lds r31, rx_head+1\n\t"
        "subi r30, lo8(-(rx_buf))\n\t"
        "sbci r31, hi8(-(rx_buf))\n\t"
        "lds r24, %[udr]\n\t"
        "st Z+, r24\n\t"
        "subi r30, lo8(rx_buf)\n\t"
        "sbci r31, hi8(rx_buf)\n\t"
        "andi r31, %[himask]\n\t"
        "lds r24, rx_tail\n\t"
        "lds r25, rx_tail+1\n\t"
        "cp r30, r24\n\t"
        "cpc r31, r25\n\t"
        "breq 2f\n\t"
        "sts rx_head+1, r31\n\t"
        "sts rx_head, r30\n\t"
        "rjmp 3f\n"
        "2:\n\t"
        "ldi r24, 1\n\t"
        "sts rx_error, r24\n"
        "3:\n\t"
        "pop r31\n\t"
        "pop r30\n\t"
        "pop r25\n\t"
        "pop r24\n\t"
        "out __SREG__, r24\n\t"
        "pop r24\n\t"
        "reti\n\t"
        :
        : [ucsra] "n"(_SFR_MEM_ADDR(UCSR0A)), [udr] "n"(_SFR_MEM_ADDR(UDR0)),
          [errors] "M"((1 << DOR0) | (1 << FE0)), [himask] "M"((RX_BUFFER_SIZE - 1) >> 8));
}

/* Transmit: the next byte of the ring, or the interrupt off when it is empty. */
ISR(USART_UDRE_vect, ISR_NAKED) {
    __asm__ __volatile__(
        "push r24\n\t"
        "in r24, __SREG__\n\t"
        "push r24\n\t"
        "push r30\n\t"
        "push r31\n\t"
        "lds r30, link_tx_tail\n\t"
        "lds r24, link_tx_head\n\t"
        "cp r30, r24\n\t"
        "breq 1f\n\t"
        "ldi r31, 0\n\t"
        "subi r30, lo8(-(link_tx_buf))\n\t"
        "sbci r31, hi8(-(link_tx_buf))\n\t"
        "ld r24, Z\n\t"
        "sts %[udr], r24\n\t"
        "lds r30, link_tx_tail\n\t"
        "inc r30\n\t"
        "andi r30, %[mask]\n\t"
        "sts link_tx_tail, r30\n\t"
        "rjmp 2f\n"
        "1:\n\t"
        "lds r24, %[ucsrb]\n\t"
        "andi r24, %[off]\n\t"
        "sts %[ucsrb], r24\n"
        "2:\n\t"
        "pop r31\n\t"
        "pop r30\n\t"
        "pop r24\n\t"
        "out __SREG__, r24\n\t"
        "pop r24\n\t"
        "reti\n\t"
        :
        : [udr] "n"(_SFR_MEM_ADDR(UDR0)), [ucsrb] "n"(_SFR_MEM_ADDR(UCSR0B)), [mask] "M"(TX_BUFFER_SIZE - 1),
          [off] "M"(0xFF & ~(1 << UDRIE0)));
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
