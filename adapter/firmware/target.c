#include "target.h"

#include <avr/io.h>

#include "board.h"
#include "veltro_protocol.h"

#define SCK_BIT (1 << PIN_SCK)
#define MOSI_BIT (1 << PIN_MOSI)
#define MISO_BIT (1 << PIN_MISO)
#define RST_BIT (1 << PIN_RST)
#define NRESET_BIT (1 << PIN_NRESET)

/* Automatic SCK phases, in CPU cycles. Read mode 0 serves the AT89S8252
 * (each phase at least 24 oscillator periods) and AVR targets running from a
 * slow internal oscillator: 4 us phases suit crystals from 6 MHz and AVRs from
 * 1 MHz. Read mode 1 serves the AT89S8253 and AT89S51/52 (8 oscillator
 * periods per phase): 1.25 us phases suit crystals from 6.4 MHz. The bit loops
 * below count every instruction between two clock edges, so a phase lasts
 * exactly this long unless an interrupt stretches it. */
#define PHASE_MODE0_CYCLES 64
#define PHASE_MODE1_CYCLES 20
/* A set clock of one or two units (targets from 8 MHz) also runs in the
 * counted loops: phases of 10 and 16 cycles in transfers, 14 and 16 in
 * writes (whose loop needs 14), each at least the units asked for. */
#define PHASE_UNIT1_CYCLES 10
#define PHASE_UNIT1_WRITE_CYCLES 14
#define PHASE_UNIT2_CYCLES 16

static uint8_t levels;
static uint8_t driven;
static uint8_t read_mode;
static uint8_t clock_setting; /* 0: automatic; else the half period in 0.5 us units */
static uint8_t quarter_runs;  /* AVR runs at 0.25 us phases (a fine clock of up to 4/16 us) */

static void drive_idle_lines(void) {
    if (levels & VP_LEVEL_SCK_HIGH)
        PORTB |= SCK_BIT;
    else
        PORTB &= (uint8_t)~SCK_BIT;
    /* MOSI rests at logic 0. */
    if (levels & VP_LEVEL_MOSI_INVERTED)
        PORTB |= MOSI_BIT;
    else
        PORTB &= (uint8_t)~MOSI_BIT;
}

void target_init(void) {
    /* Everything towards the target floats; MISO reads high when nothing drives it. */
    DDRB &= (uint8_t)~(SCK_BIT | MOSI_BIT | MISO_BIT | RST_BIT | NRESET_BIT);
    PORTB = (uint8_t)((PORTB & (uint8_t)~(SCK_BIT | MOSI_BIT | RST_BIT | NRESET_BIT)) | MISO_BIT);
    DDRD |= (1 << PIN_LED1) | (1 << PIN_LED2);
    PORTD &= (uint8_t)~((1 << PIN_LED1) | (1 << PIN_LED2));
}

void target_set_levels(uint8_t flags) {
    levels = flags & (VP_LEVEL_SCK_HIGH | VP_LEVEL_MOSI_INVERTED | VP_LEVEL_MISO_INVERTED);
    if (driven) drive_idle_lines();
}

void target_set_reset(uint8_t hold) {
    if (hold) {
        /* Clock at rest before reset is asserted: AVRs need SCK low while RESET falls,
         * the AT89S8253 needs it low for 64 oscillator periods after RST rises. */
        drive_idle_lines();
        DDRB |= SCK_BIT | MOSI_BIT;
        PORTB |= RST_BIT;
        PORTB &= (uint8_t)~NRESET_BIT;
        DDRB |= RST_BIT | NRESET_BIT;
        driven = 1;
    } else {
        DDRB &= (uint8_t)~(SCK_BIT | MOSI_BIT | RST_BIT | NRESET_BIT);
        PORTB &= (uint8_t)~(SCK_BIT | MOSI_BIT | RST_BIT | NRESET_BIT);
        driven = 0;
    }
}

void target_set_read_mode(uint8_t mode) { read_mode = mode ? 1 : 0; }

void target_set_clock(uint8_t units) {
    clock_setting = units;
    quarter_runs = 0;
}

void target_set_fine_clock(uint8_t sixteenths) {
    /* Everything but the AVR runs takes the next whole 0.5 us units up. */
    clock_setting = sixteenths == 0 ? 0 : (uint8_t)((sixteenths + 7u) / 8u);
    quarter_runs = sixteenths != 0 && sixteenths <= 4;
}

