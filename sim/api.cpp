// The C interface of TessaroSim.h: argument checks, the bus's lock, and
// the calls into the readers and their fields.
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <new>
#include <sstream>
#include <string>

#include "TessaroSim.h"
#include "bus.h"
#include "population.h"

using namespace tessaro::sim;

namespace {

// The simulator TessaroSimInstall put in place, so that destroying it puts
// the platform transport back first.
std::atomic<TessaroSim *> installed{nullptr};

void report(const std::string &message, char *error, std::size_t errorSize) {
    if (error && errorSize > 0) std::snprintf(error, errorSize, "%s", message.c_str());
}

// Runs `action` on reader `index` under the bus's lock; TESSARO_SIM_ERROR
// when there is no such reader.
template <class Action>
int withReader(TessaroSim *sim, int index, Action &&action) {
    if (!sim) return TESSARO_SIM_ERROR;
    const std::lock_guard<std::mutex> guard(sim->mutex);
    Reader *reader = sim->reader(index);
    return reader ? action(*reader) : TESSARO_SIM_ERROR;
}

template <class Action>
int withTag(TessaroSim *sim, int index, int tag, Action &&action) {
    return withReader(sim, index, [&](Reader &reader) {
        if (tag < 0 || static_cast<std::size_t>(tag) >= reader.tags.size()) return TESSARO_SIM_ERROR;
        return action(reader.tags[static_cast<std::size_t>(tag)]);
    });
}

int copyOut(const Bytes &bytes, unsigned char *out, int size) {
    const std::size_t n = out && size > 0 ? std::min(bytes.size(), static_cast<std::size_t>(size)) : 0;
    if (n > 0) std::memcpy(out, bytes.data(), n);
    return static_cast<int>(bytes.size());
}

}  // namespace

