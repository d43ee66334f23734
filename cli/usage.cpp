#include "usage.h"

#include <algorithm>

namespace tessaro::cli {

namespace {

std::string withoutDashes(const std::string &name) {
    return name.substr(std::min(name.find_first_not_of('-'), name.size()));
}

// Edits (insert, delete, replace, swap two neighbours) that turn a into b.
size_t editDistance(const std::string &a, const std::string &b) {
    std::vector<std::vector<size_t>> d(a.size() + 1, std::vector<size_t>(b.size() + 1));
    for (size_t i = 0; i <= a.size(); ++i) d[i][0] = i;
    for (size_t j = 0; j <= b.size(); ++j) d[0][j] = j;
    for (size_t i = 1; i <= a.size(); ++i)
        for (size_t j = 1; j <= b.size(); ++j) {
            d[i][j] = std::min({d[i - 1][j] + 1, d[i][j - 1] + 1,
                                d[i - 1][j - 1] + (a[i - 1] == b[j - 1] ? 0 : 1)});
            if (i > 1 && j > 1 && a[i - 1] == b[j - 2] && a[i - 2] == b[j - 1])
                d[i][j] = std::min(d[i][j], d[i - 2][j - 2] + 1);
        }
    return d[a.size()][b.size()];
}

// The option named `name` of `command` or of a command above it: the options
// of the commands above fall through to them (global options go anywhere).
const CLI::Option *findOption(const CLI::App *command, const std::string &name) {
    for (; command; command = command->get_parent())
        for (const CLI::Option *option : command->get_options())
            if (option->nonpositional() && option->check_name(name)) return option;
    return nullptr;
}

const CLI::App *findCommand(const CLI::App *command, const std::string &name) {
    for (const CLI::App *sub : command->get_subcommands({}))
        if (sub->check_name(name)) return sub;
    return nullptr;
}

std::vector<std::string> commandNames(const CLI::App *command) {
    std::vector<std::string> names;
    for (const CLI::App *sub : command->get_subcommands({}))
        if (!sub->get_group().empty()) names.push_back(sub->get_name());
    return names;
}

// The long names of the options that `command` takes: its own and the global ones.
std::vector<std::string> optionNames(const CLI::App *command) {
    std::vector<std::string> names;
    for (; command; command = command->get_parent())
        for (const CLI::Option *option : command->get_options())
            if (!option->get_group().empty())
                for (const std::string &name : option->get_lnames()) names.push_back("--" + name);
    return names;
}

bool takesPositionals(const CLI::App *command) {
    for (const CLI::Option *option : command->get_options())
        if (!option->nonpositional()) return true;
    return false;
}

std::string joined(const std::vector<std::string> &names) {
    std::string text;
    for (const std::string &name : names) text += (text.empty() ? "" : ", ") + name;
    return text;
}

std::string path(const CLI::App *command) {
    std::string text;
    for (; command; command = command->get_parent())
        text = command->get_name() + (text.empty() ? "" : " " + text);
    return text;
}

}  // namespace

std::string nearestName(const std::string &word, const std::vector<std::string> &names) {
    const std::string bare = withoutDashes(word);
    if (bare.empty()) return "";
    const size_t allowed = std::max<size_t>(1, bare.size() / 4);
    std::string best, startsWith;
    size_t bestDistance = allowed + 1, starting = 0;
    for (const std::string &name : names) {
        const size_t distance = editDistance(bare, withoutDashes(name));
        if (distance < bestDistance) bestDistance = distance, best = name;
        if (bare.size() >= 2 && withoutDashes(name).rfind(bare, 0) == 0) ++starting, startsWith = name;
    }
    if (!best.empty()) return best;
    return starting == 1 ? startsWith : "";
}

UsageError explainUsage(const CLI::App &app, const std::vector<std::string> &words,
                        const CLI::ParseError &error) {
    const CLI::App *command = &app;
    std::string optionalValue;  // the last word taken as an optional value (--sim FILE)
    for (size_t i = 0; i < words.size(); ++i) {
        const std::string &word = words[i];
        if (word == "--") break;
        if (word.size() > 1 && word[0] == '-') {
            const std::string name = word.substr(0, word.find('='));
            const CLI::Option *option = findOption(command, name);
            if (!option) {
                const std::string nearest = nearestName(name, optionNames(command));
                return {"unknown option '" + name + "'", nearest, path(command)};
            }
            const bool optional = option->get_items_expected_min() == 0;
            if (option->get_items_expected_max() > 0 && name == word && !optional &&
                i + 1 == words.size())
                return {error.what(), "", path(command)};  // its value is missing
            // Skip its value, unless the value is optional and the next word
            // is a command (tessaro --sim inventory).
            if (option->get_items_expected_max() > 0 && name == word && i + 1 < words.size()) {
                const std::string &next = words[i + 1];
                if (!optional || (next[0] != '-' && !findCommand(command, next))) {
                    if (optional) optionalValue = next;
                    ++i;
                }
            }
            continue;
        }
        if (const CLI::App *sub = findCommand(command, word)) {
            command = sub;
            continue;
        }
        if (!commandNames(command).empty() && !takesPositionals(command)) {
            // Top-level options without their dashes count as names too:
            // "tessaro version" means "tessaro --version".
            std::vector<std::string> names = commandNames(command);
            const size_t commands = names.size();
            if (command == &app)
                for (const CLI::Option *option : app.get_options())
                    for (const std::string &name : option->get_lnames()) names.push_back("--" + name);
            std::string nearest = nearestName(word, names);
            const bool isOption =
                !nearest.empty() &&
                std::find(names.begin() + static_cast<long>(commands), names.end(), nearest) != names.end();
            if (isOption) nearest = path(command) + " " + nearest;
            return {"unknown command '" + word + "'", nearest, path(command)};
        }
    }
    if (!commandNames(command).empty() && command->get_require_subcommand_min() > 0) {
        // "tessaro --sim invetory": the typo was taken for the simulator's file.
        const std::string nearest = nearestName(optionalValue, commandNames(command));
        if (!nearest.empty()) return {"unknown command '" + optionalValue + "'", nearest, path(command)};
        return {"a command is missing: one of " + joined(commandNames(command)), "", path(command)};
    }
    return {error.what(), "", path(command)};
}

CLI::Validator aboveZero() {
    return CLI::Validator(
        [](std::string &text) -> std::string {
            double value = 0;
            if (CLI::detail::lexical_cast(text, value) && value > 0) return "";
            return "'" + text + "' is not a number above 0";
        },
        "NUMBER > 0");
}

namespace {

class ToolHelp : public CLI::Formatter {
public:
    explicit ToolHelp(std::string globalOptions) : globalOptions_(std::move(globalOptions)) {
        column_width(36);  // two blanks at least between an option and its text
    }

