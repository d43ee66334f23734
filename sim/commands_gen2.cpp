// Gen2 commands on one tag: memory (ReadData_G2 0x02, WriteData_G2 0x03,
// WriteEPC_G2 0x04, BlockErase_G2 0x07, BlockWrite_G2 0x10, ExtReadData_G2
// 0x15, ExtWriteData_G2 0x16) and state (KillTag_G2 0x05, Lock_G2 0x06,
// privacy 0x08 to 0x0B, EAS 0x0C and 0x0D, BlockLock_G2 0x0E, Monza 4QT 0x11
// and 0x12).
//
// A selecting command names its tag by EPC (`epcWords` 0 to 31; 0 takes
// whichever tag answers) or by a mask at the end of the frame (`epcWords`
// 0xFF); of several matching tags the strongest answers.
#include <algorithm>

#include "commands.h"

namespace tessaro::sim {

namespace {

// Words one read may ask for: the answer must fit one frame.
constexpr unsigned kMaxReadWords = 120;
constexpr std::uint8_t kMaskSelection = 0xFF;
constexpr unsigned kMaxEpcWords = 31;

struct Selection {
    bool byMask = false;
    const std::uint8_t *epc = nullptr;
    unsigned epcBytes = 0;
    std::uint8_t maskBank = 0;
    unsigned maskAddress = 0;
    unsigned maskLength = 0;
    const std::uint8_t *maskBytes = nullptr;
};

// The EPC length byte and the EPC. False (answered) for a length of 32 to 254.
bool readSelection(Cursor &data, Selection &selection, Reply &reply) {
    const std::uint8_t epcWords = data.byte();
    if (epcWords == kMaskSelection) {
        selection.byMask = true;
        return true;
    }
    if (epcWords > kMaxEpcWords) {
        reply.answer(TESSARO_SIM_STATUS_PARAMETER);
        return false;
    }
    selection.epcBytes = 2u * epcWords;
    selection.epc = data.take(selection.epcBytes);
    return true;
}

// The mask block that ends a frame with mask selection; then the frame must
// be read whole.
bool readSelectionEnd(Cursor &data, Selection &selection, Reply &reply) {
    if (selection.byMask) {
        selection.maskBank = data.byte();
        selection.maskAddress = data.word();
        selection.maskLength = data.byte();
        selection.maskBytes = data.take((selection.maskLength + 7u) / 8u);
    }
    return readWhole(data, reply);
}

bool selects(const Selection &selection, const Gen2Tag &tag) {
    if (selection.byMask)
        return tag.matches(selection.maskBank, selection.maskAddress, selection.maskLength, selection.maskBytes);
    if (selection.epcBytes == 0) return true;
    const Bytes epc = tag.epc();
    return epc.size() == selection.epcBytes && std::equal(epc.begin(), epc.end(), selection.epc);
}

FieldTag *selectTag(Reader &reader, const Selection &selection, Reply &reply) {
    if (selection.byMask && selection.maskBank > kUserBank) {
        reply.answer(TESSARO_SIM_STATUS_PARAMETER);
        return nullptr;
    }
    const Air air = reader.air();
    std::vector<FieldTag *> matching;
    for (FieldTag *tag : answering(reader.tags, air, TESSARO_SIM_GEN2))
        if (selects(selection, tag->gen2)) matching.push_back(tag);
    FieldTag *tag = strongest(matching, air);
    if (!tag) reply.answer(TESSARO_SIM_STATUS_NO_TAG);
    return tag;
}

enum class Writes { No, Yes };

// Puts `tag` in the state `password` gives. False (answered) when the tag
// refuses the password, or is too weak for a command that writes.
bool openTag(Reader &reader, const FieldTag &tag, std::uint32_t password, Writes writes,
             TagAccess &state, Reply &reply) {
    if (!tag.gen2.access(password, state)) {
        reply.answer(TESSARO_SIM_STATUS_TAG_SILENT);
        return false;
    }
    if (writes == Writes::Yes && !reader.air().canWrite(tag)) {
        reply.outcome(Outcome::tagFailed(TESSARO_SIM_TAG_INSUFFICIENT_POWER));
        return false;
    }
    return true;
}

FieldTag *selectAndOpen(Reader &reader, const Selection &selection, std::uint32_t password, Writes writes,
                        TagAccess &state, Reply &reply) {
    FieldTag *tag = selectTag(reader, selection, reply);
    return tag && openTag(reader, *tag, password, writes, state, reply) ? tag : nullptr;
}

// The commands without a selection act on the strongest tag in the field,
// opened for writing; nullptr when the command has been answered already.
FieldTag *openStrongest(Reader &reader, std::uint32_t password, TagAccess &state, Reply &reply) {
    const Air air = reader.air();
    FieldTag *tag = strongest(answering(reader.tags, air, TESSARO_SIM_GEN2), air);
    if (!tag) {
        reply.answer(TESSARO_SIM_STATUS_NO_TAG);
        return nullptr;
    }
    return openTag(reader, *tag, password, Writes::Yes, state, reply) ? tag : nullptr;
}

// A selecting command's frame: the selection, the command's own fields
// (`fields` reads them and returns the access password), the mask block; then
// the selected tag in the state that password gives. nullptr when the command
// has been answered already.
template <class Fields>
FieldTag *openSelected(Reader &reader, Cursor &data, Reply &reply, Writes writes, TagAccess &state,
                       Fields &&fields) {
    Selection selection;
    if (!readSelection(data, selection, reply)) return nullptr;
    const std::uint32_t password = fields(data);
    if (!readSelectionEnd(data, selection, reply)) return nullptr;
    return selectAndOpen(reader, selection, password, writes, state, reply);
}

// Privacy, EAS and the QT parameter need the secured state.
bool secured(TagAccess state, Reply &reply) {
    if (state == TagAccess::Secured) return true;
    reply.outcome(Outcome::tagFailed(TESSARO_SIM_TAG_MEMORY_LOCKED));
    return false;
}

void read(Reader &reader, Cursor &data, Reply &reply, bool extended) {
    Selection selection;
    if (!readSelection(data, selection, reply)) return;
    const std::uint8_t bank = data.byte();
    const unsigned pointer = extended ? data.word() : data.byte();
    const unsigned count = data.byte();
    const std::uint32_t password = data.quad();
    if (!readSelectionEnd(data, selection, reply)) return;
    if (count == 0 || count > kMaxReadWords) {
        reply.answer(TESSARO_SIM_STATUS_PARAMETER);
        return;
    }
    TagAccess state;
    const FieldTag *tag = selectAndOpen(reader, selection, password, Writes::No, state, reply);
    if (!tag) return;
    Bytes words;
    reply.outcome(tag->gen2.read(bank, pointer, count, state, words), words);
}

void write(Reader &reader, Cursor &data, Reply &reply, bool extended) {
    const unsigned words = data.byte();
    Selection selection;
    if (!readSelection(data, selection, reply)) return;
    const std::uint8_t bank = data.byte();
    const unsigned pointer = extended ? data.word() : data.byte();
    const std::uint8_t *bytes = data.take(2u * words);
    const std::uint32_t password = data.quad();
    if (!readSelectionEnd(data, selection, reply)) return;
    if (words == 0) {
        reply.answer(TESSARO_SIM_STATUS_PARAMETER);
        return;
    }
    TagAccess state;
    FieldTag *tag = selectAndOpen(reader, selection, password, Writes::Yes, state, reply);
    if (tag) reply.outcome(tag->gen2.write(bank, pointer, bytes, words, state));
}

void readData(Reader &reader, Cursor &data, Reply &reply) { read(reader, data, reply, false); }
void extReadData(Reader &reader, Cursor &data, Reply &reply) { read(reader, data, reply, true); }
void writeData(Reader &reader, Cursor &data, Reply &reply) { write(reader, data, reply, false); }
void extWriteData(Reader &reader, Cursor &data, Reply &reply) { write(reader, data, reply, true); }

// No selection: the strongest tag in the field takes the new EPC.
void writeEpc(Reader &reader, Cursor &data, Reply &reply) {
    const unsigned words = data.byte();
    const std::uint32_t password = data.quad();
    const std::uint8_t *epc = data.take(2u * words);
    if (!readWhole(data, reply)) return;
    if (words > kMaxEpcWords) {
        reply.answer(TESSARO_SIM_STATUS_PARAMETER);
        return;
    }
    TagAccess state;
    if (FieldTag *tag = openStrongest(reader, password, state, reply))
        reply.outcome(tag->gen2.writeEpc(epc, words, state));
}

void blockErase(Reader &reader, Cursor &data, Reply &reply) {
    std::uint8_t bank = 0;
    unsigned pointer = 0, count = 0;
    TagAccess state;
    FieldTag *tag = openSelected(reader, data, reply, Writes::Yes, state, [&](Cursor &fields) {
        bank = fields.byte();
        pointer = fields.byte();
        count = fields.byte();
        return fields.quad();
    });
    if (tag) reply.outcome(tag->gen2.erase(bank, pointer, count, state));
}

void killTag(Reader &reader, Cursor &data, Reply &reply) {
    Selection selection;
    if (!readSelection(data, selection, reply)) return;
    const std::uint32_t killPassword = data.quad();
    if (!readSelectionEnd(data, selection, reply)) return;
    FieldTag *tag = selectTag(reader, selection, reply);
    if (!tag) return;
    if (!reader.air().canWrite(*tag))
        reply.outcome(Outcome::tagFailed(TESSARO_SIM_TAG_INSUFFICIENT_POWER));
    else
        reply.outcome(tag->gen2.kill(killPassword));
}

void lock(Reader &reader, Cursor &data, Reply &reply) {
    std::uint8_t target = 0, action = 0;
    TagAccess state;
    FieldTag *tag = openSelected(reader, data, reply, Writes::Yes, state, [&](Cursor &fields) {
        target = fields.byte();
        action = fields.byte();
        return fields.quad();
    });
    if (tag) reply.outcome(tag->gen2.lock(target, action, state));
}

std::uint32_t passwordOnly(Cursor &fields) { return fields.quad(); }

// The fields "password, then one byte" (BlockLock_G2, EASConfigure_G2).
auto passwordThen(std::uint8_t &byte) {
    return [&byte](Cursor &fields) {
        const std::uint32_t password = fields.quad();
        byte = fields.byte();
        return password;
    };
}

void blockLock(Reader &reader, Cursor &data, Reply &reply) {
    std::uint8_t blocks = 0;
    TagAccess state;
    FieldTag *tag = openSelected(reader, data, reply, Writes::Yes, state, passwordThen(blocks));
    if (tag) reply.outcome(tag->gen2.blockPermalock(blocks, state));
}

void setPrivacyByEpc(Reader &reader, Cursor &data, Reply &reply) {
    TagAccess state;
    FieldTag *tag = openSelected(reader, data, reply, Writes::Yes, state, passwordOnly);
    if (!tag || !secured(state, reply)) return;
    tag->gen2.hidden = true;
    reply.answer(0);
}

// Hides the strongest tag in the field.
void setPrivacyWithoutEpc(Reader &reader, Cursor &data, Reply &reply) {
    const std::uint32_t password = data.quad();
    if (!readWhole(data, reply)) return;
    TagAccess state;
    FieldTag *tag = openStrongest(reader, password, state, reply);
    if (!tag || !secured(state, reply)) return;
    tag->gen2.hidden = true;
    reply.answer(0);
}

// Reveals every hidden tag in the field that takes the password.
void resetPrivacy(Reader &reader, Cursor &data, Reply &reply) {
    const std::uint32_t password = data.quad();
    if (!readWhole(data, reply)) return;
    int hidden = 0, revealed = 0;
    for (FieldTag *tag : answering(reader.tags, reader.air(), TESSARO_SIM_GEN2, Hidden::Include)) {
        if (!tag->gen2.hidden) continue;
        ++hidden;
        TagAccess state;
        if (tag->gen2.access(password, state) && state == TagAccess::Secured) {
            tag->gen2.hidden = false;
            ++revealed;
        }
    }
    reply.answer(hidden == 0 ? TESSARO_SIM_STATUS_NO_TAG : revealed == 0 ? TESSARO_SIM_STATUS_TAG_SILENT : 0);
}

// 1 when a tag in the field is in the privacy state, 0 when none is.
void checkPrivacy(Reader &reader, Cursor &data, Reply &reply) {
    if (!readWhole(data, reply)) return;
    const auto tags = answering(reader.tags, reader.air(), TESSARO_SIM_GEN2, Hidden::Include);
    if (tags.empty()) {
        reply.answer(TESSARO_SIM_STATUS_NO_TAG);
        return;
    }
    const bool anyHidden = std::any_of(tags.begin(), tags.end(), [](const FieldTag *t) { return t->gen2.hidden; });
    reply.answer(0, {static_cast<std::uint8_t>(anyHidden ? 1 : 0)});
}

void easConfigure(Reader &reader, Cursor &data, Reply &reply) {
    std::uint8_t flag = 0;
    TagAccess state;
    FieldTag *tag = openSelected(reader, data, reply, Writes::Yes, state, passwordThen(flag));
    if (!tag || !secured(state, reply)) return;
    tag->gen2.eas = (flag & 1u) != 0;
    reply.answer(0);
}

// Status 0 while a tag with its EAS bit set is in the field (hidden or not).
void easAlarm(Reader &reader, Cursor &data, Reply &reply) {
    if (!readWhole(data, reply)) return;
    const auto tags = answering(reader.tags, reader.air(), TESSARO_SIM_GEN2, Hidden::Include);
    const bool alarm = std::any_of(tags.begin(), tags.end(), [](const FieldTag *t) { return t->gen2.eas; });
    reply.answer(alarm ? 0 : TESSARO_SIM_STATUS_NO_TAG);
}

// Tags other than the Monza 4QT do not know the QT commands and stay silent;
// the Monza 4QT takes them in the secured state.
bool takesQt(const FieldTag *tag, TagAccess state, Reply &reply) {
    if (!tag) return false;
    if (!tag->gen2.qtSupported) {
        reply.answer(TESSARO_SIM_STATUS_TAG_SILENT);
        return false;
    }
    return secured(state, reply);
}

void getQt(Reader &reader, Cursor &data, Reply &reply) {
    TagAccess state;
    const FieldTag *tag = openSelected(reader, data, reply, Writes::No, state, passwordOnly);
    if (takesQt(tag, state, reply)) reply.answer(0, {0x00, tag->gen2.qt});
}

void setQt(Reader &reader, Cursor &data, Reply &reply) {
    std::uint8_t qt = 0;
    TagAccess state;
    FieldTag *tag = openSelected(reader, data, reply, Writes::Yes, state, [&](Cursor &fields) {
        fields.byte();  // the QT parameter's high byte, always 0
        qt = fields.byte();
        return fields.quad();
    });
    if (!takesQt(tag, state, reply)) return;
    tag->gen2.qt = qt;
    reply.answer(0);
}

}  // namespace

void addGen2TagCommands(CommandTable &table) {
    table[0x02] = readData;
    table[0x03] = writeData;
    table[0x04] = writeEpc;
    table[0x05] = killTag;
    table[0x06] = lock;
    table[0x07] = blockErase;
    table[0x08] = setPrivacyByEpc;
    table[0x09] = setPrivacyWithoutEpc;
    table[0x0A] = resetPrivacy;
    table[0x0B] = checkPrivacy;
    table[0x0C] = easConfigure;
    table[0x0D] = easAlarm;
    table[0x0E] = blockLock;
    table[0x10] = writeData;  // BlockWrite_G2: the same words, written as one block
    table[0x11] = getQt;
    table[0x12] = setQt;
    table[0x15] = extReadData;
    table[0x16] = extWriteData;
}

}  // namespace tessaro::sim
