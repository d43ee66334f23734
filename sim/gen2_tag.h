// An EPC Gen2 tag: four memory banks of 16-bit words, the lock state of its
// two passwords and three banks, User block permalocks, and the states that
// outlive a command (killed, privacy, EAS, the Monza 4QT QT parameter).
//
// Access follows Gen2: a tag whose access password is zero is in the secured
// state as soon as it is singulated; otherwise it is secured only after the
// right password, and stays open when the reader gives none. A wrong password
// makes the tag fall silent.
#pragma once

#include <cstdint>
#include <vector>

#include "frames.h"
#include "outcome.h"

namespace tessaro::sim {

enum Bank { kReserved = 0, kEpcBank = 1, kTidBank = 2, kUserBank = 3 };

// Pwd-write (or pwd-read/write) lock and permalock bit of one field.
struct LockBits {
    bool pwd = false;
    bool perma = false;
    int action() const { return (pwd ? 2 : 0) | (perma ? 1 : 0); }
};

enum class TagAccess { Open, Secured };

// User memory is permalocked in blocks of this many words (BlockLock_G2).
constexpr unsigned kUserBlockWords = 4;

class Gen2Tag {
public:
    std::vector<std::uint16_t> bank[4];  // Reserved, EPC, TID, User
    LockBits locks[5];                   // kill pwd, access pwd, EPC, TID, User
    std::uint8_t userBlockLocks = 0;
    bool killed = false;
    bool hidden = false;  // privacy
    bool eas = false;
    bool qtSupported = false;
    std::uint8_t qt = 0;

    std::uint32_t killPassword() const { return pair(0); }
    std::uint32_t accessPassword() const { return pair(2); }
    void setPasswords(std::uint32_t kill, std::uint32_t access);

    // The EPC as the PC word's length field gives it (clipped to the bank).
    Bytes epc() const;
    // Writes `words` EPC words at word 2 and sets the PC's length field.
    void setEpc(const std::uint8_t *bytes, unsigned words);
    // The StoredCRC the tag computes over its PC and EPC.
    std::uint16_t storedCrc() const;
    // A word as the tag backscatters it (EPC word 0 is the StoredCRC).
    std::uint16_t word(int bankIndex, unsigned index) const;
    // The whole bank, high byte first.
    Bytes bankBytes(int bankIndex) const;

    // The state a password puts the tag in; false when the tag refuses it.
    bool access(std::uint32_t password, TagAccess &state) const;

    Outcome read(int bankIndex, unsigned pointer, unsigned count, TagAccess state, Bytes &out) const;
    Outcome write(int bankIndex, unsigned pointer, const std::uint8_t *data, unsigned words,
                  TagAccess state);
    // WriteEPC: the PC word's length field and the EPC words after it.
    Outcome writeEpc(const std::uint8_t *bytes, unsigned words, TagAccess state);
    Outcome erase(int bankIndex, unsigned pointer, unsigned count, TagAccess state);
    Outcome lock(unsigned target, unsigned action, TagAccess state);
    Outcome blockPermalock(std::uint8_t blocks, TagAccess state);
    Outcome kill(std::uint32_t password);

    // Gen2 Select: do `bitLength` bits from `bitAddress` of the bank equal the
    // mask's first bits? The Reserved bank cannot be selected on.
    bool matches(int bankIndex, unsigned bitAddress, unsigned bitLength,
                 const std::uint8_t *mask) const;

private:
    std::uint32_t pair(unsigned index) const;
    Outcome checkRange(int bankIndex, unsigned pointer, unsigned count) const;
    Outcome checkWrite(int bankIndex, unsigned pointer, unsigned count, TagAccess state) const;
    bool passwordAllowed(unsigned word, TagAccess state) const;
};

}  // namespace tessaro::sim
