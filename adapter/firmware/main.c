/*
 * Veltro adapter firmware: receives framed commands from the host over the
 * serial link, executes them in order against the target lines and answers
 * each one. The host keeps sending while earlier commands run (it counts the
 * bytes it has in flight against the receive ring), so SPI writes and pauses
 * follow each other without waiting for the link; and while a pause runs the
 * firmware already checks the frames that follow it, so the next SPI bytes go
 * out the moment the pause ends.
 */
#include <avr/interrupt.h>
#include <avr/io.h>
#include <avr/pgmspace.h>
#include <avr/wdt.h>
#include <stdint.h>

#include "board.h"
#include "clock.h"
#include "link.h"
#include "target.h"
#include "veltro_protocol.h"

/* A frame not complete this long after its marker is dropped (the longest
 * frame takes under a millisecond on the link). */
#define FRAME_TIMEOUT_TICKS (100000UL * TICKS_PER_US)

/* Frames checked and waiting to be carried out, in order. */
#define QUEUE_FRAMES 8
/* Parsing ahead during a pause stops this close to its end (a frame takes
 * under 100 us to check), so the pause is not stretched. */
#define PARSE_AHEAD_TICKS (300U * TICKS_PER_US)

enum { WAIT_SOF, WAIT_LEN, WAIT_BODY };

struct frame {
    uint8_t len;   /* SEQ, CMD and payload */
    uint8_t good;  /* the check byte matched */
    uint8_t body[VP_MAX_LEN + 1]; /* SEQ, CMD, payload, check byte */
};

static struct frame queue[QUEUE_FRAMES];
static uint8_t queue_first, queue_count;
static uint8_t frame_len, state;
static uint32_t frame_start_ticks;

/* A faster link rate stays only once a good frame arrived at it. */
#define PROBATION_TICKS ((uint32_t)VP_LINK_PROBATION_MS * 1000UL * TICKS_PER_US)
static uint8_t rate_on_probation;
static uint32_t rate_switched_ticks;

static uint8_t reply_crc;

/* The frame check a whole byte at a time (the same CRC-8 as vp_crc8_update,
 * in a quarter of the time): every byte received and sent goes through it. */