    // --help-all: the blocks of make_expanded, without a heading of their own.
    std::string make_subcommands(const CLI::App *app, CLI::AppFormatMode mode) const override {
        if (mode != CLI::AppFormatMode::All) return CLI::Formatter::make_subcommands(app, mode);
        std::string text = "\n";
        for (const CLI::App *sub : app->get_subcommands({}))
            if (!sub->get_group().empty()) text += make_expanded(sub);
        return text;
    }

    std::string make_footer(const CLI::App *app) const override {
        std::string footer = CLI::Formatter::make_footer(app);
        if (app->get_parent()) footer += (footer.empty() ? "" : "\n") + globalOptions_ + "\n";
        return footer;
    }

    // One block per command: "tessaro inventory:", then its description,
    // arguments and options indented (without the group headings, which
    // help2man would take for text), then its own footer; nested commands
    // follow as blocks of their own.
    std::string make_expanded(const CLI::App *sub) const override {
        std::string body = make_description(sub) + make_positionals(sub) +
                           make_groups(sub, CLI::AppFormatMode::Sub) +
                           CLI::Formatter::make_footer(sub);
        std::string text = path(sub) + ":\n";
        size_t start = 0;
        while (start < body.size()) {
            size_t end = body.find('\n', start);
            if (end == std::string::npos) end = body.size();
            const std::string line = body.substr(start, end - start);
            if (!line.empty() && line != "Options:" && line != "Positionals:")
                text += "  " + line + "\n";
            start = end + 1;
        }
        text += "\n";
        for (const CLI::App *nested : sub->get_subcommands({}))
            if (!nested->get_group().empty()) text += make_expanded(nested);
        return text;
    }

private:
    std::string globalOptions_;
};

}  // namespace

void useToolHelp(CLI::App &app) {
    std::string names;
    for (const CLI::Option *option : app.get_options())
        if (!option->get_group().empty() && option != app.get_help_ptr() &&
            option != app.get_help_all_ptr() && option != app.get_version_ptr()) {
            std::string name = option->get_name(false, true);
            if (const size_t comma = name.find(','); comma != std::string::npos)
                name.replace(comma, 1, ", ");
            const std::string type = option->get_type_name();
            if (!type.empty() && option->get_items_expected_max() > 0)
                name += " " + type.substr(0, type.find(':'));
            names += (names.empty() ? "" : ", ") + name;
        }
    app.formatter(std::make_shared<ToolHelp>("Global options, before or after the command: " +
                                             names + " (" + app.get_name() +
                                             " --help describes them)."));
}

}  // namespace tessaro::cli
