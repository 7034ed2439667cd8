/*
 * Veltro adapter link: the constants of the serial protocol between the driver
 * library and the adapter firmware, and the frame check. Shared by both sides
 * (avr-gcc C and host C++); adapter/PROTOCOL.md describes the protocol.
 */
#ifndef VELTRO_PROTOCOL_H
#define VELTRO_PROTOCOL_H

#include <stdint.h>

/* The rate every connection starts at; firmware 1.2 can switch to a faster
 * one at the host's request (SET_LINK_RATE). */
#define VP_BAUD 500000UL

/* Frame markers: host to adapter, adapter to host. */
#define VP_SOF_HOST 0xA5
#define VP_SOF_ADAPTER 0x5A

/* LEN counts SEQ, CMD/STATUS and the payload; the check byte follows. */
#define VP_HEADER_BYTES 2
#define VP_MAX_DATA 32
#define VP_MAX_LEN (VP_HEADER_BYTES + VP_MAX_DATA)
/* SPI_READ answers with up to this many bytes, the only reply longer than
 * VP_MAX_DATA (a host that never asks for one never sees one). */
#define VP_MAX_READ 64
/* AVR_READ answers with a form byte and at most four bytes per instruction. */
#define VP_AVR_READ_MAX 32
#define VP_MAX_REPLY_LEN (VP_HEADER_BYTES + 1 + 4 * VP_AVR_READ_MAX)
/* Marker, LEN, SEQ, CMD, check byte around the payload. */
#define VP_FRAME_OVERHEAD 5

#define VP_PROTOCOL_VERSION 1
#define VP_MAGIC_0 'V'
#define VP_MAGIC_1 'L'

/* Commands. */
#define VP_CMD_IDENTIFY 0x01
#define VP_CMD_SET_LEVELS 0x02
#define VP_CMD_SET_RESET 0x03
#define VP_CMD_SET_READ_MODE 0x04
#define VP_CMD_SET_CLOCK 0x05
#define VP_CMD_SET_LEDS 0x06
#define VP_CMD_RELEASE 0x07
#define VP_CMD_SET_LINK_RATE 0x08
#define VP_CMD_SET_FINE_CLOCK 0x09 /* from firmware 1.4 (VP_FEATURE_FINE_CLOCK) */
#define VP_CMD_SPI_WRITE 0x10
#define VP_CMD_SPI_TRANSFER 0x11
#define VP_CMD_SPI_READ 0x13 /* from firmware 1.2 (VP_FEATURE_SPI_READ) */
#define VP_CMD_DELAY 0x12
#define VP_CMD_AVR_LOAD 0x14 /* from firmware 1.3 (VP_FEATURE_AVR) */
#define VP_CMD_AVR_READ 0x15 /* from firmware 1.3 (VP_FEATURE_AVR) */
#define VP_CMD_POLL 0x16     /* from firmware 1.4 (VP_FEATURE_POLL) */
#define VP_CMD_CLOCK 0x20

/* SET_LEVELS flags. */
#define VP_LEVEL_SCK_HIGH 0x01
#define VP_LEVEL_MOSI_INVERTED 0x02
#define VP_LEVEL_MISO_INVERTED 0x04

/* SET_LEDS flags. */
#define VP_LED1 0x01
#define VP_LED2 0x02

/* SET_LINK_RATE codes: the serial rates the adapter can switch to. A rate
 * that sees no good frame within VP_LINK_PROBATION_MS falls back to VP_BAUD. */
#define VP_RATE_500K 0
#define VP_RATE_1M 1
#define VP_RATE_2M 2
#define VP_LINK_PROBATION_MS 150

/* Reply status. */
#define VP_OK 0x00
#define VP_ERR_COMMAND 0x01  /* unknown command */
#define VP_ERR_ARGUMENT 0x02 /* payload length or value not accepted */
#define VP_ERR_CHECK 0x03    /* frame failed its check byte and was dropped */
#define VP_ERR_OVERRUN 0x04  /* receive buffer overran: bytes were lost */