static const uint8_t crc8_table[256] PROGMEM = {
    0x00, 0x07, 0x0E, 0x09, 0x1C, 0x1B, 0x12, 0x15, 0x38, 0x3F, 0x36, 0x31, 0x24, 0x23, 0x2A, 0x2D,
    0x70, 0x77, 0x7E, 0x79, 0x6C, 0x6B, 0x62, 0x65, 0x48, 0x4F, 0x46, 0x41, 0x54, 0x53, 0x5A, 0x5D,
    0xE0, 0xE7, 0xEE, 0xE9, 0xFC, 0xFB, 0xF2, 0xF5, 0xD8, 0xDF, 0xD6, 0xD1, 0xC4, 0xC3, 0xCA, 0xCD,
    0x90, 0x97, 0x9E, 0x99, 0x8C, 0x8B, 0x82, 0x85, 0xA8, 0xAF, 0xA6, 0xA1, 0xB4, 0xB3, 0xBA, 0xBD,
    0xC7, 0xC0, 0xC9, 0xCE, 0xDB, 0xDC, 0xD5, 0xD2, 0xFF, 0xF8, 0xF1, 0xF6, 0xE3, 0xE4, 0xED, 0xEA,
    0xB7, 0xB0, 0xB9, 0xBE, 0xAB, 0xAC, 0xA5, 0xA2, 0x8F, 0x88, 0x81, 0x86, 0x93, 0x94, 0x9D, 0x9A,
    0x27, 0x20, 0x29, 0x2E, 0x3B, 0x3C, 0x35, 0x32, 0x1F, 0x18, 0x11, 0x16, 0x03, 0x04, 0x0D, 0x0A,
    0x57, 0x50, 0x59, 0x5E, 0x4B, 0x4C, 0x45, 0x42, 0x6F, 0x68, 0x61, 0x66, 0x73, 0x74, 0x7D, 0x7A,
    0x89, 0x8E, 0x87, 0x80, 0x95, 0x92, 0x9B, 0x9C, 0xB1, 0xB6, 0xBF, 0xB8, 0xAD, 0xAA, 0xA3, 0xA4,
    0xF9, 0xFE, 0xF7, 0xF0, 0xE5, 0xE2, 0xEB, 0xEC, 0xC1, 0xC6, 0xCF, 0xC8, 0xDD, 0xDA, 0xD3, 0xD4,
    0x69, 0x6E, 0x67, 0x60, 0x75, 0x72, 0x7B, 0x7C, 0x51, 0x56, 0x5F, 0x58, 0x4D, 0x4A, 0x43, 0x44,
    0x19, 0x1E, 0x17, 0x10, 0x05, 0x02, 0x0B, 0x0C, 0x21, 0x26, 0x2F, 0x28, 0x3D, 0x3A, 0x33, 0x34,
    0x4E, 0x49, 0x40, 0x47, 0x52, 0x55, 0x5C, 0x5B, 0x76, 0x71, 0x78, 0x7F, 0x6A, 0x6D, 0x64, 0x63,
    0x3E, 0x39, 0x30, 0x37, 0x22, 0x25, 0x2C, 0x2B, 0x06, 0x01, 0x08, 0x0F, 0x1A, 0x1D, 0x14, 0x13,
    0xAE, 0xA9, 0xA0, 0xA7, 0xB2, 0xB5, 0xBC, 0xBB, 0x96, 0x91, 0x98, 0x9F, 0x8A, 0x8D, 0x84, 0x83,
    0xDE, 0xD9, 0xD0, 0xD7, 0xC2, 0xC5, 0xCC, 0xCB, 0xE6, 0xE1, 0xE8, 0xEF, 0xFA, 0xFD, 0xF4, 0xF3,
};

static inline uint8_t crc8_step(uint8_t crc, uint8_t b) { return pgm_read_byte(&crc8_table[(uint8_t)(crc ^ b)]); }

static void put_checked(uint8_t b) {
    reply_crc = crc8_step(reply_crc, b);
    link_put(b);
}

static void reply_begin(uint8_t seq, uint8_t status, uint8_t payload) {
    if (status == VP_OK && link_take_error()) status = VP_ERR_OVERRUN;
    link_put(VP_SOF_ADAPTER);
    reply_crc = VP_CRC_INIT;
    put_checked((uint8_t)(VP_HEADER_BYTES + payload));
    put_checked(seq);
    put_checked(status);
}

static void reply_end(void) {
    link_put(reply_crc);
    link_put_start(); /* for the bytes put_quiet queued */
}

static inline void put_quiet(uint8_t b) {
    reply_crc = crc8_step(reply_crc, b);
    link_put_quiet(b);
}

static void reply_status(uint8_t seq, uint8_t status) {
    reply_begin(seq, status, 0);
    reply_end();
}

static uint32_t read_u32(const uint8_t* p) {
    return (uint32_t)p[0] | ((uint32_t)p[1] << 8) | ((uint32_t)p[2] << 16) | ((uint32_t)p[3] << 24);
}

static void put_u32(uint32_t v) {
    for (uint8_t i = 0; i < 4; i++) put_checked((uint8_t)(v >> (8 * i)));
}

static uint8_t parse_ahead(void);

/* An AVR run as bytes on the wire and what came back: up to 29 page loads
 * (one frame's data bytes) or VP_AVR_READ_MAX reads, plus the byte the
 * clock loop reads ahead. */
#define AVR_RUN_MAX (VP_AVR_READ_MAX > VP_MAX_DATA - 3 ? VP_AVR_READ_MAX : VP_MAX_DATA - 3)
static uint8_t avr_out[4 * AVR_RUN_MAX + 1];
static uint8_t avr_in[4 * AVR_RUN_MAX];

/* Writes count instructions from op and address into avr_out, with the data
 * bytes from data, or fill when data is NULL: the steps of vp_avr_next
 * without a call per instruction (every instruction of a verify passes here). */
