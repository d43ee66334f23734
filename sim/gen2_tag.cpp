#include "gen2_tag.h"

namespace tessaro::sim {

namespace {

// Gen2's CRC-16 (polynomial 0x1021, preset 0xFFFF, most significant bit
// first, result complemented), over 16-bit words.
std::uint16_t gen2Crc(const std::vector<std::uint16_t> &words, std::size_t first, std::size_t count) {
    std::uint16_t crc = 0xFFFF;
    for (std::size_t i = first; i < first + count && i < words.size(); ++i)
        for (int bit = 15; bit >= 0; --bit) {
            const bool in = ((words[i] >> bit) & 1u) != 0;
            const bool top = (crc & 0x8000u) != 0;
            crc = static_cast<std::uint16_t>(crc << 1);
            if (in != top) crc ^= 0x1021u;
        }
    return static_cast<std::uint16_t>(~crc);
}

constexpr unsigned kPcWord = 1;
constexpr unsigned kFirstEpcWord = 2;

unsigned pcLength(const std::vector<std::uint16_t> &epcBank) {
    return epcBank.size() > kPcWord ? epcBank[kPcWord] >> 11 : 0;
}

}  // namespace

std::uint32_t Gen2Tag::pair(unsigned index) const {
    const auto &reserved = bank[kReserved];
    if (reserved.size() < index + 2) return 0;
    return (static_cast<std::uint32_t>(reserved[index]) << 16) | reserved[index + 1];
}

void Gen2Tag::setPasswords(std::uint32_t kill, std::uint32_t access) {
    bank[kReserved] = {static_cast<std::uint16_t>(kill >> 16), static_cast<std::uint16_t>(kill),
                       static_cast<std::uint16_t>(access >> 16), static_cast<std::uint16_t>(access)};
}

Bytes Gen2Tag::epc() const {
    const auto &epcBank = bank[kEpcBank];
    Bytes out;
    for (unsigned i = 0; i < pcLength(epcBank) && kFirstEpcWord + i < epcBank.size(); ++i)
        appendWord(out, epcBank[kFirstEpcWord + i]);
    return out;
}

void Gen2Tag::setEpc(const std::uint8_t *bytes, unsigned words) {
    auto &epcBank = bank[kEpcBank];
    if (epcBank.size() < kFirstEpcWord + words) epcBank.resize(kFirstEpcWord + words);
    for (unsigned i = 0; i < words; ++i)
        epcBank[kFirstEpcWord + i] = static_cast<std::uint16_t>((bytes[2 * i] << 8) | bytes[2 * i + 1]);
    epcBank[kPcWord] = static_cast<std::uint16_t>((epcBank[kPcWord] & 0x07FFu) | ((words & 0x1Fu) << 11));
}

std::uint16_t Gen2Tag::storedCrc() const {
    const auto &epcBank = bank[kEpcBank];
    return gen2Crc(epcBank, kPcWord, 1 + pcLength(epcBank));
}

std::uint16_t Gen2Tag::word(int bankIndex, unsigned index) const {
    if (bankIndex == kEpcBank && index == 0) return storedCrc();
    return bank[bankIndex][index];
}

Bytes Gen2Tag::bankBytes(int bankIndex) const {
    Bytes out;
    for (unsigned i = 0; i < bank[bankIndex].size(); ++i) appendWord(out, word(bankIndex, i));
    return out;
}

bool Gen2Tag::access(std::uint32_t password, TagAccess &state) const {
    if (password == 0) {
        state = accessPassword() == 0 ? TagAccess::Secured : TagAccess::Open;
        return true;
    }
    state = TagAccess::Secured;
    return password == accessPassword();
}

Outcome Gen2Tag::checkRange(int bankIndex, unsigned pointer, unsigned count) const {
    if (bankIndex < 0 || bankIndex > kUserBank || count == 0)
        return Outcome::reader(TESSARO_SIM_STATUS_PARAMETER);
    if (pointer + count > bank[bankIndex].size())
        return Outcome::tagFailed(TESSARO_SIM_TAG_MEMORY_OVERRUN);
    return Outcome::ok();
}

// A password that is pwd-locked can be read and written only in the secured
// state; permalocked as well, never.
bool Gen2Tag::passwordAllowed(unsigned wordIndex, TagAccess state) const {
    const LockBits &lockBits = locks[wordIndex < 2 ? TESSARO_SIM_LOCK_KILL : TESSARO_SIM_LOCK_ACCESS];
    if (!lockBits.pwd) return true;
    return !lockBits.perma && state == TagAccess::Secured;
}

Outcome Gen2Tag::read(int bankIndex, unsigned pointer, unsigned count, TagAccess state,
                      Bytes &out) const {
    const Outcome range = checkRange(bankIndex, pointer, count);
    if (!range.isOk()) return range;
    for (unsigned i = pointer; i < pointer + count; ++i)
        if (bankIndex == kReserved && !passwordAllowed(i, state))
            return Outcome::tagFailed(TESSARO_SIM_TAG_MEMORY_LOCKED);
    for (unsigned i = pointer; i < pointer + count; ++i) appendWord(out, word(bankIndex, i));
    return Outcome::ok();
}

Outcome Gen2Tag::checkWrite(int bankIndex, unsigned pointer, unsigned count, TagAccess state) const {
    const Outcome range = checkRange(bankIndex, pointer, count);
    if (!range.isOk()) return range;
    const Outcome locked = Outcome::tagFailed(TESSARO_SIM_TAG_MEMORY_LOCKED);
    if (bankIndex == kReserved) {
        for (unsigned i = pointer; i < pointer + count; ++i)
            if (!passwordAllowed(i, state)) return locked;
        return Outcome::ok();
    }
    const LockBits &lockBits = locks[bankIndex + 1];
    if (lockBits.pwd && (lockBits.perma || state == TagAccess::Open)) return locked;
    // The StoredCRC is the tag's own computation, not memory to write.
    if (bankIndex == kEpcBank && pointer == 0) return locked;
    if (bankIndex == kUserBank)
        for (unsigned i = pointer; i < pointer + count; ++i)
            if (i / kUserBlockWords < 8 && ((userBlockLocks >> (i / kUserBlockWords)) & 1u)) return locked;
    return Outcome::ok();
}

Outcome Gen2Tag::write(int bankIndex, unsigned pointer, const std::uint8_t *data, unsigned words,
                       TagAccess state) {
    const Outcome allowed = checkWrite(bankIndex, pointer, words, state);
    if (!allowed.isOk()) return allowed;
    for (unsigned i = 0; i < words; ++i)
        bank[bankIndex][pointer + i] = static_cast<std::uint16_t>((data[2 * i] << 8) | data[2 * i + 1]);
    return Outcome::ok();
}

Outcome Gen2Tag::writeEpc(const std::uint8_t *bytes, unsigned words, TagAccess state) {
    const Outcome allowed = checkWrite(kEpcBank, kPcWord, 1 + words, state);
    if (!allowed.isOk()) return allowed;
    setEpc(bytes, words);
    return Outcome::ok();
}

Outcome Gen2Tag::erase(int bankIndex, unsigned pointer, unsigned count, TagAccess state) {
    const Outcome allowed = checkWrite(bankIndex, pointer, count, state);
    if (!allowed.isOk()) return allowed;
    for (unsigned i = 0; i < count; ++i) bank[bankIndex][pointer + i] = 0;
    return Outcome::ok();
}

// Lock needs the secured state. A permalocked field keeps its lock for ever:
// a Lock that would change it (or clear its permalock bit) is refused whole.
Outcome Gen2Tag::lock(unsigned target, unsigned action, TagAccess state) {
    if (target > TESSARO_SIM_LOCK_USER || action > TESSARO_SIM_PERMA_LOCKED)
        return Outcome::reader(TESSARO_SIM_STATUS_PARAMETER);
    if (state != TagAccess::Secured) return Outcome::tagFailed(TESSARO_SIM_TAG_MEMORY_LOCKED);
    LockBits &lockBits = locks[target];
    const bool pwd = (action & 2u) != 0;
    const bool perma = (action & 1u) != 0;
    if (lockBits.perma && (lockBits.pwd != pwd || !perma))
        return Outcome::tagFailed(TESSARO_SIM_TAG_MEMORY_LOCKED);
    lockBits = {pwd, perma};
    return Outcome::ok();
}

Outcome Gen2Tag::blockPermalock(std::uint8_t blocks, TagAccess state) {
    if (state != TagAccess::Secured) return Outcome::tagFailed(TESSARO_SIM_TAG_MEMORY_LOCKED);
    const std::size_t userWords = bank[kUserBank].size();
    const std::size_t blockCount = (userWords + kUserBlockWords - 1) / kUserBlockWords;
    if (blockCount < 8 && (blocks >> blockCount) != 0)
        return Outcome::tagFailed(TESSARO_SIM_TAG_MEMORY_OVERRUN);
    userBlockLocks = static_cast<std::uint8_t>(userBlockLocks | blocks);
    return Outcome::ok();
}

// A tag whose kill password is zero cannot be killed; a wrong password makes
// it fall silent.
Outcome Gen2Tag::kill(std::uint32_t password) {
    if (killPassword() == 0) return Outcome::tagFailed(TESSARO_SIM_TAG_OTHER_ERROR);
    if (password != killPassword()) return Outcome::reader(TESSARO_SIM_STATUS_TAG_SILENT);
    killed = true;
    return Outcome::ok();
}

bool Gen2Tag::matches(int bankIndex, unsigned bitAddress, unsigned bitLength,
                      const std::uint8_t *mask) const {
    if (bankIndex <= kReserved || bankIndex > kUserBank) return false;
    for (unsigned i = 0; i < bitLength; ++i) {
        const unsigned at = bitAddress + i;
        if (at / 16 >= bank[bankIndex].size()) return false;
        const unsigned tagBit = (word(bankIndex, at / 16) >> (15 - at % 16)) & 1u;
        const unsigned maskBit = (mask[i / 8] >> (7 - i % 8)) & 1u;
        if (tagBit != maskBit) return false;
    }
    return true;
}

}  // namespace tessaro::sim
