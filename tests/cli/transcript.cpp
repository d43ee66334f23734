#include "transcript.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <sstream>

#include "Tessaro.h"
#include "TessaroTypes.h"

namespace tessaro::testing {

Bytes hexBytes(const std::string &digits) {
    Bytes out;
    for (std::size_t i = 0; i + 1 < digits.size(); i += 2)
        out.push_back(static_cast<unsigned char>(std::stoi(digits.substr(i, 2), nullptr, 16)));
    return out;
}

namespace {
std::string hexText(const Bytes &bytes) {
    std::string out;
    char two[3];
    for (unsigned char b : bytes) {
        std::snprintf(two, sizeof two, "%02X", b);
        out += two;
    }
    return out;
}
}  // namespace

std::string shelfFile() { return std::string(TESSARO_SOURCE_DIR) + "/sim/populations/shelf.tags"; }

int ReportLine::command() const {
    if (direction != '>' || !carries()) return -1;
    const Bytes r = report();
    return r[0] == REPORT_ID_DATA ? r[4] : -1;  // id, count, Len, Adr, Cmd
}

Bytes ReportLine::frameBytes() const {
    if (direction != '<' || !carries()) return {};
    const Bytes r = report();
    return Bytes(r.begin() + 2, r.begin() + 2 + r[1]);
}

Transcript::Transcript(const std::string &path) {
    std::ifstream file(path);
    EXPECT_TRUE(file.good()) << path;
    std::string line;
    while (std::getline(file, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();  // written in text mode on Windows
        if (line.empty() || line[0] == '#') {
            comments.push_back(line);
            continue;
        }
        std::istringstream fields(line);
        ReportLine report;
        fields >> report.direction >> report.time;
        std::getline(fields >> std::ws, report.value);
        lines.push_back(report);
    }
}

void Transcript::save(const std::string &path) const {
    std::ofstream file(path);
    for (const std::string &comment : comments) file << comment << "\n";
    for (const ReportLine &line : lines)
        file << line.direction << " " << line.time << " " << line.value << "\n";
}

std::vector<std::size_t> Transcript::commands(int command) const {
    std::vector<std::size_t> found;
    for (std::size_t i = 0; i < lines.size(); ++i)
        if (lines[i].command() == command) found.push_back(i);
    return found;
}

std::size_t Transcript::answerAfter(std::size_t from) const {
    for (std::size_t i = from + 1; i < lines.size(); ++i)
        if (!lines[i].frameBytes().empty()) return i;
    ADD_FAILURE() << "no answer after report " << from;
    return lines.size() - 1;
}

void Transcript::answerWith(std::size_t line, Bytes frame) {
    frame.resize(frame.size() + 2);
    GetCRC(frame.data(), static_cast<int>(frame.size() - 2));
    Bytes report(REPORT_SIZE, 0);
    report[1] = static_cast<unsigned char>(frame.size());
    std::copy(frame.begin(), frame.end(), report.begin() + 2);
    lines[line].value = hexText(report);
}

void Transcript::endAfter(std::size_t line) { lines.resize(line + 1); }

SimulatedAfter::SimulatedAfter(const Transcript &transcript, const std::string &population)
    : sim_(TessaroSimCreate(TESSARO_SIM_VIRTUAL_CLOCK)) {
    const int reader = TessaroSimAddReader(sim_);
    char error[256] = "";
    const std::string file = population.empty() ? shelfFile() : population;
    EXPECT_GT(TessaroSimLoadPopulation(sim_, reader, file.c_str(), error, sizeof error), 0) << error;
    for (int tag = 0; tag < TessaroSimTagCount(sim_, 0); ++tag) {
        // The EPC as the tag holds it: PC's length bits, then the words.
        Bytes epcBank = memory(tag, TESSARO_SIM_BANK_EPC);
        const std::size_t words = epcBank.size() >= 4 ? epcBank[2] >> 3 : 0;
        epcs_.push_back(epcBank.size() >= 4 + 2 * words
                            ? hexText(Bytes(epcBank.begin() + 4, epcBank.begin() + 4 + 2 * words))
                            : "");
    }
    replay(transcript);
}

void SimulatedAfter::replay(const Transcript &transcript) {
    TessaroTransport transport{};
    TessaroSimGetTransport(sim_, &transport);
    char path[256];
    ASSERT_EQ(transport.interfacePath(transport.context, 0, path, sizeof path), 0);
    void *device = transport.open(transport.context, path);
    ASSERT_NE(device, nullptr);
    // Only the reports that went out reach the reader; what it answered
    // does not change its tags.
    for (const ReportLine &line : transcript.lines)
        if (line.direction == '>' && line.carries() && line.value.find("failed") == std::string::npos)
            transport.writeReport(transport.context, device, line.report().data(), 50);
    transport.close(transport.context, device);
}

SimulatedAfter::~SimulatedAfter() { TessaroSimDestroy(sim_); }

int SimulatedAfter::tag(const std::string &epc) const {
    for (std::size_t i = 0; i < epcs_.size(); ++i)
        if (epcs_[i] == epc) return static_cast<int>(i);
    return -1;
}

Bytes SimulatedAfter::memory(int tag, int bank) const {
    Bytes out(1024);
    const int length = TessaroSimReadTagMemory(sim_, 0, tag, bank, out.data(), static_cast<int>(out.size()));
    out.resize(length > 0 ? static_cast<std::size_t>(length) : 0);
    return out;
}

TessaroSimTagState SimulatedAfter::state(int tag) const {
    TessaroSimTagState s{};
    EXPECT_EQ(TessaroSimGetTagState(sim_, 0, tag, &s), 0);
    return s;
}

}  // namespace tessaro::testing