static void avr_expand(uint8_t op, uint16_t address, const uint8_t* data, uint8_t fill, uint8_t count) {
    uint8_t* p = avr_out;
    uint8_t hi = (uint8_t)(address >> 8), lo = (uint8_t)address;
    /* Without data bytes the data position repeats the fill byte. */
    const uint8_t* d = data ? data : &fill;
    const uint8_t dstep = data ? 1 : 0;
    /* Flash opcodes alternate between the word's bytes and step after the high one. */
    const uint8_t flip = vp_avr_paired(op) ? 0x08 : 0x00;
    while (count--) {
        p[0] = op;
        p[1] = hi;
        p[2] = lo;
        p[3] = *d;
        d += dstep;
        p += 4;
        if (!flip || (op & 0x08)) {
            if (++lo == 0) hi++;
        }
        op ^= flip;
    }
}

/* The reply to AVR_READ: the data bytes alone when the other answers follow
 * one of the two patterns the host can rebuild them from, else everything. */
static void avr_read_reply(uint8_t seq, uint8_t count) {
    const uint8_t v = avr_in[0];
    /* Nonzero once an answer breaks the pattern: bytes 1 to 3 of every
     * instruction V (same), or each the byte sent before it (echo). */
    uint8_t same = (uint8_t)((avr_in[1] ^ v) | (avr_in[2] ^ v));
    uint8_t echo = (uint8_t)((avr_in[1] ^ avr_out[0]) | (avr_in[2] ^ avr_out[1]));
    const uint8_t* in = avr_in + 4;
    const uint8_t* out = avr_out + 3;
    for (uint8_t i = 1; i < count && !(same && echo); i++, in += 4, out += 4) {
        same |= (uint8_t)((in[0] ^ v) | (in[1] ^ v) | (in[2] ^ v));
        echo |= (uint8_t)((in[0] ^ out[0]) | (in[1] ^ out[1]) | (in[2] ^ out[2]));
    }
    if (same && echo) {
        const uint8_t n = (uint8_t)(4 * count);
        reply_begin(seq, VP_OK, (uint8_t)(n + 1));
        put_checked(VP_AVR_FULL);
        for (uint8_t i = 0; i < n; i++) put_quiet(avr_in[i]);
    } else {
        reply_begin(seq, VP_OK, (uint8_t)(count + 2));
        put_checked(same ? VP_AVR_ECHO : VP_AVR_SAME);
        put_checked(v);
        const uint8_t* data = avr_in + 3;
        for (uint8_t i = 0; i < count; i++, data += 4) put_quiet(*data);
    }
    reply_end();
}

