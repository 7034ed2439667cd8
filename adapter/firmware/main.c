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

static void put_checked(uint8_t b) {
    reply_crc = vp_crc8_update(reply_crc, b);
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

static void reply_end(void) { link_put(reply_crc); }

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
        put_checked(VP_FEATURE_LINK_RATE | VP_FEATURE_SPI_READ);
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
         * two payload bytes instead of the whole send buffer. */
        if (n != 2 || arg[1] == 0 || arg[1] > VP_MAX_DATA) break;
        reply_begin(seq, VP_OK, arg[1]);
        for (uint8_t i = 0; i < arg[1]; i++) put_checked(target_transfer(arg[0]));
        clock_mark();
        reply_end();
        return;
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
        uint8_t crc = vp_crc8_update(VP_CRC_INIT, frame_len);
        for (uint8_t i = 0; i < frame_len; i++) crc = vp_crc8_update(crc, f->body[i]);
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