void target_set_leds(uint8_t flags) {
    if (flags & VP_LED1)
        PORTD |= (1 << PIN_LED1);
    else
        PORTD &= (uint8_t)~(1 << PIN_LED1);
    if (flags & VP_LED2)
        PORTD |= (1 << PIN_LED2);
    else
        PORTD &= (uint8_t)~(1 << PIN_LED2);
}

/* One unit is at least 8 CPU cycles (0.5 us at 16 MHz) including the loop itself. */
static inline void wait_units(uint8_t units) {
    while (units--) __builtin_avr_delay_cycles(5);
}

/* One bit: MOSI changes only while SCK rests, so it is stable across both
 * edges and targets that sample on the rising edge (SPI mode 0) and on the
 * falling edge (mode 1) both read it. MISO is read just before the rising
 * edge (read mode 0) or just before the falling edge (read mode 1): there a
 * mode-1 target (data valid after the rising edge) and a mode-0 target (data
 * held until the falling edge) both present the bit. WAIT_LOW and WAIT_HIGH
 * are statements that pass the two phases. Used with a set clock, where the
 * phases are whole units and the instructions around the waits only add to
 * them. */
#define SHIFT_BYTE(WAIT_LOW, WAIT_HIGH, LATE)            \
    for (uint8_t bit = 0; bit < 8; bit++) {               \
        if (out & 0x80)                                   \
            PORTB |= MOSI_BIT;                            \
        else                                              \
            PORTB &= (uint8_t)~MOSI_BIT;                  \
        out <<= 1;                                        \
        in <<= 1;                                         \
        WAIT_LOW;                                         \
        if (!(LATE) && (PINB & MISO_BIT)) in |= 1;        \
        PINB = SCK_BIT; /* toggle to the active level */  \
        WAIT_HIGH;                                        \
        if ((LATE) && (PINB & MISO_BIT)) in |= 1;         \
        PINB = SCK_BIT; /* back to rest */                \
    }

/* The automatic clock in hand-counted assembly. A phase runs from one write
 * of SCK_BIT to PINB (which toggles SCK) to the next; every instruction in
 * between counts. ASM_DELAY(n) passes exactly n cycles: a 3-cycle loop
 * (ldi, then dec/brne) and up to two nops. */
#define ASM_STR2(x) #x
#define ASM_STR(x) ASM_STR2(x)
#define ASM_DELAY(n)                                  \
    ".if (" ASM_STR(n) ") >= 3\n\t"                   \
    "ldi %[t], (" ASM_STR(n) ") / 3\n"                \
    "1:\n\t"                                          \
    "dec %[t]\n\t"                                    \
    "brne 1b\n\t"                                     \
    ".endif\n\t"                                      \
    ".rept (" ASM_STR(n) ") - ((" ASM_STR(n) ") / 3) * 3\n\t" \
    "nop\n\t"                                         \
    ".endr\n\t"
/* MOSI from bit 7 of %[d], then the next bit into place: 6 cycles, MOSI changes once. */
#define ASM_MOSI                                      \
    "sbrc %[d], 7\n\t"                                \
    "sbi %[portb], %[mosi]\n\t"                       \
    "sbrs %[d], 7\n\t"                                \
    "cbi %[portb], %[mosi]\n\t"                       \
    "lsl %[d]\n\t"
#define ASM_EDGE "out %[pinb], %[sck]\n\t"
/* One bit of a write; lead: cycles already spent since the last edge. */
#define ASM_WRITE_BIT(lead, phase) \
    ASM_MOSI ASM_DELAY((phase) - 7 - (lead)) ASM_EDGE ASM_DELAY((phase) - 1) ASM_EDGE

/* Clocks n (>= 1) bytes out back to back at the automatic clock; every phase,
 * also the first one of each byte, lasts exactly phase cycles. Between bytes:
 * dec, breq, rjmp, ld, eor: 7 cycles of the first low phase. */