/* IDENTIFY reply payload layout. */
#define VP_IDENT_MAGIC0 0
#define VP_IDENT_MAGIC1 1
#define VP_IDENT_FIRMWARE 2
#define VP_IDENT_PROTOCOL 3
#define VP_IDENT_RXBUF_LO 4
#define VP_IDENT_RXBUF_HI 5
#define VP_IDENT_MAX_DATA 6
#define VP_IDENT_BYTES 7 /* the least a reply carries (firmware 1.0, 1.1) */
#define VP_IDENT_FEATURES 7 /* from firmware 1.2: what the adapter can do beyond 1.1 */
#define VP_IDENT_BYTES_FEATURES 8

/* IDENTIFY feature flags. */
#define VP_FEATURE_LINK_RATE 0x01 /* SET_LINK_RATE */
#define VP_FEATURE_SPI_READ 0x02  /* SPI_READ */
#define VP_FEATURE_AVR 0x04       /* AVR_LOAD and AVR_READ */
#define VP_FEATURE_POLL 0x08      /* POLL */
#define VP_FEATURE_FINE_CLOCK 0x10 /* SET_FINE_CLOCK */

/* POLL payload: mask, value, index of the answer byte, pause between polls
 * (us, 16 bits little-endian), the most time to spend pausing (us, 32 bits
 * little-endian), then the 1..VP_POLL_MAX_BYTES bytes of one poll. The reply
 * carries the last answer byte and the number of polls (16 bits). */
#define VP_POLL_HEADER 9
#define VP_POLL_MAX_BYTES 8
#define VP_POLL_REPLY 3

/* AVR_READ reply forms (the first payload byte). */
#define VP_AVR_FULL 0x00   /* every byte clocked in follows, four per instruction */
#define VP_AVR_SAME 0x01   /* then V: bytes 1 to 3 of every instruction answered V; the data bytes follow */
#define VP_AVR_ECHO 0x02   /* then A: every byte 2 and 3 answered the byte sent before it, byte 1 of the
                              first instruction answered A, of the others the previous data byte sent */

/* AVR_LOAD and AVR_READ clock runs of four-byte AVR instructions that step
 * through memory: opcode, address high and low byte, data byte. Flash
 * opcodes (20/28 read, 40/48 load: bit 3 picks the byte of a word) alternate
 * between the low and the high byte and step the word address after the
 * high byte; the other opcodes step the address with every instruction. */
static inline uint8_t vp_avr_paired(uint8_t op) { return (uint8_t)((op & 0xF7) == 0x20 || (op & 0xF7) == 0x40); }
static inline void vp_avr_next(uint8_t* op, uint16_t* address) {
    if (!vp_avr_paired(*op)) {
        (*address)++;
    } else if (*op & 0x08) {
        *op = (uint8_t)(*op & 0xF7);
        (*address)++;
    } else {
        *op = (uint8_t)(*op | 0x08);
    }
}

/* CRC-8, polynomial 0x07, initial value 0xFF, no reflection, no final XOR;
 * four bits at a time (the firmware checks every byte it receives). */
#define VP_CRC_INIT 0xFF
static const uint8_t vp_crc8_nibble[16] = {0x00, 0x07, 0x0E, 0x09, 0x1C, 0x1B, 0x12, 0x15,
                                           0x38, 0x3F, 0x36, 0x31, 0x24, 0x23, 0x2A, 0x2D};
static inline uint8_t vp_crc8_update(uint8_t crc, uint8_t byte) {
    crc ^= byte;
    crc = (uint8_t)((crc << 4) ^ vp_crc8_nibble[crc >> 4]);
    crc = (uint8_t)((crc << 4) ^ vp_crc8_nibble[crc >> 4]);
    return crc;
}

#endif /* VELTRO_PROTOCOL_H */