static void execute(const struct frame* f) {
    const uint8_t seq = f->body[0];
    const uint8_t cmd = f->body[1];
    const uint8_t* arg = f->body + VP_HEADER_BYTES;
    const uint8_t n = (uint8_t)(f->len - VP_HEADER_BYTES);
    if (!f->good) {
        reply_status(seq, VP_ERR_CHECK);
        return;
    }

    switch (cmd) {
    case VP_CMD_IDENTIFY:
        reply_begin(seq, VP_OK, VP_IDENT_BYTES_FEATURES);
        put_checked(VP_MAGIC_0);
        put_checked(VP_MAGIC_1);
        put_checked(FIRMWARE_VERSION);
        put_checked(VP_PROTOCOL_VERSION);
        put_checked((uint8_t)(RX_BUFFER_SIZE & 0xFF));
        put_checked((uint8_t)(RX_BUFFER_SIZE >> 8));
        put_checked(VP_MAX_DATA);
        put_checked(VP_FEATURE_LINK_RATE | VP_FEATURE_SPI_READ | VP_FEATURE_AVR | VP_FEATURE_POLL |
                    VP_FEATURE_FINE_CLOCK);
        reply_end();
        return;
    case VP_CMD_SET_LINK_RATE:
        if (n != 1 || arg[0] > VP_RATE_2M) break;
        /* The answer goes out at the old rate, then the adapter listens at the new one. */
        reply_status(seq, VP_OK);
        link_set_rate(arg[0]);
        state = WAIT_SOF;
        rate_on_probation = arg[0] != VP_RATE_500K;
        rate_switched_ticks = clock_ticks();
        return;
    case VP_CMD_CLOCK:
        reply_begin(seq, VP_OK, 4);
        put_u32(clock_micros());
        reply_end();
        return;
    case VP_CMD_DELAY:
        if (n != 4) break;
        clock_pause(read_u32(arg), parse_ahead, PARSE_AHEAD_TICKS);
        reply_status(seq, VP_OK);
        return;
    case VP_CMD_SPI_WRITE:
        if (n == 0) break;
        target_write(arg, n);
        clock_mark();
        reply_status(seq, VP_OK);
        return;
    case VP_CMD_SPI_TRANSFER:
        if (n == 0) break;
        /* Each byte goes back as soon as it has been clocked in. */
        reply_begin(seq, VP_OK, n);
        for (uint8_t i = 0; i < n; i++) put_checked(target_transfer(arg[i]));
        clock_mark();
        reply_end();
        return;
    case VP_CMD_SPI_READ:
        /* A read that sends one byte value throughout (page reads send zeros):
         * two payload bytes instead of the whole send buffer, after the bytes
         * to write first (a page read's header), whose answers are dropped. */
        if (n < 2 || arg[1] == 0 || arg[1] > VP_MAX_READ) break;
        reply_begin(seq, VP_OK, arg[1]);
        target_write(arg + 2, (uint8_t)(n - 2));
        target_read(arg[0], arg[1], put_checked);
        clock_mark();
        reply_end();
        return;
    case VP_CMD_AVR_LOAD:
        /* Page loads: opcode, address, then one data byte per instruction. */
        if (n < 4) break;
        avr_expand(arg[0], (uint16_t)((arg[1] << 8) | arg[2]), arg + 3, 0, (uint8_t)(n - 3));
        target_exchange(avr_out, avr_in, (uint8_t)(4 * (n - 3)));
        clock_mark();
        reply_status(seq, VP_OK);
        return;
    case VP_CMD_AVR_READ:
        /* Reads: opcode, address, the byte sent in the data position, instruction count. */
        if (n != 5 || arg[4] == 0 || arg[4] > VP_AVR_READ_MAX) break;
        avr_expand(arg[0], (uint16_t)((arg[1] << 8) | arg[2]), 0, arg[3], arg[4]);
        target_exchange(avr_out, avr_in, (uint8_t)(4 * arg[4]));
        clock_mark();
        avr_read_reply(seq, arg[4]);
        return;
    case VP_CMD_POLL: {
        /* Clocks the same bytes until the answer byte, masked, reads the
         * value, with a pause after every poll that does not; gives up once
         * the pauses add up to the limit. The host learns whether the chip
         * got ready by reading back what it wrote. */
        if (n <= VP_POLL_HEADER || n > VP_POLL_HEADER + VP_POLL_MAX_BYTES || arg[2] >= n - VP_POLL_HEADER) break;
        const uint8_t count = (uint8_t)(n - VP_POLL_HEADER);
        const uint16_t step = (uint16_t)(arg[3] | (arg[4] << 8));
        const uint32_t limit = read_u32(arg + 5);
        uint32_t waited = 0;
        uint16_t polls = 0;
        uint8_t answer;
        for (;;) {
            target_exchange(arg + VP_POLL_HEADER, avr_in, count);
            clock_mark();
            answer = avr_in[arg[2]];
            if (polls != 0xFFFF) polls++;
            if ((uint8_t)(answer & arg[0]) == arg[1] || waited >= limit) break;
            clock_pause(step, parse_ahead, PARSE_AHEAD_TICKS);
            waited += step;
        }
        reply_begin(seq, VP_OK, VP_POLL_REPLY);
        put_checked(answer);
        put_checked((uint8_t)polls);
        put_checked((uint8_t)(polls >> 8));
        reply_end();
        return;
    }
    case VP_CMD_SET_LEVELS:
        if (n != 1) break;
        target_set_levels(arg[0]);
        clock_mark();
        reply_status(seq, VP_OK);
        return;
    case VP_CMD_SET_RESET:
        if (n != 1) break;
        target_set_reset(arg[0]);
        clock_mark();
        reply_status(seq, VP_OK);
        return;
    case VP_CMD_SET_READ_MODE:
        if (n != 1) break;
        target_set_read_mode(arg[0]);
        reply_status(seq, VP_OK);
        return;
    case VP_CMD_SET_CLOCK:
        if (n != 1) break;
        target_set_clock(arg[0]);
        reply_status(seq, VP_OK);
        return;
    case VP_CMD_SET_FINE_CLOCK:
        if (n != 1) break;
        target_set_fine_clock(arg[0]);
        reply_status(seq, VP_OK);
        return;
    case VP_CMD_SET_LEDS:
        if (n != 1) break;
        target_set_leds(arg[0]);
        reply_status(seq, VP_OK);
        return;
    case VP_CMD_RELEASE:
        if (n != 0) break;
        target_set_reset(0);
        target_set_leds(0);
        clock_mark();
        reply_status(seq, VP_OK);
        return;
    default:
        reply_status(seq, VP_ERR_COMMAND);
        return;
    }
    reply_status(seq, VP_ERR_ARGUMENT);
}