#define WRITE_BYTES(phase)                                                              \
    __asm__ __volatile__(                                                               \
        "2:\n\t"                                                                        \
        "ld %[d], Z+\n\t"                                                               \
        "eor %[d], %[x]\n\t"                                                            \
        ASM_WRITE_BIT(7, phase)                                                         \
        ".rept 7\n\t"                                                                   \
        ASM_WRITE_BIT(0, phase)                                                         \
        ".endr\n\t"                                                                     \
        "dec %[n]\n\t"                                                                  \
        "breq 3f\n\t"                                                                   \
        "rjmp 2b\n"                                                                      \
        "3:\n\t"                                                                        \
        : [d] "=&r"(d), [t] "=&d"(t), [n] "+r"(n), "+z"(data)                           \
        : [x] "r"(mosi_xor), [sck] "r"((uint8_t)SCK_BIT), [pinb] "I"(_SFR_IO_ADDR(PINB)), \
          [portb] "I"(_SFR_IO_ADDR(PORTB)), [mosi] "I"(PIN_MOSI)                        \
        : "memory")

/* One byte in both directions at the automatic clock. MISO is sampled by the
 * two cycles (sbic, ori) right before the edge that follows the bit: the
 * rising edge in read mode 0, the falling edge in read mode 1. */
#define ASM_SAMPLE \
    "sbic %[pinb], %[miso]\n\t" \
    "ori %[r], 1\n\t"
#define ASM_EARLY_BIT(phase) \
    ASM_MOSI "lsl %[r]\n\t" ASM_DELAY((phase) - 10) ASM_SAMPLE ASM_EDGE ASM_DELAY((phase) - 1) ASM_EDGE
#define ASM_LATE_BIT(phase) \
    ASM_MOSI "lsl %[r]\n\t" ASM_DELAY((phase) - 8) ASM_EDGE ASM_DELAY((phase) - 3) ASM_SAMPLE ASM_EDGE
#define TRANSFER_BYTE(BIT, phase)                                                           \
    __asm__ __volatile__(                                                                   \
        ".rept 8\n\t" BIT(phase) ".endr\n\t"                                                \
        : [d] "+r"(out), [r] "+d"(in), [t] "=&d"(t)                                         \
        : [sck] "r"((uint8_t)SCK_BIT), [pinb] "I"(_SFR_IO_ADDR(PINB)),                      \
          [portb] "I"(_SFR_IO_ADDR(PORTB)), [mosi] "I"(PIN_MOSI), [miso] "I"(PIN_MISO))

/* One byte at the current clock and read mode, before any inversion. */
static uint8_t shift(uint8_t out) {
    uint8_t in = 0;
    uint8_t t;
    if (clock_setting == 1) {
        if (read_mode)
            TRANSFER_BYTE(ASM_LATE_BIT, PHASE_UNIT1_CYCLES);
        else
            TRANSFER_BYTE(ASM_EARLY_BIT, PHASE_UNIT1_CYCLES);
    } else if (clock_setting == 2) {
        if (read_mode)
            TRANSFER_BYTE(ASM_LATE_BIT, PHASE_UNIT2_CYCLES);
        else
            TRANSFER_BYTE(ASM_EARLY_BIT, PHASE_UNIT2_CYCLES);
    } else if (clock_setting != 0) {
        const uint8_t units = clock_setting;
        if (read_mode) {
            SHIFT_BYTE(wait_units(units), wait_units(units), 1)
        } else {
            SHIFT_BYTE(wait_units(units), wait_units(units), 0)
        }
    } else if (read_mode) {
        TRANSFER_BYTE(ASM_LATE_BIT, PHASE_MODE1_CYCLES);
    } else {
        TRANSFER_BYTE(ASM_EARLY_BIT, PHASE_MODE0_CYCLES);
    }
    (void)t;
    return in;
}

uint8_t target_transfer(uint8_t out) {
    const uint8_t miso_xor = (levels & VP_LEVEL_MISO_INVERTED) ? 0xFF : 0x00;
    if (!driven) return (uint8_t)(0xFF ^ miso_xor); /* nothing clocked: an idle MISO reads high */
    const uint8_t mosi_xor = (levels & VP_LEVEL_MOSI_INVERTED) ? 0xFF : 0x00;
    return (uint8_t)(shift((uint8_t)(out ^ mosi_xor)) ^ miso_xor);
}

void target_write(const uint8_t* data, uint8_t n) {
    if (!driven || n == 0) return;
    const uint8_t mosi_xor = (levels & VP_LEVEL_MOSI_INVERTED) ? 0xFF : 0x00;
    if (clock_setting > 2) {
        while (n--) shift((uint8_t)(*data++ ^ mosi_xor));
        return;
    }
    uint8_t d, t;
    /* Writes do not sample MISO: the read mode only picks the automatic phase. */
    if (clock_setting == 1)
        WRITE_BYTES(PHASE_UNIT1_WRITE_CYCLES);
    else if (clock_setting == 2)
        WRITE_BYTES(PHASE_UNIT2_CYCLES);
    else if (read_mode)
        WRITE_BYTES(PHASE_MODE1_CYCLES);
    else
        WRITE_BYTES(PHASE_MODE0_CYCLES);
    (void)d;
    (void)t;
}

