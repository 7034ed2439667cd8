// Finding out which controller is attached, from the signature bytes that
// the AVRs, the AT89S8253 and the AT89S51/52 give over their serial
// programming interface. The AT89S8252 and AT89S53 have none and cannot be
// told from an empty socket.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace kestrin {

struct TDetected {
    // Nothing: no target answered the programming enable. Silent: only the
    // AT89S8252's byte-mode handshake took (an AT89S8252 or AT89S53), and
    // such a part has no signature to tell which.
    enum class TState { Nothing, Unknown, Known, Silent };
    TState State = TState::Nothing;
    uint8_t Type = 0;                // the controller type (ControllerType) of a known part
    std::string Name;                // a known part's name, such as "ATmega328P"
    std::vector<uint8_t> Signature;  // the bytes read from a part that answered
};

// Probes the target with the line levels of a profile (SCK quiescent high,
// MISO inverted, MOSI inverted): first as an AVR, then as an AT89S51/52, then
// as an AT89S8253, last in the AT89S8252's byte mode. Each probe is a short programming run of its own that
// writes nothing and releases the target when it ends.
TDetected DetectController(bool sck, bool miso, bool mosi);

// Only the probe of one controller type's family: quicker than
// DetectController on an empty socket, for a line that polls for its chips.
// A part of another family may go unseen.
TDetected ProbeFamily(uint8_t type, bool sck, bool miso, bool mosi);

// What a user is told: "ATmega328P (ATmega)", "unknown signature 1E 95 99",
// "nothing answered", "AT89S8252 does not report a signature".
std::string DetectedText(const TDetected& detected);

// Signature bytes in hex, separated by spaces: "1E 95 0F".
std::string SignatureText(const uint8_t* bytes, size_t count);

}  // namespace kestrin
