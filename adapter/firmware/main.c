/*
 * Veltro adapter firmware: receives framed commands from the host over the
 * serial link, executes them in order against the target lines and answers
 * each one. The host keeps sending while earlier commands run (it counts the
 * bytes it has in flight against the receive ring), so SPI writes and pauses
 * follow each other without waiting for the link.
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

/* A frame whose bytes stop coming for this long is dropped. */
#define FRAME_TIMEOUT_TICKS (100000UL * TICKS_PER_US)

enum { WAIT_SOF, WAIT_LEN, WAIT_BODY, WAIT_CHECK };

static uint8_t frame[VP_MAX_LEN]; /* SEQ, CMD, payload */
static uint8_t frame_len, frame_pos, frame_crc, state;
static uint32_t last_byte_ticks;

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

static void execute(void) {
    const uint8_t seq = frame[0];
    const uint8_t cmd = frame[1];
    const uint8_t* arg = frame + VP_HEADER_BYTES;
    const uint8_t n = (uint8_t)(frame_len - VP_HEADER_BYTES);

    switch (cmd) {
    case VP_CMD_IDENTIFY:
        reply_begin(seq, VP_OK, VP_IDENT_BYTES);
        put_checked(VP_MAGIC_0);
        put_checked(VP_MAGIC_1);
        put_checked(FIRMWARE_VERSION);
        put_checked(VP_PROTOCOL_VERSION);
        put_checked((uint8_t)(RX_BUFFER_SIZE & 0xFF));
        put_checked((uint8_t)(RX_BUFFER_SIZE >> 8));
        put_checked(VP_MAX_DATA);
        reply_end();
        return;
    case VP_CMD_CLOCK:
        reply_begin(seq, VP_OK, 4);
        put_u32(clock_micros());
        reply_end();
        return;
    case VP_CMD_DELAY:
        if (n != 4) break;
        clock_pause(read_u32(arg));
        reply_status(seq, VP_OK);
        return;
    case VP_CMD_SPI_WRITE:
        if (n == 0) break;
        for (uint8_t i = 0; i < n; i++) target_transfer(arg[i]);
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

static void receive(uint8_t b) {
    last_byte_ticks = clock_ticks();
    switch (state) {
    case WAIT_SOF:
        if (b == VP_SOF_HOST) state = WAIT_LEN;
        break;
    case WAIT_LEN:
        if (b < VP_HEADER_BYTES || b > VP_MAX_LEN) {
            state = WAIT_SOF; /* not a frame: hunt for the next marker */
            break;
        }
        frame_len = b;
        frame_pos = 0;
        frame_crc = vp_crc8_update(VP_CRC_INIT, b);
        state = WAIT_BODY;
        break;
    case WAIT_BODY:
        frame[frame_pos++] = b;
        frame_crc = vp_crc8_update(frame_crc, b);
        if (frame_pos == frame_len) state = WAIT_CHECK;
        break;
    case WAIT_CHECK:
        state = WAIT_SOF;
        if (b == frame_crc)
            execute();
        else
            reply_status(frame[0], VP_ERR_CHECK);
        break;
    }
}

int main(void) {
    MCUSR = 0;
    wdt_disable();
    target_init();
    clock_init();
    link_init();
    sei();
    clock_mark();

    for (;;) {
        if (link_available()) {
            receive(link_get());
            continue;
        }
        if (state != WAIT_SOF && clock_ticks() - last_byte_ticks > FRAME_TIMEOUT_TICKS) state = WAIT_SOF;
        clock_age_mark();
        link_idle();
    }
}