/* Takes in what has been received, up to a whole frame into the queue; false
 * when it needs more bytes or the queue is full. */
static uint8_t receive(void) {
    const uint16_t available = link_available();
    switch (state) {
    case WAIT_SOF:
        if (available == 0) return 0;
        if (link_get() == VP_SOF_HOST) {
            state = WAIT_LEN;
            frame_start_ticks = clock_ticks();
        }
        return 1;
    case WAIT_LEN: {
        if (available == 0) return 0;
        const uint8_t len = link_get();
        /* Not a frame: hunt for the next marker. */
        state = (len < VP_HEADER_BYTES || len > VP_MAX_LEN) ? WAIT_SOF : WAIT_BODY;
        frame_len = len;
        return 1;
    }
    default: {
        /* The whole body and the check byte at once. */
        if (queue_count == QUEUE_FRAMES || available < (uint16_t)frame_len + 1) return 0;
        struct frame* f = &queue[(uint8_t)((queue_first + queue_count) % QUEUE_FRAMES)];
        link_read(f->body, (uint8_t)(frame_len + 1));
        f->len = frame_len;
        uint8_t crc = crc8_step(VP_CRC_INIT, frame_len);
        for (uint8_t i = 0; i < frame_len; i++) crc = crc8_step(crc, f->body[i]);
        f->good = crc == f->body[frame_len];
        if (f->good) rate_on_probation = 0;
        queue_count++;
        state = WAIT_SOF;
        return 1;
    }
    }
}

/* Work done while a pause runs: one step of taking in the frames after it. */
static uint8_t parse_ahead(void) { return receive(); }

int main(void) {
    MCUSR = 0;
    wdt_disable();
    target_init();
    clock_init();
    link_init();
    sei();
    clock_mark();

    for (;;) {
        if (queue_count) {
            execute(&queue[queue_first]);
            queue_first = (uint8_t)((queue_first + 1) % QUEUE_FRAMES);
            queue_count--;
            continue;
        }
        if (receive()) continue;
        if (clock_take_tick()) {
            if (state != WAIT_SOF && clock_ticks() - frame_start_ticks > FRAME_TIMEOUT_TICKS) state = WAIT_SOF;
            if (rate_on_probation && clock_ticks() - rate_switched_ticks > PROBATION_TICKS) {
                /* The host does not hear us at the new rate (a converter that cannot do it). */
                link_set_rate(VP_RATE_500K);
                rate_on_probation = 0;
                state = WAIT_SOF;
            }
            clock_age_mark();
        }
        link_wait(state == WAIT_BODY ? (uint16_t)frame_len + 1 : 1);
    }
}