void target_read(uint8_t value, uint8_t n, void (*put)(uint8_t)) {
    const uint8_t miso_xor = (levels & VP_LEVEL_MISO_INVERTED) ? 0xFF : 0x00;
    if (!driven || clock_setting != 0) {
        while (n--) put(target_transfer(value));
        return;
    }
    /* The automatic clock without a call per byte: the same bits as
     * target_transfer, with less time between the bytes. */
    const uint8_t sent = (uint8_t)(value ^ ((levels & VP_LEVEL_MOSI_INVERTED) ? 0xFF : 0x00));
    uint8_t t;
    if (read_mode) {
        while (n--) {
            uint8_t out = sent, in = 0;
            TRANSFER_BYTE(ASM_LATE_BIT, PHASE_MODE1_CYCLES);
            put((uint8_t)(in ^ miso_xor));
        }
    } else {
        while (n--) {
            uint8_t out = sent, in = 0;
            TRANSFER_BYTE(ASM_EARLY_BIT, PHASE_MODE0_CYCLES);
            put((uint8_t)(in ^ miso_xor));
        }
    }
    (void)t;
}

/* Runs of AVR instructions at a set clock of one or two units: phases of
 * exactly 8 or 16 cycles (0.5 or 1 us), MISO read into a register two cycles
 * before the rising edge (read mode 0) and put in place during the high
 * phase, the next byte fetched during the high phase of bit 0 and stored
 * bytes written during that of bit 7, so bytes follow each other without a
 * gap. */
/* Passes n cycles with nops: unlike ASM_DELAY it leaves the flags alone,
 * which hold the byte count's test between the counter and the branch. */
#define EX_WAIT(n) ".rept (" ASM_STR(n) ")\n\t" "nop\n\t" ".endr\n\t"
#define EX_LOW_FROM(reg, phase)         \
    "sbrc %[" reg "], 7\n\t"            \
    "sbi %[portb], %[mosi]\n\t"         \
    "sbrs %[" reg "], 7\n\t"            \
    "cbi %[portb], %[mosi]\n\t"         \
    EX_WAIT((phase) - 8)              \
    "in %[s], %[pinb]\n\t"              \
    "nop\n\t"                           \
    ASM_EDGE
#define EX_LOW(phase) EX_LOW_FROM("d", phase)
#define EX_KEEP(bit) "bst %[s], %[miso]\n\t" "bld %[r], " #bit "\n\t"
#define EX_HIGH(bit, phase) EX_KEEP(bit) "lsl %[d]\n\t" EX_WAIT((phase) - 4) ASM_EDGE
/* The last bit goes out from l, so that d takes the next byte and the
 * counter steps one phase early; the loop's jump is too far for a branch. */
#define EX_BYTES(phase)                                                                            \
    __asm__ __volatile__(                                                                          \
        "rjmp 8f\n"                                                                                \
        "7:\n\t" ASM_EDGE                                                                          \
        "8:\n\t"                                                                                   \
        EX_LOW(phase) EX_KEEP(7) "lsl %[d]\n\t" "ld %[nd], Z+\n\t" "eor %[nd], %[x]\n\t"         \
        EX_WAIT((phase) - 7) ASM_EDGE                                                            \
        EX_LOW(phase) EX_HIGH(6, phase) EX_LOW(phase) EX_HIGH(5, phase)                            \
        EX_LOW(phase) EX_HIGH(4, phase) EX_LOW(phase) EX_HIGH(3, phase)                            \
        EX_LOW(phase) EX_HIGH(2, phase)                                                            \
        EX_LOW(phase) EX_KEEP(1) "lsl %[d]\n\t" "mov %[l], %[d]\n\t" "mov %[d], %[nd]\n\t"       \
        "dec %[n]\n\t" EX_WAIT((phase) - 7) ASM_EDGE                                             \
        EX_LOW_FROM("l", phase) EX_KEEP(0) "st X+, %[r]\n\t" EX_WAIT((phase) - 8)                \
        "breq 9f\n\t" "rjmp 7b\n"                                                                  \
        "9:\n\t" "nop\n\t" ASM_EDGE                                                               \
        : [d] "+r"(d), [nd] "=&r"(nd), [l] "=&r"(l), [s] "=&r"(s), [r] "=&r"(r), [n] "+r"(n), "+z"(out), "+x"(in)                                                         \
        : [x] "r"(mosi_xor), [sck] "r"((uint8_t)SCK_BIT), [pinb] "I"(_SFR_IO_ADDR(PINB)),          \
          [portb] "I"(_SFR_IO_ADDR(PORTB)), [mosi] "I"(PIN_MOSI), [miso] "I"(PIN_MISO)             \
        : "memory")

