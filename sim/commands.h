// What the command handlers share: the answer being built, the table that
// maps command codes to handlers, and the registration of each family.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "frames.h"
#include "outcome.h"
#include "reader.h"
#include "report_port.h"

namespace tessaro::sim {

// The answer to one command: one frame, or a stream of them.
class Reply {
public:
    Reply(const Reader &reader, std::uint8_t code) : reader_(reader), code_(code) {}

    std::uint8_t code() const { return code_; }
    // Appends an answer frame, carrying the reader's address as it is now
    // (after SetAddress: the new one).
    void answer(std::uint8_t status, const Bytes &data = {}, unsigned readyAfterMs = 0);
    // Status 0 with `data`; TAG_ERROR with the tag's error byte; any other
    // status alone.
    void outcome(const Outcome &result, const Bytes &data = {});

    std::vector<AnswerFrame> frames;

private:
    const Reader &reader_;
    std::uint8_t code_;
};

using Handler = void (*)(Reader &reader, Cursor &data, Reply &reply);
using CommandTable = std::array<Handler, 256>;

// True when the handler read the frame's data exactly; otherwise answers
// "length wrong".
bool readWhole(const Cursor &data, Reply &reply);

// A setting the reader stores as it comes and answers as it is: `size` bytes
// at `offset` in the reader's state.
struct SettingRow {
    std::uint8_t code;
    std::size_t offset;
    std::size_t size;
    bool (*valid)(const std::uint8_t *bytes);  // nullptr: every value is taken
};

#define TESSARO_SIM_SETTING(code, field, valid) \
    SettingRow { code, offsetof(TessaroSimReaderState, field), sizeof(TessaroSimReaderState::field), valid }

// The row of `code`, or nullptr.
template <std::size_t N>
const SettingRow *findSetting(const SettingRow (&rows)[N], std::uint8_t code) {
    for (const SettingRow &row : rows)
        if (row.code == code) return &row;
    return nullptr;
}

// A set command: exactly `size` data bytes, checked, stored; status 0.
void storeSetting(Reader &reader, Cursor &data, Reply &reply, const SettingRow &row);
// A get command: no data; status 0 with the setting's bytes.
void answerSetting(Reader &reader, Cursor &data, Reply &reply, const SettingRow &row);

void addInventoryCommands(CommandTable &table);
void addGen2TagCommands(CommandTable &table);
void addIso6bCommands(CommandTable &table);
void addSettingsCommands(CommandTable &table);
void addCalibrationCommands(CommandTable &table);

}  // namespace tessaro::sim