extern "C" {

TESSARO_SIM_API TessaroSim *TessaroSimCreate(int clock) {
    if (clock != TESSARO_SIM_VIRTUAL_CLOCK && clock != TESSARO_SIM_REAL_CLOCK) return nullptr;
    return new (std::nothrow) TessaroSim(clock == TESSARO_SIM_VIRTUAL_CLOCK);
}

TESSARO_SIM_API void TessaroSimDestroy(TessaroSim *sim) {
    if (!sim) return;
    TessaroSim *expected = sim;
    if (installed.compare_exchange_strong(expected, nullptr)) TessaroSetTransport(nullptr);
    delete sim;
}

TESSARO_SIM_API int TessaroSimAddReader(TessaroSim *sim) {
    if (!sim) return TESSARO_SIM_ERROR;
    const std::lock_guard<std::mutex> guard(sim->mutex);
    sim->readers.push_back(std::make_unique<Reader>(sim->clock));
    return static_cast<int>(sim->readers.size() - 1);
}

TESSARO_SIM_API int TessaroSimGetTransport(TessaroSim *sim, TessaroTransport *transport) {
    if (!sim || !transport) return TESSARO_SIM_ERROR;
    *transport = sim->transport();
    return 0;
}

TESSARO_SIM_API int TessaroSimInstall(TessaroSim *sim) {
    if (!sim) return TESSARO_SIM_ERROR;
    const TessaroTransport transport = sim->transport();
    if (TessaroSetTransport(&transport) != 0) return TESSARO_SIM_ERROR;
    installed = sim;
    return 0;
}

TESSARO_SIM_API unsigned TessaroSimNowMs(TessaroSim *sim) {
    if (!sim) return 0;
    const std::lock_guard<std::mutex> guard(sim->mutex);
    return static_cast<unsigned>(sim->clock.nowMs());
}

TESSARO_SIM_API int TessaroSimAdvanceMs(TessaroSim *sim, unsigned ms) {
    if (!sim) return TESSARO_SIM_ERROR;
    if (!sim->clock.isVirtual()) {
        sleepFor(ms);
        return 0;
    }
    const std::lock_guard<std::mutex> guard(sim->mutex);
    sim->clock.advance(ms);
    return 0;
}

TESSARO_SIM_API int TessaroSimGetReaderState(TessaroSim *sim, int reader, TessaroSimReaderState *state) {
    if (!state) return TESSARO_SIM_ERROR;
    return withReader(sim, reader, [&](Reader &r) {
        *state = r.state;
        r.readClock(state->clock);
        state->bufferedTags = static_cast<int>(r.buffer.size());
        return 0;
    });
}

TESSARO_SIM_API int TessaroSimSetReaderState(TessaroSim *sim, int reader, const TessaroSimReaderState *state) {
    if (!state || !isValidClock(state->clock)) return TESSARO_SIM_ERROR;
    return withReader(sim, reader, [&](Reader &r) {
        const int flashWrites = r.state.flashWrites;
        r.state = *state;
        r.state.flashWrites = flashWrites;
        r.setClock(state->clock);
        return 0;
    });
}

TESSARO_SIM_API int TessaroSimGetCounters(TessaroSim *sim, int reader, TessaroSimCounters *counters) {
    if (!counters) return TESSARO_SIM_ERROR;
    return withReader(sim, reader, [&](Reader &r) {
        *counters = r.counters;
        return 0;
    });
}

TESSARO_SIM_API int TessaroSimAddTag(TessaroSim *sim, int reader, const char *description, char *error,
                                     std::size_t errorSize) {
    if (!description) return TESSARO_SIM_ERROR;
    FieldTag tag;
    bool empty = false;
    std::string why;
    if (!parseTagLine(description, tag, empty, why) || empty) {
        report(empty ? "no tag on the line" : why, error, errorSize);
        return TESSARO_SIM_ERROR;
    }
    return withReader(sim, reader, [&](Reader &r) {
        r.tags.push_back(std::move(tag));
        return static_cast<int>(r.tags.size() - 1);
    });
}

TESSARO_SIM_API int TessaroSimLoadPopulationText(TessaroSim *sim, int reader, const char *text, char *error,
                                                 std::size_t errorSize) {
    if (!text) return TESSARO_SIM_ERROR;
    std::vector<FieldTag> tags;
    std::string why;
    if (!parsePopulation(text, tags, why)) {
        report(why, error, errorSize);
        return TESSARO_SIM_ERROR;
    }
    return withReader(sim, reader, [&](Reader &r) {
        r.tags.insert(r.tags.end(), tags.begin(), tags.end());
        return static_cast<int>(tags.size());
    });
}

TESSARO_SIM_API int TessaroSimLoadPopulation(TessaroSim *sim, int reader, const char *path, char *error,
                                             std::size_t errorSize) {
    if (!path) return TESSARO_SIM_ERROR;
    std::ifstream file(path);
    if (!file) {
        report(std::string("cannot read ") + path + ": " + std::strerror(errno), error, errorSize);
        return TESSARO_SIM_ERROR;
    }
    std::stringstream text;
    text << file.rdbuf();
    return TessaroSimLoadPopulationText(sim, reader, text.str().c_str(), error, errorSize);
}

TESSARO_SIM_API int TessaroSimTagCount(TessaroSim *sim, int reader) {
    return withReader(sim, reader, [](Reader &r) { return static_cast<int>(r.tags.size()); });
}

TESSARO_SIM_API int TessaroSimPlaceTag(TessaroSim *sim, int reader, int tag, int antenna, int rssi) {
    if (antenna < 0 || antenna > 4 || rssi < -127 || rssi > 0) return TESSARO_SIM_ERROR;
    return withTag(sim, reader, tag, [&](FieldTag &t) {
        t.antenna = antenna;
        t.rssi = rssi;
        t.arriveMs = 0;  // placed by hand: there from now on, whatever the file said
        t.leaveMs = UINT64_MAX;
        return 0;
    });
}

TESSARO_SIM_API int TessaroSimGetTagState(TessaroSim *sim, int reader, int tag, TessaroSimTagState *state) {
    if (!state) return TESSARO_SIM_ERROR;
    return withTag(sim, reader, tag, [&](FieldTag &t) {
        const Gen2Tag &g = t.gen2;
        *state = TessaroSimTagState{t.kind, t.antenna, t.rssi, g.killed, g.hidden, g.eas, g.qtSupported,
                                    g.qt, {}, g.userBlockLocks};
        for (int i = 0; i < 5; ++i) state->locks[i] = t.kind == TESSARO_SIM_GEN2 ? g.locks[i].action() : 0;
        return 0;
    });
}

TESSARO_SIM_API int TessaroSimReadTagMemory(TessaroSim *sim, int reader, int tag, int bank,
                                            unsigned char *out, int size) {
    return withTag(sim, reader, tag, [&](FieldTag &t) {
        if (t.kind == TESSARO_SIM_GEN2 && bank >= TESSARO_SIM_BANK_RESERVED && bank <= TESSARO_SIM_BANK_USER)
            return copyOut(t.gen2.bankBytes(bank), out, size);
        if (t.kind == TESSARO_SIM_6B && bank == TESSARO_SIM_6B_MEMORY) return copyOut(t.iso6b.memory, out, size);
        if (t.kind == TESSARO_SIM_6B && bank == TESSARO_SIM_6B_LOCKS) return copyOut(t.iso6b.locked, out, size);
        return TESSARO_SIM_ERROR;
    });
}

TESSARO_SIM_API int TessaroSimInjectFault(TessaroSim *sim, int reader, int kind, int count, int value) {
    if (count < -1 || value < 0) return TESSARO_SIM_ERROR;
    return withReader(sim, reader, [&](Reader &r) {
        Faults &f = r.faults;
        switch (kind) {
        case TESSARO_SIM_FAULT_DROP: f.drop = count; break;
        case TESSARO_SIM_FAULT_DUPLICATE: f.duplicate = count; break;
        case TESSARO_SIM_FAULT_DELAY:
            f.delay = count;
            f.delayMs = static_cast<unsigned>(value);
            break;
        case TESSARO_SIM_FAULT_CORRUPT:
            f.corrupt = count;
            f.corruptAt = static_cast<unsigned>(value);
            break;
        case TESSARO_SIM_FAULT_BAD_COUNT: f.badCount = count; break;
        case TESSARO_SIM_FAULT_REFUSE_WRITES:
            if (value != 0 && value != REPORT_ID_DATA && value != REPORT_ID_CONTROL) return TESSARO_SIM_ERROR;
            f.refuseWrites = count;
            f.refuseKind = value;
            break;
        case TESSARO_SIM_FAULT_SILENT: f.silentReads = count; break;
        case TESSARO_SIM_FAULT_UNPLUG:
            if (value == 0)
                unplug(r);
            else
                f.unplugAfter = value;
            break;
        case TESSARO_SIM_FAULT_WRONG_ECHO: f.wrongEcho = count; break;
        case TESSARO_SIM_FAULT_BAD_CRC: f.badCrc = count; break;
        default: return TESSARO_SIM_ERROR;
        }
        return 0;
    });
}

TESSARO_SIM_API int TessaroSimSplitReports(TessaroSim *sim, int reader, const unsigned char *sizes, int count) {
    if (count < 0 || (count > 0 && !sizes)) return TESSARO_SIM_ERROR;
    for (int i = 0; i < count; ++i)
        if (sizes[i] < 1 || sizes[i] > kReportFrameBytes) return TESSARO_SIM_ERROR;
    return withReader(sim, reader, [&](Reader &r) {
        r.faults.splits.assign(sizes, sizes + count);
        return 0;
    });
}

TESSARO_SIM_API int TessaroSimClearFaults(TessaroSim *sim, int reader) {
    return withReader(sim, reader, [](Reader &r) {
        r.faults = Faults{};
        return 0;
    });
}

TESSARO_SIM_API int TessaroSimSetPlugged(TessaroSim *sim, int reader, int plugged) {
    if (plugged != 0 && plugged != 1) return TESSARO_SIM_ERROR;
    return withReader(sim, reader, [&](Reader &r) {
        if (!plugged && r.plugged) unplug(r);
        r.plugged = plugged == 1;
        return 0;
    });
}

}  // extern "C"