/* Runs at phases of 4 cycles (0.25 us, targets from 12 MHz): MOSI goes out
 * with the whole port image written at rest (SCK at rest, the reset lines
 * and MISO's pull-up as they are), two cycles before the active edge; MISO
 * is read one cycle before it (read mode 0). Each bit uses all of its eight
 * cycles, so a byte's last active phase is stretched to store the byte and
 * fetch the next one: 72 cycles a byte. */
#define QB_BIT(k, next)                  \
    "bld %[port], %[mosi]\n\t"          \
    "out %[portb], %[port]\n\t"         \
    "in %[s], %[pinb]\n\t"              \
    ASM_EDGE                             \
    "bst %[s], %[miso]\n\t"             \
    "bld %[r], " #k "\n\t"              \
    "bst %[d], " #next "\n\t"           \
    ASM_EDGE

static void exchange_quarter(const uint8_t* out, uint8_t* in, uint8_t n, uint8_t mosi_xor) {
    uint8_t d = (uint8_t)(*out++ ^ mosi_xor);
    uint8_t port = PORTB;
    uint8_t r, s;
    __asm__ __volatile__(
        "bst %[d], 7\n"
        "1:\n\t"
        QB_BIT(7, 6) QB_BIT(6, 5) QB_BIT(5, 4) QB_BIT(4, 3) QB_BIT(3, 2) QB_BIT(2, 1) QB_BIT(1, 0)
        "bld %[port], %[mosi]\n\t"
        "out %[portb], %[port]\n\t"
        "in %[s], %[pinb]\n\t"
        ASM_EDGE
        "bst %[s], %[miso]\n\t"
        "bld %[r], 0\n\t"
        "st X+, %[r]\n\t"
        "dec %[n]\n\t"
        "breq 2f\n\t"
        "ld %[d], Z+\n\t"
        "eor %[d], %[x]\n\t"
        "bst %[d], 7\n\t"
        ASM_EDGE
        "rjmp 1b\n"
        "2:\n\t"
        "nop\n\t"
        ASM_EDGE
        : [d] "+r"(d), [r] "=&r"(r), [s] "=&r"(s), [port] "+r"(port), [n] "+r"(n), "+z"(out), "+x"(in)
        : [x] "r"(mosi_xor), [sck] "r"((uint8_t)SCK_BIT), [pinb] "I"(_SFR_IO_ADDR(PINB)),
          [portb] "I"(_SFR_IO_ADDR(PORTB)), [mosi] "I"(PIN_MOSI), [miso] "I"(PIN_MISO)
        : "memory");
}

void target_exchange(const uint8_t* out, uint8_t* in, uint8_t n) {
    if (n == 0) return;
    uint8_t* const first = in;
    const uint8_t count = n;
    const uint8_t miso_xor = (levels & VP_LEVEL_MISO_INVERTED) ? 0xFF : 0x00;
    if (!driven || read_mode != 0 || (clock_setting != 1 && clock_setting != 2)) {
        while (n--) *in++ = target_transfer(*out++);
        return;
    }
    const uint8_t mosi_xor = (levels & VP_LEVEL_MOSI_INVERTED) ? 0xFF : 0x00;
    if (quarter_runs) {
        exchange_quarter(out, in, n, mosi_xor);
    } else {
        uint8_t d = (uint8_t)(*out++ ^ mosi_xor);
        uint8_t nd, l, s, r;
        if (clock_setting == 1)
            EX_BYTES(8);
        else
            EX_BYTES(16);
        (void)nd;
        (void)l;
        (void)s;
        (void)r;
    }
    if (miso_xor)
        for (uint8_t i = 0; i < count; i++) first[i] ^= miso_xor;
}
