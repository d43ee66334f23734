#include "commission_journal.h"

#include <fstream>
#include <sstream>

#include "terminal.h"

namespace tessaro::cli {

namespace {

constexpr int kJournalVersion = 1;

Json labelJson(const char *type, const JournalLabel &label) {
    Json record{{"type", type}, {"index", label.index}, {"serial", label.serial},
                {"epc", label.epc}, {"tid", label.tid}, {"time", label.time}};
    if (!label.result.empty()) record["result"] = label.result;
    if (!label.reason.empty()) record["reason"] = label.reason;
    return record;
}

std::string csvField(const std::string &text) {
    if (text.find_first_of(",\"\n") == std::string::npos) return text;
    std::string quoted = "\"";
    for (char c : text) quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
    return quoted + "\"";
}

}  // namespace

Json CommissionPlan::json() const {
    Json object{{"count", count}, {"filter", filter}, {"accessPassword", accessPassword}, {"lock", lock}};
    if (!first.empty()) object["first"] = first;
    if (!csv.empty()) object["csv"] = csv;
    if (companyPrefixLength) object["companyPrefixLength"] = companyPrefixLength;
    return object;
}

bool CommissionPlan::fromJson(const Json &json, CommissionPlan &plan) {
    if (!json.is_object() || !json.contains("count") || !json["count"].is_number_integer()) return false;
    plan.count = json["count"].get<int>();
    plan.first = json.value("first", "");
    plan.csv = json.value("csv", "");
    plan.filter = json.value("filter", 0);
    plan.companyPrefixLength = json.value("companyPrefixLength", 0);
    plan.accessPassword = json.value("accessPassword", false);
    plan.lock = json.value("lock", false);
    return plan.count >= 0 && (plan.first.empty() != plan.csv.empty());
}

Journal::~Journal() {
    if (file_) std::fclose(file_);
}

std::unique_ptr<Journal> Journal::create(const std::string &path, const CommissionPlan &plan,
                                         std::string &error) {
    if (std::FILE *existing = std::fopen(path.c_str(), "rb")) {
        std::fclose(existing);
        error = "the journal " + path + " exists: --resume continues its run, or name another file";
        return nullptr;
    }
    std::unique_ptr<Journal> journal(new Journal);
    journal->path_ = path;
    journal->plan_ = plan;
    journal->file_ = std::fopen(path.c_str(), "ab");
    if (!journal->file_) {
        error = "cannot create the journal " + path;
        return nullptr;
    }
    if (!journal->append(Json{{"type", "run"}, {"version", kJournalVersion}, {"plan", plan.json()}}, error))
        return nullptr;
    return journal;
}

std::unique_ptr<Journal> Journal::read(const std::string &path, std::string &error) {
    std::unique_ptr<Journal> journal(new Journal);
    journal->path_ = path;
    if (!journal->load(path, error)) return nullptr;
    return journal;
}

std::unique_ptr<Journal> Journal::resume(const std::string &path, std::string &error) {
    std::unique_ptr<Journal> journal = read(path, error);
    if (!journal) return nullptr;
    journal->file_ = std::fopen(path.c_str(), "ab");
    if (!journal->file_) {
        error = "cannot open the journal " + path + " for writing";
        return nullptr;
    }
    // A last line cut short ends here, so the next record starts a line of its own.
    std::ifstream in(path, std::ios::binary);
    in.seekg(0, std::ios::end);
    if (in.tellg() > 0) {
        in.seekg(-1, std::ios::end);
        if (in.get() != '\n' && (std::fputc('\n', journal->file_) == EOF || !flushToDisk(journal->file_))) {
            error = "cannot write to the journal " + path;
            return nullptr;
        }
    }
    return journal;
}

bool Journal::load(const std::string &path, std::string &error) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = "cannot read the journal " + path;
        return false;
    }
    std::string line;
    bool haveRun = false;
    while (std::getline(in, line)) {
        const Json record = Json::parse(line, nullptr, false);
        if (record.is_discarded() || !record.is_object() || !record.contains("type")) {
            ++skipped_;
            continue;
        }
        const std::string type = record.value("type", "");
        if (type == "run") {
            if (haveRun || record.value("version", 0) != kJournalVersion ||
                !record.contains("plan") || !CommissionPlan::fromJson(record["plan"], plan_)) {
                error = path + " is no commissioning journal of this version";
                return false;
            }
            haveRun = true;
            continue;
        }
        if (!haveRun || (type != "begin" && type != "done") || !record.contains("index") ||
            !record["index"].is_number_integer()) {
            ++skipped_;
            continue;
        }
        JournalLabel label;
        label.index = record["index"].get<int>();
        label.serial = record.value("serial", "");
        label.epc = record.value("epc", "");
        label.tid = record.value("tid", "");
        label.time = record.value("time", "");
        label.result = type == "done" ? record.value("result", "failed") : "";
        label.reason = record.value("reason", "");
        labels_[label.index] = label;
    }
    if (!haveRun) {
        error = path + " is no commissioning journal (its first line is not a run)";
        return false;
    }
    return true;
}

bool Journal::append(const Json &record, std::string &error) {
    const std::string line = record.dump() + "\n";
    if (std::fwrite(line.data(), 1, line.size(), file_) != line.size() || !flushToDisk(file_)) {
        error = "cannot write to the journal " + path_;
        return false;
    }
    return true;
}

bool Journal::begin(const JournalLabel &label, std::string &error) {
    if (!append(labelJson("begin", label), error)) return false;
    labels_[label.index] = label;
    labels_[label.index].result.clear();
    return true;
}

bool Journal::done(const JournalLabel &label, std::string &error) {
    if (!append(labelJson("done", label), error)) return false;
    labels_[label.index] = label;
    return true;
}

const JournalLabel *Journal::commissionedTid(const std::string &tid) const {
    for (const auto &[index, label] : labels_)
        if (label.result == "ok" && label.tid == tid) return &label;
    return nullptr;
}

std::string Journal::csv() const {
    std::ostringstream out;
    out << "index,serial,epc,tid,time,result,reason\n";
    for (const auto &[index, label] : labels_)
        out << index << ',' << csvField(label.serial) << ',' << label.epc << ',' << label.tid << ','
            << label.time << ',' << (label.result.empty() ? "interrupted" : label.result) << ','
            << csvField(label.reason) << '\n';
    return out.str();
}

}  // namespace tessaro::cli
